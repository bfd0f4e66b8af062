// Milliseconds per frame of each effect's Process, one thread, through the
// stand-in host.  Run: build/native/bench/vex_bench
#include <benchmark/benchmark.h>

#include <string>
#include <vector>

#include "bench/background_video.h"
#include "host/standin_host.h"

namespace {

using vx::host::EffectInstance;
using vx::host::EffectLibrary;
using vx::host::Frame;
using vx::host::FrameFormat;

struct Scenario {
    const char* identifier;
    const char* label;
    std::vector<std::pair<const char*, const char*>> settings;
};

const Scenario kScenarios[] = {
    {"VXEBackground", "video", {}},
    {"VXEBackground", "mix-only", {}},
    {"VXEColorAdjust", "defaults", {}},
    {"VXEColorAdjust", "all", {{"Contrast", "140"}, {"Color intensity", "130"}, {"Gamma red", "0.7"},
                               {"Gamma green", "1.3"}, {"Gamma blue", "2"}}},
    {"VXETransform", "none", {{"1. effect", "rotate"}, {"1. amount", "17"}, {"interpolate", "none"}}},
    {"VXETransform", "bilinear", {{"1. effect", "rotate"}, {"1. amount", "17"}, {"interpolate", "bilinear"}}},
    {"VXETransform", "bicubic-sharp", {{"1. effect", "rotate"}, {"1. amount", "17"}, {"interpolate", "bicubic (sharp)"}}},
    {"VXETransform", "bicubic-soft", {{"1. effect", "rotate"}, {"1. amount", "17"}, {"interpolate", "bicubic (soft)"}}},
    {"VXETransform", "bicubic-exact", {{"1. effect", "rotate"}, {"1. amount", "17"}, {"interpolate", "bicubic (more exact)"}}},
    {"VXEColorChange", "recolour", {{"Color red", "120"}, {"Color green", "90"}, {"Color range", "200"}, {"Border", "60"}, {"Change color", "change color"}, {"New color blue", "200"}}},
    {"VXEColorChange", "transparent", {{"Color red", "120"}, {"Color range", "300"}, {"Change color", "make transparent"}}},
    {"VXEColorCorrect", "defaults", {}},
    {"VXEColorCorrect", "levels+gamma", {{"Minimum red", "16"}, {"Maximum red", "200"}, {"Gamma red", "0.8"}, {"Minimum green", "30"}, {"Gamma blue", "2.2"}}},
    {"VXEColorChange2", "recolour", {{"Color red", "120"}, {"Color green", "90"}, {"Hue range", "40"}, {"Saturation range", "0.5"}, {"Value range", "0.5"}, {"modify color", "change color"}, {"New color blue", "200"}}},
    {"VXEColorChange2", "smooth", {{"Color red", "120"}, {"Hue range", "40"}, {"Saturation range", "0.5"}, {"Value range", "0.5"}, {"Smooth", "true"}, {"modify color", "make transparent"}}},
    {"VXEColorGlow", "defaults", {}},
    {"VXEColorGlow", "wide-glow-margins", {{"Color red", "120"}, {"Color range", "250"}, {"Glow range", "20"}, {"New color green", "255"}, {"Glow intensity", "50"}, {"Left Margin", "10"}, {"Top Margin", "10"}}},
    {"VXETransparency", "box", {{"Type", "box"}, {"Value", "60"}, {"Border", "10"}}},
    {"VXETransparency", "holes", {{"Type", "holes"}, {"Value", "60"}, {"Border", "5"}}},
    {"VXETransparency", "confetti", {{"Type", "confetti"}, {"Value", "60"}, {"Border", "1"}}},
    {"VXETransparency", "random", {{"Type", "random"}, {"Value", "50"}}},
    {"VXETVInterference", "defaults", {}},
    {"VXETVInterference", "blocks100", {{"Value", "70"}, {"Blocksize", "100"}}},
    {"VXETransform2", "bilinear", {{"1. effect", "rotate"}, {"1. amount", "17"}, {"4.-6. valid", "beginning"}, {"4. effect", "zoom"}, {"4. amount", "20"}}},
    {"VXESpiral", "defaults", {}},
    {"VXEDeInterlace", "odd-rows", {}},
    {"VXECut", "lifted", {{"Width", "40"}, {"Height", "40"}, {"Brightness", "20"}, {"Border", "3"}}},
    {"VXEGear", "defaults", {}},
    {"VXELighthouse", "four-beams", {{"Angle 2", "90"}, {"Angle 3", "180"}, {"Angle 4", "270"}}},
    {"VXEFilter", "soften-little", {{"Filter type", "soften (a little)"}}},
    {"VXEFilter", "soften-medium", {{"Filter type", "soften (medium)"}}},
    {"VXEFilter", "soften-lot", {{"Filter type", "soften (a lot)"}}},
    {"VXEFilter", "sharpen-medium", {{"Filter type", "sharpen (medium)"}}},
    {"VXEFilter", "emboss-amount60", {{"Filter type", "emboss"}, {"Amount", "60"}}},
    {"VXEZoom", "factor2", {{"Zoom factor", "2"}, {"Left margin", "10"}}},
    {"VXEZoom2", "margins", {{"Left margin", "12"}, {"Right margin", "7"}, {"Top margin", "20"}}},
    {"VXEZoomAndMove", "zoom1.7", {{"Zoom (start)", "1.7"}, {"Left margin (start)", "13"}}},
    {"VXEMirror", "left", {{"Mirror type", "left"}}},
    {"VXEMirror", "all", {{"Mirror type", "all"}}},
    {"VXEKaleidoscope", "defaults", {}},
    {"VXEKaleidoscope", "circular", {{"Segments", "8"}, {"Circular", "true"}}},
    {"VXELens", "ellipse", {{"Width", "60"}, {"Height", "50"}, {"Zoom", "40"}}},
    {"VXELens", "linear-rect", {{"Width", "60"}, {"Height", "50"}, {"Type", "Linear"}, {"Form", "Rectangle"}}},
    {"VXEWaves", "sine", {}},
    {"VXEWaves", "random-vertical", {{"Type", "random"}, {"Direction", "vertical"}}},
    {"VXEraser", "erase", {{"Preview border", "false"}, {"Left Border", "10"}, {"Top Border", "10"}, {"Width", "30"}, {"Bottom Border", "30"}}},
    {"VXEraser", "preview", {}},
    {"VXEGhost", "one-ghost", {}},
    {"VXEGhost", "ten-ghosts", {{"No. of Ghosts", "10"}, {"Space", "1"}, {"Visibility of ghosts", "60"}}},
};

const EffectLibrary& Library() {
    static EffectLibrary lib = EffectLibrary::Linked();
    return lib;
}

vx::Guid ClassIdByName(const char* identifier) {
    vx::host::Registrar reg;
    // Registration needs descriptor files; the table order is enough here.
    static const std::pair<const char*, vx::Guid> ids[] = {
        {"VXEBackground", vx::GuidFromString("{DFC1C1B1-CFA9-4B02-8BDA-9090BE0B3E13}")},
        {"VXEColorAdjust", vx::GuidFromString("{01A752F2-A3F1-4675-86E6-23E3DFD23E1F}")},
        {"VXETransform", vx::GuidFromString("{471AB449-8629-4579-B10F-7AA39E65E7B2}")},
        {"VXEraser", vx::GuidFromString("{F635B663-7646-4270-A40A-CFCE734E11A4}")},
        {"VXEColorChange", vx::GuidFromString("{DC60D6E9-8B0C-4865-9850-03F97F7AAC83}")},
        {"VXEColorCorrect", vx::GuidFromString("{8DBF51A9-B93B-43A7-AB9D-1EB82458284C}")},
        {"VXEColorChange2", vx::GuidFromString("{70CB7458-A663-4562-915D-965A79B9C57E}")},
        {"VXEColorGlow", vx::GuidFromString("{A72A1A00-B837-4C6E-8F99-7B12695AA22D}")},
        {"VXETransparency", vx::GuidFromString("{79C5355B-EB9C-43A5-BFC3-8C2693F20429}")},
        {"VXETVInterference", vx::GuidFromString("{F82C7F6D-191C-4D46-B1A1-782966B84D2E}")},
        {"VXETransform2", vx::GuidFromString("{0580CF13-0A2D-4D42-9130-04DAECAC809C}")},
        {"VXESpiral", vx::GuidFromString("{0C2C5549-0805-40B7-B997-1726F3F14E2C}")},
        {"VXEDeInterlace", vx::GuidFromString("{52810FEB-0FC8-4694-BD2E-5709AA80C021}")},
        {"VXECut", vx::GuidFromString("{2B92DEA0-C68F-433D-A7FD-46B0DECBE0D8}")},
        {"VXEGear", vx::GuidFromString("{EB800722-6D0D-4E10-81D0-95875DC6713B}")},
        {"VXELighthouse", vx::GuidFromString("{AB2C52A4-88FB-4DAB-9D36-61EADC7D5341}")},
        {"VXEFilter", vx::GuidFromString("{966A73E0-4F60-4036-8321-D8147DB946A4}")},
        {"VXEZoom", vx::GuidFromString("{5A18F1F7-3126-407B-A58A-43A003BD2EDE}")},
        {"VXEZoom2", vx::GuidFromString("{B1A774DE-C2AD-4F83-8570-9618FD75FA53}")},
        {"VXEZoomAndMove", vx::GuidFromString("{F8CC5DB0-DF21-4936-A13D-1FF343AF5899}")},
        {"VXEMirror", vx::GuidFromString("{AA483CFD-937F-4E7C-A6AC-347F540A917B}")},
        {"VXEKaleidoscope", vx::GuidFromString("{27F6A4A7-FD63-4D23-BBFB-D6ACA2DDCFEB}")},
        {"VXELens", vx::GuidFromString("{1186D018-C6EE-44D4-B7B0-99B6333F61F3}")},
        {"VXEWaves", vx::GuidFromString("{EE72F9FA-A492-4587-B379-F01C0AEE4231}")},
        {"VXEGhost", vx::GuidFromString("{34480515-7E96-459D-9EDD-F2B7E0764C8A}")},
    };
    for (const auto& [name, id] : ids)
        if (std::string(name) == identifier) return id;
    return {};
}

void RunEffect(benchmark::State& state, const Scenario* s, int width, int height, int bpp) {
    EffectInstance inst(Library().CreateEffect(ClassIdByName(s->identifier)));
    if (!inst.effect()) {
        state.SkipWithError("effect not built");
        return;
    }
    inst.DefineParameters();
    std::string error;
    for (const auto& [name, value] : s->settings) inst.SetValue(name, value, &error);
    if (std::string(s->label) == "video") vx::bench::UseGeneratedVideo(inst);
    // The clip: the frame rendered last, eleven earlier ones for effects that
    // take other frames of it.
    const int frames = inst.AttachClip() == vx::kOk ? 12 : 1;
    std::vector<Frame> clip;
    clip.reserve(frames);
    for (int i = 0; i < frames; ++i) {
        clip.emplace_back(FrameFormat{width, height, bpp});
        for (int y = 0; y < height; ++y)
            for (int x = 0; x < width * bpp / 8; ++x) clip[i].Row(y)[x] = uint8_t(x * 7 + y * 13 + i);
        inst.clip().frames.push_back(&clip[i]);
    }
    inst.clip().current = frames - 1;
    Frame* out = nullptr;
    inst.Render({&clip.back()}, &out);
    for (auto _ : state) benchmark::DoNotOptimize(inst.ProcessAgain());
}

int Register() {
    const std::pair<int, int> sizes[] = {{720, 480}, {1920, 1080}};
    for (const Scenario& s : kScenarios)
        for (auto [w, h] : sizes)
            for (int bpp : {32, 24}) {
                std::string name = std::string(s.identifier) + "/" + s.label + "/" +
                                   std::to_string(w) + "x" + std::to_string(h) +
                                   (bpp == 32 ? "/bgra" : "/bgr");
                benchmark::RegisterBenchmark(name.c_str(), RunEffect, &s, w, h, bpp)
                    ->Unit(benchmark::kMillisecond)
                    ->MinTime(0.2);
            }
    return 0;
}
const int registered = Register();

}  // namespace

BENCHMARK_MAIN();
