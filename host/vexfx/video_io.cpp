#include "host/vexfx/video_io.h"

#include <stdexcept>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/imgutils.h>
#include <libavutil/opt.h>
#include <libswscale/swscale.h>
}

namespace vx::vexfx {
namespace {

std::string AvError(int code) {
    char text[AV_ERROR_MAX_STRING_SIZE] = {};
    av_strerror(code, text, sizeof text);
    return text;
}

void Check(int code, const std::string& what) {
    if (code < 0) throw std::runtime_error(what + ": " + AvError(code));
}

// FFmpeg's own chatter (encoder statistics) is not for the user of vexfx;
// errors still reach standard error.
void QuietLibraries() {
    av_log_set_level(AV_LOG_ERROR);
}

AVPixelFormat HostPixelFormat(int32_t bitsPerPixel) {
    return bitsPerPixel == 24 ? AV_PIX_FMT_BGR24 : AV_PIX_FMT_BGRA;
}

// Copies between a frame's rows and an FFmpeg picture through swscale.
void Convert(SwsContext* sws, const uint8_t* const* srcData, const int* srcStride, int height,
             uint8_t* const* dstData, const int* dstStride) {
    sws_scale(sws, srcData, srcStride, 0, height, dstData, dstStride);
}

}  // namespace

struct VideoDecoder::State {
    AVFormatContext* format = nullptr;
    AVCodecContext* codec = nullptr;
    AVFrame* picture = nullptr;
    AVPacket* packet = nullptr;
    SwsContext* sws = nullptr;
    int32_t swsBits = 0;
    int stream = -1;
    bool drained = false;

    ~State() {
        sws_freeContext(sws);
        av_packet_free(&packet);
        av_frame_free(&picture);
        avcodec_free_context(&codec);
        avformat_close_input(&format);
    }

    // The next decoded picture, or false at the end of the stream.
    bool Decode() {
        for (;;) {
            const int got = avcodec_receive_frame(codec, picture);
            if (got == 0) return true;
            if (got == AVERROR_EOF) return false;
            if (got != AVERROR(EAGAIN)) Check(got, "decoding failed");
            if (drained) return false;
            const int read = av_read_frame(format, packet);
            if (read == AVERROR_EOF) {
                drained = true;
                avcodec_send_packet(codec, nullptr);
                continue;
            }
            Check(read, "reading failed");
            if (packet->stream_index == stream) {
                const int sent = avcodec_send_packet(codec, packet);
                if (sent < 0 && sent != AVERROR(EAGAIN)) {
                    av_packet_unref(packet);
                    Check(sent, "decoding failed");
                }
            }
            av_packet_unref(packet);
        }
    }
};

VideoDecoder::VideoDecoder() = default;
VideoDecoder::~VideoDecoder() = default;

void VideoDecoder::Open(const std::string& path) {
    QuietLibraries();
    auto s = std::make_unique<State>();
    Check(avformat_open_input(&s->format, path.c_str(), nullptr, nullptr), "cannot open " + path);
    Check(avformat_find_stream_info(s->format, nullptr), "cannot read " + path);
    const AVCodec* decoder = nullptr;
    s->stream = av_find_best_stream(s->format, AVMEDIA_TYPE_VIDEO, -1, -1, &decoder, 0);
    Check(s->stream, path + " has no video stream");
    const AVStream* st = s->format->streams[s->stream];
    s->codec = avcodec_alloc_context3(decoder);
    if (!s->codec) throw std::runtime_error("out of memory");
    Check(avcodec_parameters_to_context(s->codec, st->codecpar), "cannot decode " + path);
    Check(avcodec_open2(s->codec, decoder, nullptr), "cannot decode " + path);
    s->picture = av_frame_alloc();
    s->packet = av_packet_alloc();
    if (!s->picture || !s->packet) throw std::runtime_error("out of memory");

    info_ = {};
    info_.width = s->codec->width;
    info_.height = s->codec->height;
    AVRational rate = st->avg_frame_rate.num > 0 ? st->avg_frame_rate : st->r_frame_rate;
    if (rate.num <= 0 || rate.den <= 0) rate = {25, 1};
    info_.rateNumerator = rate.num;
    info_.rateDenominator = rate.den;
    if (st->nb_frames > 0) {
        info_.frameCount = st->nb_frames;
    } else if (s->format->duration > 0) {
        info_.frameCount = av_rescale_q(s->format->duration, AV_TIME_BASE_Q, av_inv_q(rate));
    }
    if (info_.width <= 0 || info_.height <= 0) throw std::runtime_error(path + ": no picture size");
    state_ = std::move(s);
}

bool VideoDecoder::Next(int32_t bitsPerPixel, host::Frame* frame) {
    State& s = *state_;
    if (!s.Decode()) return false;
    if (s.picture->width != info_.width || s.picture->height != info_.height)
        throw std::runtime_error("the picture size changes inside the video");
    if (!s.sws || s.swsBits != bitsPerPixel) {
        sws_freeContext(s.sws);
        s.sws = sws_getContext(info_.width, info_.height, AVPixelFormat(s.picture->format),
                               info_.width, info_.height, HostPixelFormat(bitsPerPixel),
                               SWS_BICUBIC, nullptr, nullptr, nullptr);
        if (!s.sws) throw std::runtime_error("cannot convert the video's pictures");
        s.swsBits = bitsPerPixel;
    }
    *frame = host::Frame(host::FrameFormat{info_.width, info_.height, bitsPerPixel});
    uint8_t* data[4] = {frame->Row(0)};
    int stride[4] = {int(frame->Row(1 % info_.height) - frame->Row(0))};
    if (info_.height == 1) stride[0] = frame->Pitch();
    Convert(s.sws, s.picture->data, s.picture->linesize, info_.height, data, stride);
    av_frame_unref(s.picture);
    return true;
}

struct VideoEncoder::State {
    AVFormatContext* format = nullptr;
    AVCodecContext* codec = nullptr;
    AVStream* stream = nullptr;
    AVFrame* picture = nullptr;
    AVPacket* packet = nullptr;
    SwsContext* sws = nullptr;
    int32_t swsBits = 0;
    int64_t pts = 0;
    bool headerWritten = false;
    bool finished = false;

    ~State() {
        sws_freeContext(sws);
        av_packet_free(&packet);
        av_frame_free(&picture);
        avcodec_free_context(&codec);
        if (format && !(format->oformat->flags & AVFMT_NOFILE)) avio_closep(&format->pb);
        avformat_free_context(format);
    }

    // Sends a picture (or null to drain) and writes what the encoder gives back.
    void Encode(const AVFrame* input) {
        Check(avcodec_send_frame(codec, input), "encoding failed");
        for (;;) {
            const int got = avcodec_receive_packet(codec, packet);
            if (got == AVERROR(EAGAIN) || got == AVERROR_EOF) return;
            Check(got, "encoding failed");
            av_packet_rescale_ts(packet, codec->time_base, stream->time_base);
            packet->stream_index = stream->index;
            Check(av_interleaved_write_frame(format, packet), "writing failed");
        }
    }
};

VideoEncoder::VideoEncoder() = default;

VideoEncoder::~VideoEncoder() {
    try {
        Finish();
    } catch (const std::exception&) {
        // The caller that wanted to know has called Finish itself.
    }
}

void VideoEncoder::Open(const std::string& path, const VideoInfo& info) {
    QuietLibraries();
    auto s = std::make_unique<State>();
    Check(avformat_alloc_output_context2(&s->format, nullptr, nullptr, path.c_str()),
          "no container for " + path);
    const AVCodec* encoder = avcodec_find_encoder(s->format->oformat->video_codec);
    if (!encoder) throw std::runtime_error("no video encoder for " + path);
    s->stream = avformat_new_stream(s->format, nullptr);
    s->codec = avcodec_alloc_context3(encoder);
    s->picture = av_frame_alloc();
    s->packet = av_packet_alloc();
    if (!s->stream || !s->codec || !s->picture || !s->packet)
        throw std::runtime_error("out of memory");

    AVCodecContext* c = s->codec;
    c->width = info.width;
    c->height = info.height;
    c->time_base = {info.rateDenominator, info.rateNumerator};
    c->framerate = {info.rateNumerator, info.rateDenominator};
    c->pix_fmt = encoder->pix_fmts ? encoder->pix_fmts[0] : AV_PIX_FMT_YUV420P;
    for (const AVPixelFormat* f = encoder->pix_fmts; f && *f != AV_PIX_FMT_NONE; ++f)
        if (*f == AV_PIX_FMT_YUV420P) c->pix_fmt = *f;
    c->gop_size = 12;
    // A quality rather than a bit rate, so that pictures of any size look right.
    if (av_opt_set(c->priv_data, "crf", "18", 0) < 0) {
        c->flags |= AV_CODEC_FLAG_QSCALE;
        c->global_quality = FF_QP2LAMBDA * 3;
    }
    if (s->format->oformat->flags & AVFMT_GLOBALHEADER) c->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
    Check(avcodec_open2(c, encoder, nullptr), "cannot open the encoder for " + path);
    Check(avcodec_parameters_from_context(s->stream->codecpar, c), "cannot set up " + path);
    s->stream->time_base = c->time_base;

    s->picture->format = c->pix_fmt;
    s->picture->width = c->width;
    s->picture->height = c->height;
    Check(av_frame_get_buffer(s->picture, 0), "out of memory");
    if (!(s->format->oformat->flags & AVFMT_NOFILE))
        Check(avio_open(&s->format->pb, path.c_str(), AVIO_FLAG_WRITE), "cannot create " + path);
    Check(avformat_write_header(s->format, nullptr), "cannot write " + path);
    s->headerWritten = true;
    state_ = std::move(s);
}

void VideoEncoder::Write(const host::Frame& frame) {
    State& s = *state_;
    const host::FrameFormat& f = frame.Format();
    if (f.width != s.codec->width || f.height != s.codec->height || f.pixelFormat != 0)
        throw std::runtime_error("the effect changed the picture's size or layout");
    if (!s.sws || s.swsBits != f.bitsPerPixel) {
        sws_freeContext(s.sws);
        s.sws = sws_getContext(f.width, f.height, HostPixelFormat(f.bitsPerPixel), f.width,
                               f.height, s.codec->pix_fmt, SWS_BICUBIC, nullptr, nullptr, nullptr);
        if (!s.sws) throw std::runtime_error("cannot convert the pictures for the encoder");
        s.swsBits = f.bitsPerPixel;
    }
    Check(av_frame_make_writable(s.picture), "out of memory");
    // Row 0 is the top row whichever way the frame is stored.
    const uint8_t* data[4] = {frame.Row(0)};
    int stride[4] = {f.height > 1 ? int(frame.Row(1) - frame.Row(0)) : frame.Pitch()};
    Convert(s.sws, data, stride, f.height, s.picture->data, s.picture->linesize);
    s.picture->pts = s.pts++;
    s.Encode(s.picture);
}

void VideoEncoder::Finish() {
    if (!state_ || state_->finished) return;
    State& s = *state_;
    s.finished = true;
    s.Encode(nullptr);
    Check(av_write_trailer(s.format), "cannot finish the file");
}

}  // namespace vx::vexfx
