// vexfx: lists the effects of the pack, shows their parameters and renders
// one picture or a whole video through an effect, using the stand-in host.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "core/library.h"
#include "effects/colour/background.h"
#include "host/batch_render.h"
#include "host/standin_host.h"
#include "host/vexfx/picture_io.h"
#include "host/vexfx/video_io.h"
#include "platform/platform.h"
#include "platform/video_file.h"

namespace vx::vexfx {
namespace {

constexpr int kUsageError = 2;
constexpr int kFailure = 1;

constexpr const char* kUsage =
    "usage: vexfx list\n"
    "       vexfx params EFFECT\n"
    "       vexfx render EFFECT IN.png|IN.jpg OUT.png [--set \"NAME=VALUE\"]... [--bpp 24|32]"
    " [--progress P]\n"
    "                     [--frames EARLIER.png...]   (the clip before IN, oldest first)\n"
    "             [--video FILE] [--video-offset 0..100]   (VXEBackground)\n"
    "       vexfx video EFFECT IN.video OUT.video [--set \"NAME=VALUE\"]... [--bpp 24|32]"
    " [--jobs N]\n";

// A failure with the exit status it ends the program with.
struct Failure {
    int status;
    std::string message;
};

int Report(const Failure& f) {
    std::fprintf(stderr, "vexfx: %s\n", f.message.c_str());
    if (f.status == kUsageError) std::fputs(kUsage, stderr);
    return f.status;
}

const char* KindName(int32_t kind) {
    switch (kind) {
        case kKindReal:
            return "real";
        case kKindString:
            return "string";
        case kKindData:
            return "data";
        case kKindChoice:
            return "choice";
        case kKindBoolean:
            return "boolean";
        case kKindInteger:
            return "integer";
        default:
            return "unknown";
    }
}

std::string Number(double v) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "%g", v);
    return buf;
}

const EffectEntry* FindEffect(const std::string& identifier) {
    for (const EffectEntry& e : EffectTable())
        if (identifier == e.identifier) return &e;
    return nullptr;
}

// The effect, created and with its parameters declared; throws a Failure.
struct LoadedEffect {
    host::EffectLibrary library = host::EffectLibrary::Linked();
    std::optional<host::EffectInstance> instance;

    explicit LoadedEffect(const std::string& identifier) {
        const EffectEntry* entry = FindEffect(identifier);
        if (!entry)
            throw Failure{kFailure, "unknown effect \"" + identifier + "\" (see vexfx list)"};
        EffectInterface* effect = library.CreateEffect(entry->classId);
        if (!effect) throw Failure{kFailure, "effect \"" + identifier + "\" is not built yet"};
        instance.emplace(effect);
        if (instance->DefineParameters() != kOk)
            throw Failure{kFailure,
                          "effect \"" + identifier + "\" failed to declare its parameters"};
    }
};

int List() {
    for (const EffectEntry& e : EffectTable()) {
        std::printf("%-24s %s%s\n", e.identifier, host::Narrow(e.displayName).c_str(),
                    e.create ? "" : " (not built)");
    }
    return 0;
}

std::string DefaultText(const host::ParameterRecord& r) {
    switch (r.kind) {
        case kKindReal:
            return Number(r.realDefault);
        case kKindInteger:
            return std::to_string(r.integerDefault);
        case kKindBoolean:
            return r.booleanDefault ? "true" : "false";
        case kKindChoice: {
            auto it = r.choiceNames.find(r.integerDefault);
            return it == r.choiceNames.end() ? std::to_string(r.integerDefault)
                                             : host::Narrow(it->second.c_str());
        }
        case kKindString:
            return "\"" + host::Narrow(r.text.c_str()) + "\"";
        default:
            return "-";
    }
}

std::string RangeText(const host::ParameterRecord& r) {
    if (r.kind != kKindReal && r.kind != kKindInteger) return "";
    std::string s = "range " + Number(r.min) + ".." + Number(r.max);
    if (r.sliderMin != r.min || r.sliderMax != r.max)
        s += ", slider " + Number(r.sliderMin) + ".." + Number(r.sliderMax);
    if (r.step != 0) s += ", step " + Number(r.step);
    return s;
}

std::string ChoicesText(const host::ParameterRecord& r) {
    std::string s;
    for (const auto& [i, name] : r.choiceNames)
        s += (s.empty() ? "choices " : ", ") + std::to_string(i) + "=" + host::Narrow(name.c_str());
    return s;
}

int Params(const std::string& identifier) {
    LoadedEffect loaded(identifier);
    for (const host::ParameterRecord* r : loaded.instance->params().Declared()) {
        std::string line = std::to_string(r->index) + "\t" + host::Narrow(r->name.c_str()) + "\t" +
                           KindName(r->kind) + "\tdefault " + DefaultText(*r);
        for (const std::string& extra : {RangeText(*r), ChoicesText(*r)})
            if (!extra.empty()) line += "\t" + extra;
        std::printf("%s\n", line.c_str());
    }
    return 0;
}

// The stand-in host parses any number strtod accepts; the editor only ever
// delivers finite values inside the declared range and existing choices, so
// anything else is refused here before the effect sees it.
void CheckValue(const host::ParameterRecord& r, const std::string& name, const std::string& text) {
    const std::string bad = "value \"" + text + "\" does not fit parameter \"" + name + "\"";
    switch (r.kind) {
        case kKindReal:
            if (!std::isfinite(r.real) || (r.min < r.max && (r.real < r.min || r.real > r.max)))
                throw Failure{kFailure,
                              bad + " (range " + Number(r.min) + ".." + Number(r.max) + ")"};
            break;
        case kKindInteger:
            if (r.min < r.max && (r.integer < r.min || r.integer > r.max))
                throw Failure{kFailure,
                              bad + " (range " + Number(r.min) + ".." + Number(r.max) + ")"};
            break;
        case kKindChoice:
            if (!r.choiceNames.count(r.integer) && (r.integer < 0 || r.integer >= r.choiceCount))
                throw Failure{kFailure, bad + " (" + ChoicesText(r) + ")"};
            break;
        default:
            break;
    }
}

void SetParameter(host::EffectInstance& instance, const std::string& assignment) {
    const size_t eq = assignment.find('=');
    if (eq == std::string::npos)
        throw Failure{kUsageError, "--set needs NAME=VALUE, got \"" + assignment + "\""};
    const std::string name = assignment.substr(0, eq), text = assignment.substr(eq + 1);
    std::string error;
    if (!instance.SetValue(name, text, &error)) throw Failure{kFailure, error};
    CheckValue(*instance.params().ByName(name), name, text);
}

struct RenderOptions {
    std::string effect, input, output;
    std::vector<std::string> assignments;
    std::vector<std::string> earlierFrames;  // the clip before the input, oldest first
    int32_t bitsPerPixel = 32;
    double progress = 0;
    int jobs = 0;  // video: worker threads, 0 for one per core
    std::optional<std::string> video;
    std::optional<int32_t> videoOffset;
};

// The Background's file and time offset live in its settings block, which
// the editor fills through the effect's own dialog; here they are options.
void SetBackgroundBlock(host::EffectInstance& instance, const RenderOptions& o) {
    if (!o.video && !o.videoOffset) return;
    host::ParameterRecord* r = instance.params().ByName("VXEBackground-Parm");
    if (!r) throw Failure{kUsageError, "--video and --video-offset are for VXEBackground"};
    BackgroundSettings settings = TakeBackgroundBlock(r->data.data(), uint32_t(r->data.size()));
    if (o.video) SetBackgroundFileName(settings, platform::WideFromNarrow(o.video->c_str()));
    if (o.videoOffset) settings.timeOffset = *o.videoOffset;
    const auto* bytes = reinterpret_cast<const uint8_t*>(&settings);
    r->data.assign(bytes, bytes + sizeof settings);
}

RenderOptions ParseRenderOptions(int argc, char** argv) {
    RenderOptions o;
    std::vector<std::string> positional;
    for (int i = 2; i < argc; ++i) {
        const std::string arg = argv[i];
        auto value = [&]() -> std::string {
            if (i + 1 >= argc) throw Failure{kUsageError, arg + " needs a value"};
            return argv[++i];
        };
        if (arg == "--set") {
            o.assignments.push_back(value());
        } else if (arg == "--bpp") {
            const std::string v = value();
            if (v != "24" && v != "32") throw Failure{kUsageError, "--bpp must be 24 or 32"};
            o.bitsPerPixel = std::atoi(v.c_str());
        } else if (arg == "--progress") {
            const std::string v = value();
            char* end = nullptr;
            o.progress = std::strtod(v.c_str(), &end);
            if (v.empty() || *end || !(o.progress >= 0 && o.progress <= 1))
                throw Failure{kUsageError, "--progress must be a number from 0 to 1"};
        } else if (arg == "--frames") {
            const size_t before = o.earlierFrames.size();
            while (i + 1 < argc && !std::string(argv[i + 1]).starts_with("--"))
                o.earlierFrames.push_back(argv[++i]);
            if (o.earlierFrames.size() == before)
                throw Failure{kUsageError, "--frames needs at least one picture"};
        } else if (arg == "--jobs") {
            const std::string v = value();
            char* end = nullptr;
            const long jobs = std::strtol(v.c_str(), &end, 10);
            if (v.empty() || *end || jobs < 1 || jobs > 256)
                throw Failure{kUsageError, "--jobs must be a number from 1 to 256"};
            o.jobs = int(jobs);
        } else if (arg == "--video") {
            o.video = value();
        } else if (arg == "--video-offset") {
            const std::string v = value();
            char* end = nullptr;
            const long offset = std::strtol(v.c_str(), &end, 10);
            if (v.empty() || *end || offset < 0 || offset > 100)
                throw Failure{kUsageError, "--video-offset must be a whole number from 0 to 100"};
            o.videoOffset = int32_t(offset);
        } else if (arg.starts_with("--")) {
            throw Failure{kUsageError, "unknown option " + arg};
        } else {
            positional.push_back(arg);
        }
    }
    if (positional.size() != 3) throw Failure{kUsageError, "render needs EFFECT IN OUT"};
    o.effect = positional[0];
    o.input = positional[1];
    o.output = positional[2];
    return o;
}

host::Frame FrameFromPicture(const Picture& picture, int32_t bitsPerPixel) {
    host::Frame frame(host::FrameFormat{picture.width, picture.height, bitsPerPixel});
    const size_t bytes = size_t(bitsPerPixel / 8);
    std::vector<uint8_t> rows;
    rows.reserve(picture.bgra.size());
    for (size_t i = 0; i < picture.bgra.size(); i += 4)
        rows.insert(rows.end(), &picture.bgra[i], &picture.bgra[i] + bytes);
    frame.SetPixels(rows);
    return frame;
}

Picture PictureFromFrame(const host::Frame& frame) {
    Picture picture{frame.Format().width, frame.Format().height, {}};
    const std::vector<uint8_t> pixels = frame.Pixels();
    const size_t bytes = size_t(frame.Format().bitsPerPixel / 8);
    picture.bgra.reserve(size_t(picture.width) * size_t(picture.height) * 4);
    for (size_t i = 0; i + bytes <= pixels.size(); i += bytes) {
        picture.bgra.insert(picture.bgra.end(), &pixels[i], &pixels[i] + 3);
        picture.bgra.push_back(bytes == 4 ? pixels[i + 3] : 255);
    }
    return picture;
}

// Places the current time at the given fraction of the clip.
void SetProgress(host::RenderContext& context, double progress) {
    const int64_t units = std::llround(progress * double(context.duration.count));
    context.now = {context.start.count + units, context.start.unitsPerSecond,
                   context.start.unitsPerFrame};
}

std::vector<const std::string*> ClipPaths(const RenderOptions& o) {
    std::vector<const std::string*> paths;
    for (const std::string& p : o.earlierFrames) paths.push_back(&p);
    paths.push_back(&o.input);
    return paths;
}

int Render(int argc, char** argv) {
    const RenderOptions o = ParseRenderOptions(argc, argv);
    LoadedEffect loaded(o.effect);
    host::EffectInstance& instance = *loaded.instance;
    for (const std::string& a : o.assignments)
        SetParameter(instance, a);
    SetBackgroundBlock(instance, o);
    SetProgress(instance.context(), o.progress);
    platform::InitializeMediaThread();

    // The clip: the earlier frames, then the input as the frame rendered.
    std::vector<host::Frame> clip;
    clip.reserve(o.earlierFrames.size() + 1);
    std::string error;
    for (const std::string* path : ClipPaths(o)) {
        Picture picture;
        if (!ReadPicture(*path, &picture, &error)) throw Failure{kFailure, error};
        clip.push_back(FrameFromPicture(picture, o.bitsPerPixel));
        instance.clip().frames.push_back(&clip.back());
    }
    instance.clip().current = int32_t(clip.size() - 1);
    if (instance.AttachClip() != kOk && !o.earlierFrames.empty())
        throw Failure{kFailure, "effect \"" + o.effect + "\" renders from its input alone; "
                                "--frames does not apply"};
    host::Frame* output = nullptr;
    const Status st = instance.Render({&clip.back()}, &output);
    if (st != kOk || !output)
        throw Failure{kFailure, "effect \"" + o.effect + "\" failed to render (status " +
                                    std::to_string(st) + ")"};
    if (output->Format().pixelFormat != 0)
        throw Failure{kFailure, "effect \"" + o.effect + "\" rendered a packed 4:2:2 frame"};
    if (!WritePng(o.output, PictureFromFrame(*output), o.bitsPerPixel == 32, &error))
        throw Failure{kFailure, error};
    return 0;
}

// Renders every frame of a video: frames are decoded and encoded in order on
// this thread and rendered in batches by one effect object per worker.
int RenderVideo(int argc, char** argv) {
    const RenderOptions o = ParseRenderOptions(argc, argv);
    if (o.video || o.videoOffset)
        throw Failure{kUsageError, "--video and --video-offset apply to render only"};
    std::vector<host::BatchRenderer::Setting> settings;
    {
        LoadedEffect checked(o.effect);  // refuses unknown names and values before decoding
        for (const std::string& a : o.assignments) {
            SetParameter(*checked.instance, a);
            const size_t eq = a.find('=');
            settings.emplace_back(a.substr(0, eq), a.substr(eq + 1));
        }
    }
    try {
        VideoDecoder decoder;
        decoder.Open(o.input);
        const VideoInfo& info = decoder.Info();
        const int jobs = o.jobs ? o.jobs : int(std::max(1u, std::thread::hardware_concurrency()));
        const host::ClipTiming clip{info.frameCount > 0 ? info.frameCount : 1, info.rateNumerator,
                                    info.rateDenominator};
        host::BatchRenderer renderer(o.effect, settings, jobs, clip);
        VideoEncoder encoder;
        encoder.Open(o.output, info);

        const size_t batchSize = size_t(jobs) * 4;
        int64_t done = 0;
        for (bool more = true; more;) {
            std::vector<host::Frame> batch;
            host::Frame frame(host::FrameFormat{1, 1, o.bitsPerPixel});
            while (batch.size() < batchSize && (more = decoder.Next(o.bitsPerPixel, &frame)))
                batch.push_back(frame);
            renderer.Render(done, batch);
            for (const host::Frame& rendered : batch) encoder.Write(rendered);
            done += int64_t(batch.size());
        }
        encoder.Finish();
        std::fprintf(stderr, "vexfx: %lld frames rendered with %d workers\n", (long long)done,
                     renderer.workers());
    } catch (const std::runtime_error& e) {
        throw Failure{kFailure, e.what()};
    }
    return 0;
}

int Run(int argc, char** argv) {
    const std::string command = argc > 1 ? argv[1] : "";
    if (command == "list" && argc == 2) return List();
    if (command == "params" && argc == 3) return Params(argv[2]);
    if (command == "render") return Render(argc, argv);
    if (command == "video") return RenderVideo(argc, argv);
    if (command == "list" || command == "params")
        throw Failure{kUsageError, "wrong number of arguments for " + command};
    throw Failure{kUsageError, command.empty() ? "no command given" : "unknown command " + command};
}

}  // namespace
}  // namespace vx::vexfx

int main(int argc, char** argv) {
    try {
        return vx::vexfx::Run(argc, argv);
    } catch (const vx::vexfx::Failure& f) {
        return vx::vexfx::Report(f);
    } catch (const std::exception& e) {
        return vx::vexfx::Report({1, e.what()});
    }
}
