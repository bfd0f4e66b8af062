// One table of effect speed against the closest FFmpeg filter, measured in
// the same run: our Process alone, one thread, against the peer filter graph
// fed its own native pixel format, plus a frame copy as the floor.
//
// The table also gives the peak heap of each effect object (the object, its
// caches and what it allocates while rendering, with the host's few bytes of
// bookkeeping but without the frames), and, at the end, the speed of the
// command-line host's frame-parallel rendering on one worker and on every
// core.
//
//   build/native/bench/vex_perf_table [--quick] [--only IDENTIFIER]
#define __STDC_CONSTANT_MACROS
extern "C" {
#include <libavfilter/avfilter.h>
#include <libavfilter/buffersink.h>
#include <libavfilter/buffersrc.h>
#include <libavutil/frame.h>
#include <libavutil/imgutils.h>
#include <libavutil/log.h>
#include <libavutil/pixdesc.h>
}

#include <algorithm>
#include <cctype>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "bench/background_video.h"
#include "bench/heap_meter.h"
#include "core/library.h"
#include "host/batch_render.h"
#include "host/standin_host.h"

namespace {

using Clock = std::chrono::steady_clock;
using vx::host::EffectInstance;
using vx::host::EffectLibrary;
using vx::host::Frame;
using vx::host::FrameFormat;

// The peer filter graph: inputs are labelled [in0], [in1] ..., the output [out].
// Extra inputs after the first are maps or second clips, in their own formats.
struct Peer {
    const char* graph;
    AVPixelFormat format;
    std::vector<AVPixelFormat> extraInputs;
};

struct Row {
    const char* identifier;
    const char* label;
    std::vector<std::pair<const char*, const char*>> settings;
    Peer peer;
};

const char* kRemap = "[in0][in1][in2]remap[out]";

const std::vector<Row> kRows = {
    {"VXEBackground", "video", {}, {"[in0][in1]overlay=format=rgb[out]", AV_PIX_FMT_BGRA, {AV_PIX_FMT_BGRA}}},
    {"VXEBackground", "mix-only", {}, {"[in0][in1]overlay=format=rgb[out]", AV_PIX_FMT_BGRA, {AV_PIX_FMT_BGRA}}},
    {"VXEColorAdjust", "defaults", {}, {"[in0]colorchannelmixer=rr=1.1:gg=0.9,lutrgb=r=gammaval(0.7):g=gammaval(1.3):b=gammaval(2)[out]", AV_PIX_FMT_BGRA, {}}},
    {"VXEColorAdjust", "gamma+contrast", {{"Contrast", "140"}, {"Color intensity", "130"}, {"Gamma red", "0.7"}, {"Gamma green", "1.3"}, {"Gamma blue", "2"}},
     {"[in0]colorchannelmixer=rr=1.1:gg=0.9,lutrgb=r=gammaval(0.7):g=gammaval(1.3):b=gammaval(2)[out]", AV_PIX_FMT_BGRA, {}}},
    {"VXEColorChange", "defaults", {}, {"[in0]colorhold=color=red:similarity=0.3[out]", AV_PIX_FMT_BGRA, {}}},
    {"VXEColorChange", "wide-keep", {{"Color red", "128"}, {"Color green", "100"}, {"Color blue", "90"}, {"Color range", "765"}, {"Border", "100"}}, {"[in0]colorhold=color=red:similarity=0.9:blend=0.3[out]", AV_PIX_FMT_BGRA, {}}},
    {"VXEColorChange", "wide-shift", {{"Color red", "128"}, {"Color green", "100"}, {"Color blue", "90"}, {"Color range", "500"}, {"Border", "100"}, {"Change color", "change color"}, {"New color red", "20"}}, {"[in0]colorhold=color=red:similarity=0.9:blend=0.3[out]", AV_PIX_FMT_BGRA, {}}},
    {"VXEColorChange", "wide-hide", {{"Color red", "128"}, {"Color range", "400"}, {"Border", "100"}, {"Change color", "make transparent"}, {"Black and white", "false"}}, {"[in0]colorhold=color=red:similarity=0.9:blend=0.3[out]", AV_PIX_FMT_BGRA, {}}},
    {"VXEColorChange2", "defaults", {}, {"[in0]hsvhold=hue=0:sat=0.7:val=0.5:similarity=0.3[out]", AV_PIX_FMT_GBRP, {}}},
    {"VXEColorChange2", "smooth", {{"Color red", "120"}, {"Hue range", "40"}, {"Saturation range", "0.5"}, {"Value range", "0.5"}, {"Smooth", "true"}},
     {"[in0]hsvhold=hue=0:sat=0.7:val=0.5:similarity=0.3[out]", AV_PIX_FMT_GBRP, {}}},
    {"VXEColorCorrect", "defaults", {}, {"[in0]lutrgb=r='pow(clip((val-16)/184,0,1),0.8)*255':g=negval:b=val[out]", AV_PIX_FMT_BGRA, {}}},
    {"VXEColorCorrect", "levels+gamma", {{"Minimum red", "16"}, {"Maximum red", "200"}, {"Gamma red", "0.8"}, {"Minimum green", "30"}, {"Gamma blue", "2.2"}},
     {"[in0]lutrgb=r='pow(clip((val-16)/184,0,1),0.8)*255':g=negval:b=val[out]", AV_PIX_FMT_BGRA, {}}},
    {"VXEColorGlow", "defaults", {}, {"[in0]avgblur=sizeX=5:planes=1[out]", AV_PIX_FMT_YUV420P, {}}},
    {"VXEColorGlow", "wide-glow", {{"Color red", "120"}, {"Color range", "250"}, {"Glow range", "20"}, {"New color green", "255"}, {"Glow intensity", "50"}, {"Left Margin", "10"}},
     {"[in0]avgblur=sizeX=5:planes=1[out]", AV_PIX_FMT_YUV420P, {}}},
    {"VXECut", "defaults", {}, {"[in0]split[a][b];[a]crop=iw/2:ih/2,lutrgb=r=val*0.8[c];[b]drawbox=x=10:y=10:w=iw/2:h=ih/2:color=black[d];[d][c]overlay=20:20[out]", AV_PIX_FMT_BGRA, {}}},
    {"VXEDeInterlace", "defaults", {}, {"[in0]yadif=mode=send_frame[out]", AV_PIX_FMT_YUV420P, {}}},
    {"VXEFilter", "defaults", {}, {"[in0]convolution=0m='0 -1 0 -1 5 -1 0 -1 0':1m='0 -1 0 -1 5 -1 0 -1 0':2m='0 -1 0 -1 5 -1 0 -1 0'[out]", AV_PIX_FMT_GBRP, {}}},
    {"VXEFilter", "soften-lot", {{"Filter type", "soften (a lot)"}}, {"[in0]convolution=0m='1 1 1 1 1 1 1 1 1 1 1 1 1 1 1 1 1 1 1 1 1 1 1 1 1':0rdiv=1/25:0bias=0:1m='1 1 1 1 1 1 1 1 1 1 1 1 1 1 1 1 1 1 1 1 1 1 1 1 1':1rdiv=1/25:1bias=0:2m='1 1 1 1 1 1 1 1 1 1 1 1 1 1 1 1 1 1 1 1 1 1 1 1 1':2rdiv=1/25:2bias=0[out]", AV_PIX_FMT_GBRP, {}}},
    {"VXEFilter", "sharpen-medium", {{"Filter type", "sharpen (medium)"}}, {"[in0]convolution=0m='-1 -1 -1 -1 -1 -1 -1 -1 -1 -1 -1 -1 25 -1 -1 -1 -1 -1 -1 -1 -1 -1 -1 -1 -1':0rdiv=1:0bias=0:1m='-1 -1 -1 -1 -1 -1 -1 -1 -1 -1 -1 -1 25 -1 -1 -1 -1 -1 -1 -1 -1 -1 -1 -1 -1':1rdiv=1:1bias=0:2m='-1 -1 -1 -1 -1 -1 -1 -1 -1 -1 -1 -1 25 -1 -1 -1 -1 -1 -1 -1 -1 -1 -1 -1 -1':2rdiv=1:2bias=0[out]", AV_PIX_FMT_GBRP, {}}},
    {"VXEFilter", "emboss", {{"Filter type", "emboss"}}, {"[in0]convolution=0m='-1 0 0 0 0 0 0 0 -2 0 0 0 0 0 0 0 -1 0 0 0 0 0 0 0 5 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0':0rdiv=1/4:0bias=128:1m='-1 0 0 0 0 0 0 0 -2 0 0 0 0 0 0 0 -1 0 0 0 0 0 0 0 5 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0':1rdiv=1/4:1bias=128:2m='-1 0 0 0 0 0 0 0 -2 0 0 0 0 0 0 0 -1 0 0 0 0 0 0 0 5 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0':2rdiv=1/4:2bias=128[out]", AV_PIX_FMT_GBRP, {}}},
    {"VXEGear", "defaults", {}, {"[in0]frei0r=alphaspot[out]", AV_PIX_FMT_RGBA, {}}},
    {"VXEGhost", "defaults", {}, {"[in0]tmix=frames=4[out]", AV_PIX_FMT_GBRP, {}}},
    {"VXEGhost", "3-ghosts", {{"No. of Ghosts", "3"}, {"Visibility of ghosts", "50"}}, {"[in0]tmix=frames=4[out]", AV_PIX_FMT_GBRP, {}}},
    {"VXEKaleidoscope", "defaults", {}, {kRemap, AV_PIX_FMT_BGRA, {AV_PIX_FMT_GRAY16LE, AV_PIX_FMT_GRAY16LE}}},
    {"VXELens", "defaults", {}, {"[in0]lenscorrection=k1=-0.2:k2=0.05:i=bilinear[out]", AV_PIX_FMT_YUV444P, {}}},
    {"VXELighthouse", "defaults", {}, {"[in0]vignette=eval=frame[out]", AV_PIX_FMT_BGR24, {}}},
    {"VXEraser", "defaults", {}, {"[in0]delogo=x=W%80:y=H%15:w=W%5:h=H%5[out]", AV_PIX_FMT_YUV420P, {}}},
    {"VXEraser", "erase", {{"Preview border", "false"}}, {"[in0]delogo=x=W%80:y=H%15:w=W%5:h=H%5[out]", AV_PIX_FMT_YUV420P, {}}},
    {"VXEraser", "erase-30%", {{"Preview border", "false"}, {"Left Border", "10"}, {"Top Border", "10"}, {"Width", "30"}, {"Bottom Border", "30"}}, {"[in0]delogo=x=W%10:y=H%10:w=W%30:h=H%30[out]", AV_PIX_FMT_YUV420P, {}}},
    {"VXESpiral", "defaults", {}, {kRemap, AV_PIX_FMT_BGRA, {AV_PIX_FMT_GRAY16LE, AV_PIX_FMT_GRAY16LE}}},
    {"VXETransform", "none", {{"1. effect", "rotate"}, {"1. amount", "17"}, {"2. effect", "perspective x"}, {"2. amount", "20"}, {"interpolate", "none"}},
     {"[in0]perspective=x0=10:y0=10:x1=W-20:y1=5:x2=0:y2=H:x3=W:y3=H-10:interpolation=linear:eval=frame[out]", AV_PIX_FMT_YUV444P, {}}},
    {"VXETransform", "bilinear", {{"1. effect", "rotate"}, {"1. amount", "17"}, {"2. effect", "perspective x"}, {"2. amount", "20"}, {"interpolate", "bilinear"}},
     {"[in0]perspective=x0=10:y0=10:x1=W-20:y1=5:x2=0:y2=H:x3=W:y3=H-10:interpolation=linear:eval=frame[out]", AV_PIX_FMT_YUV444P, {}}},
    {"VXETransform", "bicubic-sharp", {{"1. effect", "rotate"}, {"1. amount", "17"}, {"2. effect", "perspective x"}, {"2. amount", "20"}, {"interpolate", "bicubic (sharp)"}},
     {"[in0]perspective=x0=10:y0=10:x1=W-20:y1=5:x2=0:y2=H:x3=W:y3=H-10:interpolation=linear:eval=frame[out]", AV_PIX_FMT_YUV444P, {}}},
    {"VXETransform", "bicubic-soft", {{"1. effect", "rotate"}, {"1. amount", "17"}, {"2. effect", "perspective x"}, {"2. amount", "20"}, {"interpolate", "bicubic (soft)"}},
     {"[in0]perspective=x0=10:y0=10:x1=W-20:y1=5:x2=0:y2=H:x3=W:y3=H-10:interpolation=linear:eval=frame[out]", AV_PIX_FMT_YUV444P, {}}},
    {"VXETransform", "bicubic-exact", {{"1. effect", "rotate"}, {"1. amount", "17"}, {"2. effect", "perspective x"}, {"2. amount", "20"}, {"interpolate", "bicubic (more exact)"}},
     {"[in0]perspective=x0=10:y0=10:x1=W-20:y1=5:x2=0:y2=H:x3=W:y3=H-10:interpolation=linear:eval=frame[out]", AV_PIX_FMT_YUV444P, {}}},
    {"VXETransform2", "defaults", {}, {"[in0]rotate=a=t*0.3:bilinear=1[out]", AV_PIX_FMT_BGRA, {}}},
    {"VXETransparency", "defaults", {}, {"[in0]frei0r=alphaspot[out]", AV_PIX_FMT_RGBA, {}}},
    {"VXETransparency", "horizontal+b+inv", {{"Border", "20"}, {"invert", "true"}}, {"[in0]frei0r=alphaspot[out]", AV_PIX_FMT_RGBA, {}}},
    {"VXETransparency", "vertical+b", {{"Type", "vertical"}, {"Border", "15"}}, {"[in0]frei0r=alphaspot[out]", AV_PIX_FMT_RGBA, {}}},
    {"VXETransparency", "oval+b+inv", {{"Type", "oval"}, {"Value", "40"}, {"Border", "10"}, {"invert", "true"}}, {"[in0]frei0r=alphaspot[out]", AV_PIX_FMT_RGBA, {}}},
    {"VXETransparency", "circle+b", {{"Type", "circle"}, {"Value", "40"}, {"Border", "10"}}, {"[in0]frei0r=alphaspot[out]", AV_PIX_FMT_RGBA, {}}},
    {"VXETransparency", "box+b+inv", {{"Type", "box"}, {"Value", "60"}, {"Border", "10"}, {"invert", "true"}}, {"[in0]frei0r=alphaspot[out]", AV_PIX_FMT_RGBA, {}}},
    {"VXETransparency", "holes", {{"Type", "holes"}}, {"[in0]frei0r=alphaspot[out]", AV_PIX_FMT_RGBA, {}}},
    {"VXETransparency", "holes+b+inv", {{"Type", "holes"}, {"Value", "80"}, {"Border", "12"}, {"invert", "true"}}, {"[in0]frei0r=alphaspot[out]", AV_PIX_FMT_RGBA, {}}},
    {"VXETransparency", "all+b", {{"Type", "all"}, {"Value", "40"}, {"Border", "30"}}, {"[in0]frei0r=alphaspot[out]", AV_PIX_FMT_RGBA, {}}},
    {"VXETransparency", "random", {{"Type", "random"}}, {"[in0]frei0r=alphaspot[out]", AV_PIX_FMT_RGBA, {}}},
    {"VXETransparency", "random+b+inv", {{"Type", "random"}, {"Value", "30"}, {"Border", "100"}, {"invert", "true"}}, {"[in0]frei0r=alphaspot[out]", AV_PIX_FMT_RGBA, {}}},
    {"VXETransparency", "confetti", {{"Type", "confetti"}}, {"[in0]frei0r=alphaspot[out]", AV_PIX_FMT_RGBA, {}}},
    {"VXETransparency", "confetti+b+inv", {{"Type", "confetti"}, {"Value", "100"}, {"Border", "5"}, {"invert", "true"}}, {"[in0]frei0r=alphaspot[out]", AV_PIX_FMT_RGBA, {}}},
    {"VXETransparency", "confetti+b100", {{"Type", "confetti"}, {"Value", "60"}, {"Border", "100"}}, {"[in0]frei0r=alphaspot[out]", AV_PIX_FMT_RGBA, {}}},
    {"VXETVInterference", "defaults", {}, {"[in0]noise=alls=20:allf=t[out]", AV_PIX_FMT_YUV420P, {}}},
    {"VXETVInterference", "blocks100", {{"Value", "70"}, {"Blocksize", "100"}}, {"[in0]noise=alls=20:allf=t[out]", AV_PIX_FMT_YUV420P, {}}},
    {"VXEMirror", "defaults", {}, {"[in0]hflip[out]", AV_PIX_FMT_BGRA, {}}},
    {"VXEWaves", "defaults", {}, {"[in0]frei0r=distort0r[out]", AV_PIX_FMT_RGBA, {}}},
    {"VXEZoom", "defaults", {}, {"[in0]hflip[out]", AV_PIX_FMT_BGRA, {}}},
    {"VXEZoom2", "defaults", {}, {"[in0]crop=iw*0.8:ih*0.8,scale=w=iw/0.8:h=ih/0.8:flags=bilinear[out]", AV_PIX_FMT_BGRA, {}}},
    {"VXEZoomAndMove", "defaults", {}, {"[in0]zoompan=z='min(zoom+0.0015,1.5)':d=1:s=WxH[out]", AV_PIX_FMT_YUV420P, {}}},
};

double Median(std::vector<double> v) {
    if (v.empty()) return 0;
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

// Times `step` repeatedly for about `budget` seconds; median milliseconds.
double MedianMs(const std::function<void()>& step, double budget) {
    step();  // warm up
    std::vector<double> times;
    const auto end = Clock::now() + std::chrono::duration<double>(budget);
    while (times.size() < 5 || (Clock::now() < end && times.size() < 1000)) {
        auto t0 = Clock::now();
        step();
        times.push_back(std::chrono::duration<double, std::milli>(Clock::now() - t0).count());
    }
    return Median(times);
}

AVFrame* MakeFrame(AVPixelFormat format, int w, int h, int seed) {
    AVFrame* f = av_frame_alloc();
    f->format = format;
    f->width = w;
    f->height = h;
    av_frame_get_buffer(f, 32);
    const bool gray16 = format == AV_PIX_FMT_GRAY16LE;
    for (int p = 0; p < 4 && f->data[p]; ++p) {
        const int rows = (p == 0 || !av_pix_fmt_desc_get(format)->log2_chroma_h) ? h : (h + 1) / 2;
        for (int y = 0; y < rows; ++y) {
            uint8_t* row = f->data[p] + ptrdiff_t(y) * f->linesize[p];
            if (gray16) {
                // A map that mirrors the picture: a real lookup for remap.
                auto* r16 = reinterpret_cast<uint16_t*>(row);
                for (int x = 0; x < w; ++x) r16[x] = uint16_t(seed == 1 ? w - 1 - x : h - 1 - y);
            } else {
                for (int x = 0; x < f->linesize[p]; ++x) row[x] = uint8_t(x * 7 + y * 13 + seed * 31);
            }
        }
    }
    return f;
}

// Median ms per frame of the peer graph, or a negative value when FFmpeg
// cannot build it.
double PeerMs(const Peer& peer, int w, int h, double budget, std::string* error) {
    AVFilterGraph* graph = avfilter_graph_alloc();
    graph->nb_threads = 1;
    std::vector<AVPixelFormat> formats = {peer.format};
    formats.insert(formats.end(), peer.extraInputs.begin(), peer.extraInputs.end());
    std::vector<AVFilterContext*> sources;
    AVFilterInOut* outputs = nullptr;
    for (size_t i = 0; i < formats.size(); ++i) {
        char args[160], name[16];
        std::snprintf(args, sizeof args, "video_size=%dx%d:pix_fmt=%d:time_base=1/25:pixel_aspect=1/1",
                      w, h, int(formats[i]));
        std::snprintf(name, sizeof name, "in%zu", i);
        AVFilterContext* src = nullptr;
        avfilter_graph_create_filter(&src, avfilter_get_by_name("buffer"), name, args, nullptr, graph);
        sources.push_back(src);
        AVFilterInOut* io = avfilter_inout_alloc();
        io->name = av_strdup(name);
        io->filter_ctx = src;
        io->pad_idx = 0;
        io->next = outputs;
        outputs = io;
    }
    AVFilterContext* sink = nullptr;
    avfilter_graph_create_filter(&sink, avfilter_get_by_name("buffersink"), "out", nullptr, nullptr,
                                 graph);
    AVFilterInOut* inputs = avfilter_inout_alloc();
    inputs->name = av_strdup("out");
    inputs->filter_ctx = sink;
    inputs->pad_idx = 0;
    std::string desc = peer.graph;
    for (size_t at; (at = desc.find("WxH")) != std::string::npos;)
        desc.replace(at, 3, std::to_string(w) + "x" + std::to_string(h));
    // "W%p" and "H%p": p percent of the width or height, for rectangles
    // that follow the frame size as the effect's own do.
    for (size_t at = desc.find('%'); at != std::string::npos; at = desc.find('%', at + 1)) {
        if (at == 0 || (desc[at - 1] != 'W' && desc[at - 1] != 'H')) continue;
        size_t end = at + 1;
        while (end < desc.size() && std::isdigit(static_cast<unsigned char>(desc[end]))) ++end;
        if (end == at + 1) continue;
        const int percent = std::atoi(desc.c_str() + at + 1);
        const std::string value = std::to_string((desc[at - 1] == 'W' ? w : h) * percent / 100);
        desc.replace(at - 1, end - at + 1, value);
        at = at - 1 + value.size() - 1;
    }
    int rc = avfilter_graph_parse_ptr(graph, desc.c_str(), &inputs, &outputs, nullptr);
    if (rc >= 0) rc = avfilter_graph_config(graph, nullptr);
    avfilter_inout_free(&inputs);
    avfilter_inout_free(&outputs);
    if (rc < 0) {
        char buf[128];
        av_strerror(rc, buf, sizeof buf);
        *error = buf;
        avfilter_graph_free(&graph);
        return -1;
    }
    std::vector<AVFrame*> frames;
    for (size_t i = 0; i < formats.size(); ++i) frames.push_back(MakeFrame(formats[i], w, h, int(i)));
    AVFrame* out = av_frame_alloc();
    int64_t pts = 0;
    auto step = [&] {
        for (size_t i = 0; i < sources.size(); ++i) {
            frames[i]->pts = pts;
            av_buffersrc_add_frame_flags(sources[i], frames[i], AV_BUFFERSRC_FLAG_KEEP_REF);
        }
        ++pts;
        while (av_buffersink_get_frame(sink, out) >= 0) av_frame_unref(out);
    };
    for (int i = 0; i < 4; ++i) step();  // temporal filters fill their queues
    double ms = MedianMs(step, budget);
    av_frame_free(&out);
    for (AVFrame* f : frames) av_frame_free(&f);
    avfilter_graph_free(&graph);
    return ms;
}

const vx::EffectEntry* FindEffect(const char* identifier) {
    for (const vx::EffectEntry& e : vx::EffectTable())
        if (std::strcmp(e.identifier, identifier) == 0) return &e;
    return nullptr;
}

struct OursResult {
    double ms = -1;       // median ms of Process; negative when the effect is not built
    double heapKiB = 0;  // peak heap of the object over creation and two frames
};

OursResult Ours(const Row& row, int w, int h, int bpp, double budget) {
    const vx::EffectEntry* e = FindEffect(row.identifier);
    if (!e || !e->create) return {};
    const size_t heapBefore = vx::bench::HeapLive();
    vx::bench::HeapResetPeak();
    EffectInstance inst(e->create());
    inst.DefineParameters();
    std::string error;
    for (const auto& [name, value] : row.settings)
        if (!inst.SetValue(name, value, &error)) std::fprintf(stderr, "%s\n", error.c_str());
    if (std::string(row.label) == "video") vx::bench::UseGeneratedVideo(inst);
    inst.context().duration = {100, 25, 1};
    inst.context().SetFrame(37);
    // Effects that take other frames of the clip get a clip of twelve frames
    // (the trail reaches ten back at most), rendered at its last frame.
    const int frames = inst.AttachClip() == vx::kOk ? 12 : 2;
    const size_t framesBefore = vx::bench::HeapLive();
    std::vector<Frame> inputs;
    inputs.reserve(size_t(frames));
    for (int i = 0; i < frames; ++i) {
        inputs.emplace_back(FrameFormat{w, h, bpp});
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w * bpp / 8; ++x) inputs[i].Row(y)[x] = uint8_t(x * 7 + y * 13 + i);
        inst.clip().frames.insert(inst.clip().frames.begin(), &inputs[i]);  // inputs[0] last
    }
    inst.clip().current = frames - 1;
    // The frames are the host's, not the object's.
    const size_t framesBytes = vx::bench::HeapLive() - framesBefore;
    Frame* out = nullptr;
    if (inst.Render({&inputs[0], &inputs[1]}, &out) != vx::kOk) return {};
    inst.ProcessAgain();
    size_t heap = vx::bench::HeapPeak() - heapBefore - framesBytes;
    if (out != &inputs[0] && out != &inputs[1]) heap -= std::min(heap, out->Storage().size());
    OursResult result;
    result.heapKiB = double(heap) / 1024;
    result.ms = MedianMs([&] { inst.ProcessAgain(); }, budget);
    return result;
}

// Frames per second of the command-line host's batch rendering of a 1080p
// clip, one effect object per worker.
double BatchFramesPerSecond(const Row& row, int workers) {
    std::vector<vx::host::BatchRenderer::Setting> settings;
    for (const auto& [name, value] : row.settings) settings.emplace_back(name, value);
    vx::host::BatchRenderer renderer(row.identifier, settings, workers, {64, 25, 1});
    Frame picture(FrameFormat{1920, 1080, 32});
    for (int y = 0; y < 1080; ++y)
        for (int x = 0; x < 1920 * 4; ++x) picture.Row(y)[x] = uint8_t(x * 7 + y * 13);
    double best = 0;
    for (int round = 0; round < 3; ++round) {
        std::vector<Frame> frames(16, picture);
        const auto t0 = Clock::now();
        renderer.Render(round * 16, frames);
        const double s = std::chrono::duration<double>(Clock::now() - t0).count();
        best = std::max(best, 16 / s);
    }
    return best;
}

void PrintBatchSpeedUp() {
    const Row& row = *std::find_if(kRows.begin(), kRows.end(), [](const Row& r) {
        return std::strcmp(r.identifier, "VXETransform") == 0 && std::strcmp(r.label, "bilinear") == 0;
    });
    const int cores = int(std::max(1u, std::thread::hardware_concurrency()));
    const double one = BatchFramesPerSecond(row, 1);
    const double all = BatchFramesPerSecond(row, cores);
    std::printf("\nframe-parallel rendering (vexfx video), %s %s at 1920x1080:\n", row.identifier,
                row.label);
    std::printf("  1 worker: %.1f frames/s; %d workers: %.1f frames/s; speed-up %.2f\n", one, cores,
                all, all / one);
}

double CopyMs(int w, int h, double budget) {
    std::vector<uint8_t> a(size_t(w) * h * 4, 1), b(a.size());
    return MedianMs([&] { std::memcpy(b.data(), a.data(), a.size()); }, budget);
}

}  // namespace

int main(int argc, char** argv) {
    double budget = 0.6;
    std::string only;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--quick") == 0) budget = 0.15;
        else if (std::strcmp(argv[i], "--only") == 0 && i + 1 < argc) only = argv[++i];
    }
    av_log_set_level(AV_LOG_ERROR);
    const std::pair<int, int> sizes[] = {{720, 480}, {1920, 1080}};
    std::printf("%-18s %-16s %-9s %9s %9s %9s %7s %9s\n", "effect", "parameters", "size", "ours",
                "ours-24", "peer", "ratio", "heap KiB");
    for (auto [w, h] : sizes)
        std::printf("%-18s %-16s %4dx%-4d %9.3f %9s %9s %7s\n", "(frame copy)", "memcpy", w, h,
                    CopyMs(w, h, budget), "", "", "");
    for (const Row& row : kRows) {
        if (!only.empty() && only != row.identifier) continue;
        for (auto [w, h] : sizes) {
            const OursResult result = Ours(row, w, h, 32, budget);
            const double ours = result.ms;
            char size[16];
            std::snprintf(size, sizeof size, "%dx%d", w, h);
            if (ours < 0) {
                std::printf("%-18s %-16s %-9s %9s\n", row.identifier, row.label, size, "not built");
                continue;
            }
            const double ours24 = Ours(row, w, h, 24, budget).ms;
            std::string error;
            const double peer = PeerMs(row.peer, w, h, budget, &error);
            if (peer < 0)
                std::printf("%-18s %-16s %-9s %9.3f %9.3f %9s %7s %9.1f  (peer: %s)\n",
                            row.identifier, row.label, size, ours, ours24, "n/a", "", result.heapKiB,
                            error.c_str());
            else
                std::printf("%-18s %-16s %-9s %9.3f %9.3f %9.3f %7.2f %9.1f\n", row.identifier,
                            row.label, size, ours, ours24, peer, ours / peer, result.heapKiB);
        }
        std::fflush(stdout);
    }
    if (only.empty()) PrintBatchSpeedUp();
    return 0;
}
