#include "tests/file_test_support.h"

#include <fstream>
#include <iterator>
#include <random>

namespace vx {

TempFolder::TempFolder(const std::string& name) {
    std::random_device entropy;
    path = std::filesystem::temp_directory_path() / (name + "-" + std::to_string(entropy()));
    std::filesystem::remove_all(path);
    std::filesystem::create_directories(path);
}

TempFolder::~TempFolder() {
    std::error_code ignored;
    std::filesystem::remove_all(path, ignored);
}

void WriteFile(const std::filesystem::path& path, const std::vector<uint8_t>& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
}

void WriteTextFile(const std::filesystem::path& path, const std::string& text) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << text;
}

std::string ReadTextFile(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

namespace {

struct Riff {
    std::vector<uint8_t> bytes;
    void U32(uint32_t v) {
        for (int i = 0; i < 4; ++i)
            bytes.push_back(uint8_t(v >> (8 * i)));
    }
    void U16(uint16_t v) {
        bytes.push_back(uint8_t(v));
        bytes.push_back(uint8_t(v >> 8));
    }
    void Tag(const char* t) { bytes.insert(bytes.end(), t, t + 4); }
    // Opens a chunk (or list) and answers where its size goes.
    size_t Open(const char* tag, const char* listType = nullptr) {
        Tag(tag);
        const size_t at = bytes.size();
        U32(0);
        if (listType) Tag(listType);
        return at;
    }
    void Close(size_t at) {
        const uint32_t size = uint32_t(bytes.size() - at - 4);
        for (int i = 0; i < 4; ++i)
            bytes[at + i] = uint8_t(size >> (8 * i));
        if (size & 1) bytes.push_back(0);
    }
};

}  // namespace

void WriteTestClip(const std::filesystem::path& path, int width, int height, int frames, int fps,
                   uint8_t (*byte)(int frame, int x, int y, int channel)) {
    const uint32_t stride = (uint32_t(width) * 3 + 3) & ~3u;
    const uint32_t frameSize = stride * uint32_t(height);
    Riff r;
    const size_t riff = r.Open("RIFF", "AVI ");
    const size_t hdrl = r.Open("LIST", "hdrl");
    const size_t avih = r.Open("avih");
    r.U32(1000000 / fps);    // microseconds per frame
    r.U32(frameSize * fps);  // max bytes per second
    r.U32(0);                // padding granularity
    r.U32(0x10);             // has index
    r.U32(frames);
    r.U32(0);          // initial frames
    r.U32(1);          // streams
    r.U32(frameSize);  // suggested buffer size
    r.U32(width);
    r.U32(height);
    for (int i = 0; i < 4; ++i)
        r.U32(0);
    r.Close(avih);
    const size_t strl = r.Open("LIST", "strl");
    const size_t strh = r.Open("strh");
    r.Tag("vids");
    r.Tag("DIB ");
    r.U32(0);           // flags
    r.U16(0);           // priority
    r.U16(0);           // language
    r.U32(0);           // initial frames
    r.U32(1);           // scale
    r.U32(fps);         // rate
    r.U32(0);           // start
    r.U32(frames);      // length
    r.U32(frameSize);   // suggested buffer size
    r.U32(0xFFFFFFFF);  // quality
    r.U32(0);           // sample size
    r.U16(0), r.U16(0), r.U16(uint16_t(width)), r.U16(uint16_t(height));
    r.Close(strh);
    const size_t strf = r.Open("strf");
    r.U32(40);
    r.U32(width);
    r.U32(height);  // positive: bottom-up rows
    r.U16(1);
    r.U16(24);
    r.U32(0);  // uncompressed
    r.U32(frameSize);
    r.U32(0), r.U32(0), r.U32(0), r.U32(0);
    r.Close(strf);
    r.Close(strl);
    r.Close(hdrl);
    const size_t movi = r.Open("LIST", "movi");
    std::vector<uint32_t> offsets;
    for (int f = 0; f < frames; ++f) {
        offsets.push_back(uint32_t(r.bytes.size() - movi - 4));
        const size_t chunk = r.Open("00db");
        for (int row = height - 1; row >= 0; --row) {
            for (int x = 0; x < width; ++x)
                for (int c = 0; c < 3; ++c)
                    r.bytes.push_back(byte(f, x, row, c));
            for (uint32_t pad = uint32_t(width) * 3; pad < stride; ++pad)
                r.bytes.push_back(0);
        }
        r.Close(chunk);
    }
    r.Close(movi);
    const size_t idx1 = r.Open("idx1");
    for (uint32_t off : offsets) {
        r.Tag("00db");
        r.U32(0x10);  // key frame
        r.U32(off);
        r.U32(frameSize);
    }
    r.Close(idx1);
    r.Close(riff);
    WriteFile(path, r.bytes);
}

}  // namespace vx

namespace vx {

void WriteFlatBmp(const std::filesystem::path& path, int width, int height, uint8_t red,
                  uint8_t green, uint8_t blue) {
    const uint32_t stride = (uint32_t(width) * 3 + 3) & ~3u;
    std::vector<uint8_t> b;
    auto u32 = [&](uint32_t v) {
        for (int i = 0; i < 4; ++i)
            b.push_back(uint8_t(v >> (8 * i)));
    };
    auto u16 = [&](uint16_t v) {
        b.push_back(uint8_t(v));
        b.push_back(uint8_t(v >> 8));
    };
    b.push_back('B');
    b.push_back('M');
    u32(54 + stride * uint32_t(height)), u32(0), u32(54);
    u32(40), u32(uint32_t(width)), u32(uint32_t(height)), u16(1), u16(24), u32(0);
    u32(stride * uint32_t(height)), u32(2835), u32(2835), u32(0), u32(0);
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x)
            b.insert(b.end(), {blue, green, red});
        for (uint32_t p = uint32_t(width) * 3; p < stride; ++p)
            b.push_back(0);
    }
    WriteFile(path, b);
}

}  // namespace vx
