// Video files on Linux through FFmpeg: the first video stream is decoded and
// converted to a bottom-up 24-bit picture, the layout the Windows media
// detector hands out.
extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/imgutils.h>
#include <libswscale/swscale.h>
}

#include <cmath>
#include <cstring>
#include <memory>
#include <new>
#include <vector>

#include "platform/platform.h"
#include "platform/video_file.h"

namespace vx::platform {

struct VideoFileReader::Impl {
    AVFormatContext* format = nullptr;
    AVCodecContext* codec = nullptr;
    SwsContext* scaler = nullptr;
    AVPacket* packet = nullptr;
    AVFrame* frame = nullptr;
    int stream = -1;

    ~Impl() {
        sws_freeContext(scaler);
        av_frame_free(&frame);
        av_packet_free(&packet);
        avcodec_free_context(&codec);
        avformat_close_input(&format);
    }
};

namespace {

std::string UnixPath(const char16_t* path) {
    std::string p = NarrowFromWide(path);
    for (char& c : p)
        if (c == '\\') c = '/';
    return p;
}

int32_t RowBytes(int32_t width) {
    return (width * 3 + 3) & ~3;
}

// Decodes the next frame of the stream; false at the end or on an error.
bool DecodeNext(VideoFileReader::Impl& v) {
    for (;;) {
        int rc = avcodec_receive_frame(v.codec, v.frame);
        if (rc == 0) return true;
        if (rc != AVERROR(EAGAIN)) return false;
        rc = av_read_frame(v.format, v.packet);
        if (rc < 0) {
            avcodec_send_packet(v.codec, nullptr);  // drain what the decoder holds
            continue;
        }
        if (v.packet->stream_index == v.stream) rc = avcodec_send_packet(v.codec, v.packet);
        av_packet_unref(v.packet);
        if (rc < 0 && rc != AVERROR(EAGAIN)) return false;
    }
}

}  // namespace

VideoFileReader::VideoFileReader() = default;
VideoFileReader::~VideoFileReader() {
    Close();
}

void VideoFileReader::Close() {
    delete impl_;
    impl_ = nullptr;
    currentPath_.clear();
}

int32_t VideoFileReader::OpenVideo(const char16_t* path) {
    if (!path) return kVideoFail;
    if (impl_ && currentPath_ == path) return kVideoOk;
    Close();
    auto v = std::make_unique<Impl>();
    if (avformat_open_input(&v->format, UnixPath(path).c_str(), nullptr, nullptr) < 0 ||
        avformat_find_stream_info(v->format, nullptr) < 0)
        return kVideoFail;
    for (unsigned i = 0; i < v->format->nb_streams; ++i)
        if (v->format->streams[i]->codecpar->codec_type == AVMEDIA_TYPE_VIDEO) {
            v->stream = int(i);
            break;
        }
    if (v->stream < 0) return kVideoNoStream;
    const AVStream* s = v->format->streams[v->stream];
    const AVCodec* decoder = avcodec_find_decoder(s->codecpar->codec_id);
    if (!decoder || s->codecpar->width <= 0 || s->codecpar->height <= 0 ||
        int64_t(s->codecpar->width) * s->codecpar->height > (int64_t(1) << 26))
        return kVideoNoStream;
    v->codec = avcodec_alloc_context3(decoder);
    v->packet = av_packet_alloc();
    v->frame = av_frame_alloc();
    if (!v->codec || !v->packet || !v->frame) return kVideoOutOfMemory;
    if (avcodec_parameters_to_context(v->codec, s->codecpar) < 0 ||
        avcodec_open2(v->codec, decoder, nullptr) < 0)
        return kVideoNoStream;

    videoWidth = s->codecpar->width;
    videoHeight = s->codecpar->height;
    videoBytesPerPixel = 3;
    videoImageSize = RowBytes(videoWidth) * videoHeight;
    bottomUp = true;
    if (s->duration != AV_NOPTS_VALUE && s->duration > 0)
        lengthSeconds = double(s->duration) * av_q2d(s->time_base);
    else if (v->format->duration != AV_NOPTS_VALUE && v->format->duration > 0)
        lengthSeconds = double(v->format->duration) / AV_TIME_BASE;
    else
        lengthSeconds = 0;
    currentPath_ = path;
    impl_ = v.release();
    return kVideoOk;
}

int32_t VideoFileReader::GrabFrame(double seconds) {
    if (!impl_) return kVideoFail;
    Impl& v = *impl_;
    const AVStream* s = v.format->streams[v.stream];
    if (!std::isfinite(seconds) || seconds < 0) seconds = 0;
    const double tb = av_q2d(s->time_base);
    const double startSeconds = s->start_time != AV_NOPTS_VALUE ? double(s->start_time) * tb : 0;
    const double wanted = startSeconds + seconds;
    const int64_t target = int64_t(std::min(wanted / tb, 9.0e18));
    if (av_seek_frame(v.format, v.stream, target, AVSEEK_FLAG_BACKWARD) < 0)
        av_seek_frame(v.format, v.stream, 0, AVSEEK_FLAG_BACKWARD | AVSEEK_FLAG_BYTE);
    avcodec_flush_buffers(v.codec);

    // The picture shown at the wanted time: the last frame starting at or
    // before it (the first frame when the time lies before every frame).
    AVFrame* shown = av_frame_alloc();
    if (!shown) return kVideoOutOfMemory;
    bool have = false;
    while (DecodeNext(v)) {
        const int64_t pts = v.frame->best_effort_timestamp;
        const bool after = have && pts != AV_NOPTS_VALUE && double(pts) * tb > wanted + 1e-9;
        if (after) break;
        av_frame_unref(shown);
        av_frame_move_ref(shown, v.frame);
        have = true;
        if (pts != AV_NOPTS_VALUE && double(pts) * tb > wanted + 1e-9) break;
    }
    av_frame_unref(v.frame);
    if (!have || shown->width != videoWidth || shown->height != videoHeight) {
        av_frame_free(&shown);
        return kVideoFail;
    }
    v.scaler = sws_getCachedContext(v.scaler, videoWidth, videoHeight, AVPixelFormat(shown->format),
                                    videoWidth, videoHeight, AV_PIX_FMT_BGR24, SWS_POINT, nullptr,
                                    nullptr, nullptr);
    std::vector<uint8_t> block;
    const int32_t stride = RowBytes(videoWidth);
    if (!v.scaler) {
        av_frame_free(&shown);
        return kVideoFail;
    }
    try {
        block.assign(sizeof(BitmapHeader) + size_t(stride) * videoHeight, 0);
    } catch (const std::bad_alloc&) {
        av_frame_free(&shown);
        return kVideoOutOfMemory;
    }
    BitmapHeader h{};
    h.size = 40;
    h.width = videoWidth;
    h.height = videoHeight;
    h.planes = 1;
    h.bitCount = 24;
    h.sizeImage = uint32_t(stride) * uint32_t(videoHeight);
    std::memcpy(block.data(), &h, sizeof h);
    // Bottom-up: the top picture row goes to the last stored row.
    uint8_t* last = block.data() + sizeof h + size_t(stride) * (videoHeight - 1);
    uint8_t* planes[4] = {last, nullptr, nullptr, nullptr};
    int strides[4] = {-stride, 0, 0, 0};
    sws_scale(v.scaler, shown->data, shown->linesize, 0, videoHeight, planes, strides);
    av_frame_free(&shown);
    frameBuffer.swap(block);
    return kVideoOk;
}

void InitializeMediaThread() {}

}  // namespace vx::platform
