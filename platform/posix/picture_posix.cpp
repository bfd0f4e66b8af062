// Still pictures on Linux: PNG through libpng, JPEG through libjpeg, GIF
// through giflib and BMP through stb_image, decoded into 24-bit RGB.
//
// The decoders answer the colours the Windows imaging library answers: no
// gamma or colour-profile conversion, palettes expanded as stored, alpha
// ignored for the colour (GDI reads the colour bytes of a pixel only).
#include <gif_lib.h>
#include <png.h>
#include <stb/stb_image.h>

#include <csetjmp>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>
// jpeglib.h needs FILE and size_t declared first.
#include <jpeglib.h>

#include "platform/picture_file.h"

namespace vx::platform {

struct PictureFile::Impl {
    std::vector<uint8_t> rgb;  // top row first, 3 bytes a pixel
};

namespace {

using Bytes = std::vector<uint8_t>;

struct Decoded {
    int32_t width = 0;
    int32_t height = 0;
    Bytes rgb;
};

bool SizeAcceptable(int64_t width, int64_t height) {
    return width > 0 && height > 0 && width * height <= kMaxPicturePixels;
}

bool StartsWith(const Bytes& bytes, std::initializer_list<uint8_t> prefix) {
    return bytes.size() >= prefix.size() && std::equal(prefix.begin(), prefix.end(), bytes.begin());
}

std::string UnixPath(const char* path) {
    std::string p(path);
    for (char& c : p)
        if (c == '\\') c = '/';
    return p;
}

bool ReadWholeFile(const char* path, Bytes* bytes) {
    std::ifstream in(UnixPath(path), std::ios::binary);
    if (!in) return false;
    bytes->assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    return !in.bad();
}

// ---------------------------------------------------------------- PNG

struct PngSource {
    const Bytes* bytes;
    size_t offset;
};

void PngRead(png_structp png, png_bytep out, png_size_t n) {
    auto* src = static_cast<PngSource*>(png_get_io_ptr(png));
    if (n > src->bytes->size() - src->offset) png_error(png, "truncated");
    std::memcpy(out, src->bytes->data() + src->offset, n);
    src->offset += n;
}

void PngWarning(png_structp, png_const_charp) {}

// Kept free of objects with destructors between setjmp and the last libpng
// call: a longjmp out of libpng skips them.  `out` is sized before reading.
bool DecodePng(const Bytes& bytes, Decoded* out) {
    png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, PngWarning);
    if (!png) return false;
    png_infop info = png_create_info_struct(png);
    if (!info) {
        png_destroy_read_struct(&png, nullptr, nullptr);
        return false;
    }
    PngSource src{&bytes, 0};
    std::vector<png_bytep>* rows = new std::vector<png_bytep>();
    if (setjmp(png_jmpbuf(png))) {
        png_destroy_read_struct(&png, &info, nullptr);
        delete rows;
        return false;
    }
    png_set_read_fn(png, &src, PngRead);
    png_read_info(png, info);
    const png_uint_32 w = png_get_image_width(png, info), h = png_get_image_height(png, info);
    if (!SizeAcceptable(w, h)) png_error(png, "size");
    png_set_strip_16(png);
    png_set_strip_alpha(png);
    png_set_palette_to_rgb(png);
    png_set_expand_gray_1_2_4_to_8(png);
    png_set_gray_to_rgb(png);
    png_set_interlace_handling(png);
    png_read_update_info(png, info);
    if (png_get_rowbytes(png, info) != size_t(w) * 3) png_error(png, "layout");
    out->width = int32_t(w);
    out->height = int32_t(h);
    out->rgb.resize(size_t(w) * h * 3);
    rows->resize(h);
    for (png_uint_32 y = 0; y < h; ++y)
        (*rows)[y] = out->rgb.data() + size_t(y) * w * 3;
    png_read_image(png, rows->data());
    png_read_end(png, nullptr);
    png_destroy_read_struct(&png, &info, nullptr);
    delete rows;
    return true;
}

// ---------------------------------------------------------------- JPEG

struct JpegErrors {
    jpeg_error_mgr manager;
    std::jmp_buf jump;
};

void JpegFail(j_common_ptr info) {
    std::longjmp(reinterpret_cast<JpegErrors*>(info->err)->jump, 1);
}
void JpegMessage(j_common_ptr) {}

bool DecodeJpeg(const Bytes& bytes, Decoded* out) {
    jpeg_decompress_struct info;
    JpegErrors errors;
    info.err = jpeg_std_error(&errors.manager);
    errors.manager.error_exit = JpegFail;
    errors.manager.output_message = JpegMessage;
    if (setjmp(errors.jump)) {
        jpeg_destroy_decompress(&info);
        return false;
    }
    jpeg_create_decompress(&info);
    jpeg_mem_src(&info, bytes.data(), static_cast<unsigned long>(bytes.size()));
    jpeg_read_header(&info, TRUE);
    if (info.jpeg_color_space == JCS_CMYK || info.jpeg_color_space == JCS_YCCK ||
        !SizeAcceptable(info.image_width, info.image_height)) {
        jpeg_destroy_decompress(&info);
        return false;
    }
    info.out_color_space = JCS_RGB;
    jpeg_start_decompress(&info);
    if (info.output_components != 3) {
        jpeg_destroy_decompress(&info);
        return false;
    }
    out->width = int32_t(info.output_width);
    out->height = int32_t(info.output_height);
    out->rgb.resize(size_t(out->width) * size_t(out->height) * 3);
    while (info.output_scanline < info.output_height) {
        JSAMPROW row = out->rgb.data() + size_t(info.output_scanline) * size_t(out->width) * 3;
        jpeg_read_scanlines(&info, &row, 1);
    }
    jpeg_finish_decompress(&info);
    jpeg_destroy_decompress(&info);
    return true;
}

// ---------------------------------------------------------------- GIF

struct GifSource {
    const Bytes* bytes;
    size_t offset;
};

int GifRead(GifFileType* gif, GifByteType* out, int n) {
    auto* src = static_cast<GifSource*>(gif->UserData);
    const size_t left = src->bytes->size() - src->offset;
    const size_t take = n < 0 ? 0 : std::min(size_t(n), left);
    std::memcpy(out, src->bytes->data() + src->offset, take);
    src->offset += take;
    return int(take);
}

bool SkipGifExtension(GifFileType* gif) {
    int code = 0;
    GifByteType* block = nullptr;
    if (DGifGetExtension(gif, &code, &block) == GIF_ERROR) return false;
    while (block)
        if (DGifGetExtensionNext(gif, &block) == GIF_ERROR) return false;
    return true;
}

// The first image of the file on its logical screen; the screen outside the
// image takes the background colour.
bool DecodeGifImage(GifFileType* gif, Decoded* out) {
    for (;;) {
        GifRecordType record;
        if (DGifGetRecordType(gif, &record) == GIF_ERROR) return false;
        if (record == TERMINATE_RECORD_TYPE) return false;
        if (record == EXTENSION_RECORD_TYPE) {
            if (!SkipGifExtension(gif)) return false;
            continue;
        }
        if (record != IMAGE_DESC_RECORD_TYPE) continue;
        if (DGifGetImageDesc(gif) == GIF_ERROR) return false;
        const GifImageDesc& d = gif->Image;
        const ColorMapObject* map = d.ColorMap ? d.ColorMap : gif->SColorMap;
        const int64_t sw = gif->SWidth > 0 ? gif->SWidth : d.Width;
        const int64_t sh = gif->SHeight > 0 ? gif->SHeight : d.Height;
        if (!map || !SizeAcceptable(sw, sh) || !SizeAcceptable(d.Width, d.Height)) return false;
        std::vector<GifPixelType> indices(size_t(d.Width) * size_t(d.Height));
        if (d.Interlace) {
            static const int kStart[4] = {0, 4, 2, 1}, kStep[4] = {8, 8, 4, 2};
            for (int pass = 0; pass < 4; ++pass)
                for (int y = kStart[pass]; y < d.Height; y += kStep[pass])
                    if (DGifGetLine(gif, &indices[size_t(y) * d.Width], d.Width) == GIF_ERROR)
                        return false;
        } else {
            for (int y = 0; y < d.Height; ++y)
                if (DGifGetLine(gif, &indices[size_t(y) * d.Width], d.Width) == GIF_ERROR)
                    return false;
        }
        auto colour = [&](int index, uint8_t* rgb) {
            const GifColorType c =
                index < map->ColorCount ? map->Colors[index] : GifColorType{0, 0, 0};
            rgb[0] = c.Red;
            rgb[1] = c.Green;
            rgb[2] = c.Blue;
        };
        out->width = int32_t(sw);
        out->height = int32_t(sh);
        out->rgb.resize(size_t(sw) * size_t(sh) * 3);
        for (int64_t y = 0; y < sh; ++y)
            for (int64_t x = 0; x < sw; ++x) {
                const int64_t ix = x - d.Left, iy = y - d.Top;
                const bool inside = ix >= 0 && iy >= 0 && ix < d.Width && iy < d.Height;
                const int index =
                    inside ? indices[size_t(iy) * d.Width + size_t(ix)] : gif->SBackGroundColor;
                colour(index, &out->rgb[size_t(y * sw + x) * 3]);
            }
        return true;
    }
}

bool DecodeGif(const Bytes& bytes, Decoded* out) {
    GifSource src{&bytes, 0};
    int error = 0;
    GifFileType* gif = DGifOpen(&src, GifRead, &error);
    if (!gif) return false;
    const bool ok = DecodeGifImage(gif, out);
    DGifCloseFile(gif, &error);
    return ok;
}

// ---------------------------------------------------------------- BMP

bool DecodeBmp(const Bytes& bytes, Decoded* out) {
    if (bytes.size() > size_t(INT32_MAX)) return false;
    int w = 0, h = 0, channels = 0;
    const int n = int(bytes.size());
    // The information call answers a negative height for top-down files.
    if (!stbi_info_from_memory(bytes.data(), n, &w, &h, &channels) ||
        !SizeAcceptable(w, std::abs(int64_t(h))))
        return false;
    stbi_uc* pixels = stbi_load_from_memory(bytes.data(), n, &w, &h, &channels, 3);
    if (!pixels) return false;
    out->width = w;
    out->height = h;
    out->rgb.assign(pixels, pixels + size_t(w) * size_t(h) * 3);
    stbi_image_free(pixels);
    return true;
}

bool Decode(const Bytes& bytes, Decoded* out) {
    if (StartsWith(bytes, {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A}))
        return DecodePng(bytes, out);
    if (StartsWith(bytes, {0xFF, 0xD8, 0xFF})) return DecodeJpeg(bytes, out);
    if (StartsWith(bytes, {'G', 'I', 'F', '8'})) return DecodeGif(bytes, out);
    if (StartsWith(bytes, {'B', 'M'})) return DecodeBmp(bytes, out);
    return false;
}

}  // namespace

PictureFile::PictureFile() = default;
PictureFile::~PictureFile() {
    Clear();
}

void PictureFile::Clear() {
    delete impl_;
    impl_ = nullptr;
    width_ = height_ = 0;
}

bool PictureFile::Load(const char* path) {
    Clear();
    Bytes bytes;
    Decoded picture;
    if (!path || !ReadWholeFile(path, &bytes) || !Decode(bytes, &picture)) return false;
    impl_ = new Impl{std::move(picture.rgb)};
    width_ = picture.width;
    height_ = picture.height;
    return true;
}

ColorRef PictureFile::Pixel(int32_t x, int32_t y) {
    if (!impl_ || x < 0 || y < 0 || x >= width_ || y >= height_) return kInvalidColor;
    const uint8_t* p = &impl_->rgb[(size_t(y) * size_t(width_) + size_t(x)) * 3];
    return ColorRef(p[0]) | ColorRef(p[1]) << 8 | ColorRef(p[2]) << 16;
}

void PictureFile::EndPixelAccess() {}

}  // namespace vx::platform
