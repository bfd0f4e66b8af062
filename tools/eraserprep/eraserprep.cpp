#include "tools/eraserprep/eraserprep.h"

#include <algorithm>
#include <cstring>

#include "effects/colour/eraser_masks.h"
#include "platform/folder.h"
#include "platform/picture_file.h"

namespace vx::eraserprep {

namespace {

constexpr const char* kStripPath = "..\\VXEraserMask.bmp";
constexpr const char* kDescriptorPath = "..\\VXEraser.xml";
constexpr const char* kTempPath = "tmp.xml";

// The source range [first, last) that destination index i of d covers when
// s source pixels are stretched over d; at least one pixel.
void SourceRange(int32_t i, int32_t d, int32_t s, int32_t* first, int32_t* last) {
    *first = int32_t(int64_t(i) * s / d);
    *last = std::max(*first + 1, int32_t(int64_t(i + 1) * s / d));
}

void Put32(std::vector<uint8_t>& b, uint32_t v) {
    for (int i = 0; i < 4; ++i)
        b.push_back(uint8_t(v >> (8 * i)));
}
void Put16(std::vector<uint8_t>& b, uint16_t v) {
    b.push_back(uint8_t(v));
    b.push_back(uint8_t(v >> 8));
}

// One line of any length, line end included; false at the end of the file.
// The buffer grows as needed, so long lines are neither split nor cut.
bool ReadLine(std::FILE* f, std::string* line) {
    line->clear();
    char piece[512];
    while (std::fgets(piece, sizeof piece, f)) {
        line->append(piece);
        if (!line->empty() && line->back() == '\n') break;
    }
    return !line->empty();
}

std::vector<std::string> ListPictures(std::FILE* out) {
    const platform::FolderListing listing = platform::ListFolder(".");
    if (listing.startError)
        std::fprintf(out, "Invalid file handle. Error is %u\n", listing.startError);
    std::vector<std::string> names;
    for (const platform::FolderEntry& e : listing.entries)
        if (!e.isFolder && IsMaskPictureName(e.name)) names.push_back(e.name);
    if (listing.nextError)
        std::fprintf(out, "FindNextFile error. Error is %u\n", listing.nextError);
    return names;
}

uint32_t ReadPicturePixel(void* source, int32_t x, int32_t y) {
    return static_cast<platform::PictureFile*>(source)->Pixel(x, y);
}

void WriteStrip(const Strip& strip) {
    const std::vector<uint8_t> bytes = EncodeBmp(strip);
    if (std::FILE* f = platform::OpenFile(kStripPath, "wb")) {
        std::fwrite(bytes.data(), 1, bytes.size(), f);
        std::fclose(f);
    }
}

// Writes the rewritten descriptor to tmp.xml, then copies it over the
// descriptor.  A descriptor that cannot be read, or a tmp.xml that cannot be
// written in full, leaves the descriptor as it was.
void RewriteDescriptor(std::FILE* out, const std::vector<std::string>& names) {
    std::string enumeration = "Square";
    for (const std::string& n : names)
        enumeration += ";" + n;
    const std::string maximum = std::to_string(names.size() + 1);

    std::FILE* in = platform::OpenFile(kDescriptorPath, "rb");
    if (!in) {
        std::fprintf(out, "ERROR: cannot open file %s for reading!", kDescriptorPath);
        return;
    }
    std::FILE* tmp = platform::OpenFile(kTempPath, "wb");
    if (!tmp) {
        std::fprintf(out, "ERROR: cannot open file tmp.xmp for writing!");
        std::fclose(in);
        return;
    }
    std::string line;
    while (ReadLine(in, &line)) {
        const std::string rewritten = RewriteLine(line, maximum, enumeration);
        std::fputs(rewritten.c_str(), tmp);
    }
    const bool readOk = !std::ferror(in);
    std::fclose(in);
    const bool written = !std::ferror(tmp) && std::fclose(tmp) == 0;
    if (!readOk || !written) {
        std::fprintf(out, "ERROR: cannot open file tmp.xmp for writing!");
        return;
    }
    tmp = platform::OpenFile(kTempPath, "rb");
    if (!tmp) {
        std::fprintf(out, "ERROR: cannot open file tmp.xmp for writing!");
        return;
    }
    std::FILE* descriptor = platform::OpenFile(kDescriptorPath, "wb");
    if (!descriptor) {
        std::fprintf(out, "ERROR: cannot open file %s for writing!", kDescriptorPath);
        std::fclose(tmp);
        return;
    }
    while (ReadLine(tmp, &line))
        std::fputs(line.c_str(), descriptor);
    std::fclose(descriptor);
    std::fclose(tmp);
}

}  // namespace

Strip NewStrip(size_t count) {
    Strip s;
    s.width = int32_t(kCellWidth * (count + 1));
    s.height = kCellHeight;
    s.bgr.assign(size_t(s.width) * size_t(s.height) * 3, 0);
    for (int32_t y = 0; y < kCellHeight; ++y)
        std::memset(s.At(0, y), 0xFF, size_t(kCellWidth) * 3);
    return s;
}

void StretchIntoCell(Strip& strip, int32_t x0, void* source, PixelReader read, int32_t sw,
                     int32_t sh) {
    if (sw <= 0 || sh <= 0) return;
    for (int32_t cy = 0; cy < kCellHeight; ++cy) {
        int32_t y0, y1;
        SourceRange(cy, kCellHeight, sh, &y0, &y1);
        for (int32_t cx = 0; cx < kCellWidth; ++cx) {
            int32_t xa, xb;
            SourceRange(cx, kCellWidth, sw, &xa, &xb);
            uint32_t colour = 0xFFFFFF;
            for (int32_t y = y0; y < y1; ++y)
                for (int32_t x = xa; x < xb; ++x)
                    colour &= read(source, x, y);
            uint8_t* p = strip.At(x0 + cx, cy);
            p[0] = uint8_t(colour >> 16);
            p[1] = uint8_t(colour >> 8);
            p[2] = uint8_t(colour);
        }
    }
}

std::vector<uint8_t> EncodeBmp(const Strip& strip) {
    const uint32_t stride = (uint32_t(strip.width) * 3 + 3) & ~3u;
    const uint32_t imageSize = stride * uint32_t(strip.height);
    std::vector<uint8_t> b;
    b.reserve(54 + imageSize);
    b.push_back('B');
    b.push_back('M');
    Put32(b, 54 + imageSize);
    Put32(b, 0);
    Put32(b, 54);
    Put32(b, 40);
    Put32(b, uint32_t(strip.width));
    Put32(b, uint32_t(strip.height));  // positive: bottom row first
    Put16(b, 1);
    Put16(b, 24);
    Put32(b, 0);
    Put32(b, imageSize);
    Put32(b, 3780);  // 96 dots per inch
    Put32(b, 3780);
    Put32(b, 0);
    Put32(b, 0);
    for (int32_t y = strip.height - 1; y >= 0; --y) {
        const uint8_t* row = &strip.bgr[size_t(y) * size_t(strip.width) * 3];
        b.insert(b.end(), row, row + size_t(strip.width) * 3);
        b.resize(b.size() + (stride - uint32_t(strip.width) * 3), 0);
    }
    return b;
}

bool FindParameter5Attribute(std::string_view line, std::string_view attribute, size_t* begin,
                             size_t* end) {
    constexpr std::string_view kParameter = "<parameter", kId = "id=\"5\"";
    // Greedy ".*" before each fixed piece: the last occurrence that still lets
    // the rest of the pattern match, tried from the outermost piece inwards.
    auto lastBefore = [&](std::string_view piece, size_t from, size_t limit) {
        if (limit < from) return std::string_view::npos;
        const size_t at = line.rfind(piece, limit);
        return at != std::string_view::npos && at >= from ? at : std::string_view::npos;
    };
    for (size_t p1 = line.rfind(kParameter); p1 != std::string_view::npos;
         p1 = p1 ? lastBefore(kParameter, 0, p1 - 1) : std::string_view::npos) {
        const size_t afterParameter = p1 + kParameter.size();
        for (size_t p2 = lastBefore(kId, afterParameter, line.size()); p2 != std::string_view::npos;
             p2 = p2 > afterParameter ? lastBefore(kId, afterParameter, p2 - 1)
                                      : std::string_view::npos) {
            const size_t afterId = p2 + kId.size();
            for (size_t p3 = lastBefore(attribute, afterId, line.size());
                 p3 != std::string_view::npos;
                 p3 = p3 > afterId ? lastBefore(attribute, afterId, p3 - 1)
                                   : std::string_view::npos) {
                const size_t value = p3 + attribute.size();
                const size_t quote = line.find('"', value);
                if (quote == std::string_view::npos) continue;
                *begin = value;
                *end = quote;
                return true;
            }
        }
    }
    return false;
}

std::string RewriteLine(std::string line, const std::string& maximum,
                        const std::string& enumeration) {
    size_t begin, end;
    if (FindParameter5Attribute(line, "max=\"", &begin, &end))
        line = line.substr(0, begin) + maximum + line.substr(end);
    if (FindParameter5Attribute(line, "EnumString=\"", &begin, &end))
        line = line.substr(0, begin) + enumeration + line.substr(end);
    return line;
}

void Run(std::FILE* out) {
    const std::vector<std::string> names = ListPictures(out);
    std::fprintf(out, "found %d images\n", int(names.size()));
    Strip strip = NewStrip(names.size());
    for (size_t k = 1; k <= names.size(); ++k) {
        std::fprintf(out, " preparing image %s\n", names[k - 1].c_str());
        platform::PictureFile picture;
        if (!picture.Load(names[k - 1].c_str())) continue;
        StretchIntoCell(strip, int32_t(kCellWidth * k), &picture, ReadPicturePixel, picture.Width(),
                        picture.Height());
    }
    WriteStrip(strip);
    RewriteDescriptor(out, names);
    std::fflush(out);
}

}  // namespace vx::eraserprep
