// Video files on Windows through the DirectShow media detector.
#include <dshow.h>
#include <objbase.h>
#include <qedit.h>
#include <windows.h>

#include <cstring>
#include <new>
#include <vector>

#include "platform/video_file.h"

namespace vx::platform {

namespace {

const CLSID kMediaDetClass = {
    0x65BD0711, 0x24D2, 0x4FF7, {0x93, 0x24, 0xED, 0x2E, 0x5D, 0x3A, 0xBA, 0xFA}};
const IID kMediaDetInterface = {
    0x65BD0710, 0x24D2, 0x4FF7, {0x93, 0x24, 0xED, 0x2E, 0x5D, 0x3A, 0xBA, 0xFA}};
const GUID kVideoType = {
    0x73646976, 0x0000, 0x0010, {0x80, 0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71}};
const GUID kVideoInfoFormat = {
    0x05589F80, 0xC356, 0x11CE, {0xBF, 0x01, 0x00, 0xAA, 0x00, 0x55, 0x59, 0x5A}};

void FreeMediaType(AM_MEDIA_TYPE& type) {
    if (type.cbFormat) CoTaskMemFree(type.pbFormat);
    type.cbFormat = 0;
    type.pbFormat = nullptr;
    if (type.pUnk) type.pUnk->Release();
    type.pUnk = nullptr;
}

}  // namespace

struct VideoFileReader::Impl {
    IMediaDet* detector = nullptr;
};

VideoFileReader::VideoFileReader() = default;
VideoFileReader::~VideoFileReader() {
    Close();
}

void VideoFileReader::Close() {
    if (impl_) {
        if (impl_->detector) impl_->detector->Release();
        delete impl_;
        impl_ = nullptr;
    }
    currentPath_.clear();
}

int32_t VideoFileReader::OpenVideo(const char16_t* path) {
    if (!path) return kVideoFail;
    if (impl_ && currentPath_ == path) return kVideoOk;
    Close();
    IMediaDet* det = nullptr;
    HRESULT hr = CoCreateInstance(kMediaDetClass, nullptr, 7, kMediaDetInterface,
                                  reinterpret_cast<void**>(&det));
    if (FAILED(hr)) return hr;
    BSTR name = SysAllocString(reinterpret_cast<const OLECHAR*>(path));
    if (!name) {
        det->Release();
        return kVideoOutOfMemory;
    }
    hr = det->put_Filename(name);
    SysFreeString(name);
    long streams = 0;
    if (SUCCEEDED(hr)) hr = det->get_OutputStreams(&streams);
    HRESULT result = FAILED(hr) ? hr : kVideoNoStream;
    for (long i = 0; SUCCEEDED(hr) && i < streams; ++i) {
        GUID major{};
        if (FAILED(det->put_CurrentStream(i)) || FAILED(det->get_StreamType(&major)) ||
            major != kVideoType)
            continue;
        AM_MEDIA_TYPE type{};
        result = det->get_StreamMediaType(&type);
        if (SUCCEEDED(result)) {
            if (type.formattype != kVideoInfoFormat || type.cbFormat < 88 || !type.pbFormat) {
                result = kVideoNoStream;
            } else {
                const auto* info = reinterpret_cast<const VIDEOINFOHEADER*>(type.pbFormat);
                videoWidth = info->bmiHeader.biWidth;
                const LONG height = info->bmiHeader.biHeight;
                videoHeight = height < 0 ? -height : height;
                bottomUp = height > 0;
                videoBytesPerPixel = info->bmiHeader.biBitCount / 8;
                videoImageSize = int32_t(info->bmiHeader.biSizeImage);
                double length = 0;
                det->get_StreamLength(&length);
                lengthSeconds = length;
            }
            FreeMediaType(type);
        }
        break;
    }
    if (result != kVideoOk) {
        det->Release();
        return result;
    }
    impl_ = new (std::nothrow) Impl{det};
    if (!impl_) {
        det->Release();
        return kVideoOutOfMemory;
    }
    currentPath_ = path;
    return kVideoOk;
}

int32_t VideoFileReader::GrabFrame(double seconds) {
    if (!impl_) return kVideoFail;
    long size = 0;
    HRESULT hr = impl_->detector->GetBitmapBits(seconds, &size, nullptr, videoWidth, videoHeight);
    if (FAILED(hr)) return hr;
    if (size <= 0) return kVideoFail;
    std::vector<uint8_t> block;
    try {
        block.resize(size_t(size));
    } catch (const std::bad_alloc&) {
        return kVideoOutOfMemory;
    }
    hr = impl_->detector->GetBitmapBits(seconds, nullptr, reinterpret_cast<char*>(block.data()),
                                        videoWidth, videoHeight);
    if (FAILED(hr)) return hr;
    frameBuffer.swap(block);
    return kVideoOk;
}

void InitializeMediaThread() {
    CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
}

}  // namespace vx::platform
