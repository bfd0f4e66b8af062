#include "host/vexfx/picture_io.h"

#include <png.h>

#include <csetjmp>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
// jpeglib.h needs FILE and size_t declared first.
#include <jpeglib.h>

namespace vx::vexfx {
namespace {

// Larger pictures are refused rather than risking an enormous allocation.
constexpr int64_t kMaxPixels = int64_t(1) << 26;

bool SizeAcceptable(int64_t width, int64_t height, std::string* error) {
    if (width <= 0 || height <= 0 || width * height > kMaxPixels) {
        *error = "picture size " + std::to_string(width) + "x" + std::to_string(height) +
                 " is not supported";
        return false;
    }
    return true;
}

bool StartsWith(const std::vector<uint8_t>& bytes, std::initializer_list<uint8_t> prefix) {
    return bytes.size() >= prefix.size() && std::equal(prefix.begin(), prefix.end(), bytes.begin());
}

bool ReadPng(const std::vector<uint8_t>& bytes, Picture* picture, std::string* error) {
    png_image image;
    std::memset(&image, 0, sizeof image);
    image.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_memory(&image, bytes.data(), bytes.size())) {
        *error = std::string("not a readable PNG: ") + image.message;
        return false;
    }
    if (!SizeAcceptable(image.width, image.height, error)) {
        png_image_free(&image);
        return false;
    }
    image.format = PNG_FORMAT_BGRA;
    picture->width = int32_t(image.width);
    picture->height = int32_t(image.height);
    picture->bgra.assign(PNG_IMAGE_SIZE(image), 0);
    if (!png_image_finish_read(&image, nullptr, picture->bgra.data(), 0, nullptr)) {
        *error = std::string("damaged PNG: ") + image.message;
        png_image_free(&image);
        return false;
    }
    return true;
}

// libjpeg reports fatal errors through a callback that must not return.
struct JpegErrors {
    jpeg_error_mgr manager;
    std::jmp_buf jump;
    char message[JMSG_LENGTH_MAX];
};

void JpegFail(j_common_ptr info) {
    auto* errors = reinterpret_cast<JpegErrors*>(info->err);
    (*info->err->format_message)(info, errors->message);
    std::longjmp(errors->jump, 1);
}

// Kept free of objects with destructors: a longjmp out of libjpeg skips them.
bool DecodeJpeg(const std::vector<uint8_t>& bytes, std::vector<uint8_t>* rgb, int32_t* width,
                int32_t* height, std::string* error) {
    jpeg_decompress_struct info;
    JpegErrors errors;
    info.err = jpeg_std_error(&errors.manager);
    errors.manager.error_exit = JpegFail;
    errors.message[0] = '\0';
    if (setjmp(errors.jump)) {
        jpeg_destroy_decompress(&info);
        *error = std::string("damaged JPEG: ") + errors.message;
        return false;
    }
    jpeg_create_decompress(&info);
    jpeg_mem_src(&info, bytes.data(), static_cast<unsigned long>(bytes.size()));
    jpeg_read_header(&info, TRUE);
    if (info.jpeg_color_space == JCS_CMYK || info.jpeg_color_space == JCS_YCCK) {
        jpeg_destroy_decompress(&info);
        *error = "CMYK JPEG pictures are not supported";
        return false;
    }
    info.out_color_space = JCS_RGB;
    jpeg_start_decompress(&info);
    if (info.output_components != 3 ||
        !SizeAcceptable(info.output_width, info.output_height, error)) {
        if (error->empty()) *error = "unsupported JPEG colour layout";
        jpeg_destroy_decompress(&info);
        return false;
    }
    *width = int32_t(info.output_width);
    *height = int32_t(info.output_height);
    rgb->resize(size_t(*width) * size_t(*height) * 3);
    while (info.output_scanline < info.output_height) {
        JSAMPROW row = rgb->data() + size_t(info.output_scanline) * size_t(*width) * 3;
        jpeg_read_scanlines(&info, &row, 1);
    }
    jpeg_finish_decompress(&info);
    jpeg_destroy_decompress(&info);
    return true;
}

bool ReadJpeg(const std::vector<uint8_t>& bytes, Picture* picture, std::string* error) {
    std::vector<uint8_t> rgb;
    int32_t width = 0, height = 0;
    if (!DecodeJpeg(bytes, &rgb, &width, &height, error)) return false;
    picture->width = width;
    picture->height = height;
    picture->bgra.resize(size_t(width) * size_t(height) * 4);
    for (size_t i = 0, n = size_t(width) * size_t(height); i < n; ++i) {
        picture->bgra[4 * i + 0] = rgb[3 * i + 2];
        picture->bgra[4 * i + 1] = rgb[3 * i + 1];
        picture->bgra[4 * i + 2] = rgb[3 * i + 0];
        picture->bgra[4 * i + 3] = 255;
    }
    return true;
}

}  // namespace

bool ReadPicture(const std::string& path, Picture* picture, std::string* error) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        *error = "cannot open \"" + path + "\"";
        return false;
    }
    std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(in)),
                               std::istreambuf_iterator<char>());
    if (in.bad()) {
        *error = "cannot read \"" + path + "\"";
        return false;
    }
    std::string why;
    bool ok = false;
    if (StartsWith(bytes, {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A}))
        ok = ReadPng(bytes, picture, &why);
    else if (StartsWith(bytes, {0xFF, 0xD8, 0xFF}))
        ok = ReadJpeg(bytes, picture, &why);
    else
        why = "neither a PNG nor a JPEG picture";
    if (!ok) *error = "\"" + path + "\": " + why;
    return ok;
}

bool WritePng(const std::string& path, const Picture& picture, bool withAlpha, std::string* error) {
    const size_t pixels = size_t(picture.width) * size_t(picture.height);
    const int channels = withAlpha ? 4 : 3;
    std::vector<uint8_t> rows(pixels * size_t(channels));
    for (size_t i = 0; i < pixels; ++i) {
        const uint8_t* p = &picture.bgra[4 * i];
        uint8_t* q = &rows[size_t(channels) * i];
        q[0] = p[2];
        q[1] = p[1];
        q[2] = p[0];
        if (withAlpha) q[3] = p[3];
    }
    png_image image;
    std::memset(&image, 0, sizeof image);
    image.version = PNG_IMAGE_VERSION;
    image.width = png_uint_32(picture.width);
    image.height = png_uint_32(picture.height);
    image.format = withAlpha ? PNG_FORMAT_RGBA : PNG_FORMAT_RGB;
    if (!png_image_write_to_file(&image, path.c_str(), 0, rows.data(), 0, nullptr)) {
        *error = "cannot write \"" + path + "\": " + image.message;
        return false;
    }
    return true;
}

}  // namespace vx::vexfx
