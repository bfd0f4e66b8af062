#include "tests/test_frames.h"

#include <algorithm>
#include <cstdio>

#include "tests/expected_effects.h"

namespace vx::test {

const Layout kLayouts[6] = {
    {"bgra", 32, 0, false, 0},
    {"bgr", 24, 0, false, 0},
    {"bgra-bottom-up", 32, 0, true, 0},
    {"bgr-padded", 24, 0, false, 5},
    {"bgr-bottom-up-padded", 24, 0, true, 3},
    {"uyvy", 16, 1, false, 0},
};

void PaintTestPicture(host::Frame& frame, uint32_t seed) {
    const auto& f = frame.Format();
    const int32_t bpp = frame.BytesPerPixel();
    uint32_t state = seed * 2654435761u + 1;
    static const uint8_t bars[8][3] = {{255, 255, 255}, {0, 255, 255}, {255, 255, 0}, {0, 255, 0},
                                       {255, 0, 255},   {0, 0, 255},   {255, 0, 0},   {0, 0, 0}};
    for (int32_t y = 0; y < f.height; ++y) {
        uint8_t* row = frame.Row(y);
        for (int32_t x = 0; x < f.width; ++x) {
            state = state * 1103515245u + 12345u;
            const uint8_t noise = uint8_t(state >> 24) & 15;
            uint8_t* p = row + x * bpp;
            const int bar = f.width ? (x * 8 / f.width) : 0;
            const uint8_t ramp = uint8_t((x + 2 * y) & 255);
            for (int c = 0; c < bpp; ++c) {
                uint8_t v = c < 3 ? uint8_t((y < f.height / 2 ? bars[bar][c] : ramp) ^ noise)
                                  : uint8_t((x * 7 + y * 3) & 255);
                p[c] = v;
            }
        }
    }
}

void ShiftPicture(host::Frame& frame, int32_t pixels) {
    const int32_t width = frame.Format().width;
    if (width <= 0) return;
    const size_t bpp = size_t(frame.BytesPerPixel());
    const size_t by = size_t(((pixels % width) + width) % width) * bpp;
    for (int32_t y = 0; y < frame.Format().height; ++y) {
        uint8_t* row = frame.Row(y);
        std::rotate(row, row + size_t(width) * bpp - by, row + size_t(width) * bpp);
    }
}

uint64_t PictureHash(const host::Frame& frame) {
    uint64_t h = 1469598103934665603ull;
    for (uint8_t b : frame.Pixels()) {
        h ^= b;
        h *= 1099511628211ull;
    }
    return h;
}

std::string Hex64(uint64_t v) {
    char buf[24];
    std::snprintf(buf, sizeof buf, "%016llx", static_cast<unsigned long long>(v));
    return buf;
}

bool PaddingUntouched(host::Frame& frame) {
    const auto& f = frame.Format();
    const size_t rowBytes = size_t(f.width) * size_t(frame.BytesPerPixel());
    auto& s = frame.Storage();
    for (int32_t y = 0; y < f.height; ++y)
        for (size_t i = rowBytes; i < size_t(frame.Pitch()); ++i)
            if (s[size_t(y) * size_t(frame.Pitch()) + i] != 0xCD) return false;
    return s.back() == 0xCD;
}

Guid ClassIdOf(const std::string& identifier) {
    for (const auto& e : kExpectedEffects)
        if (identifier == e.identifier) return e.classId;
    return Guid{};
}

}  // namespace vx::test

#include <gtest/gtest.h>

namespace vx::test {

EffectRun::EffectRun(const host::EffectLibrary& library, const std::string& identifier)
    : instance_(library.CreateEffect(ClassIdOf(identifier))) {
    if (instance_.effect()) {
        EXPECT_EQ(instance_.DefineParameters(), kOk);
    }
}

EffectRun& EffectRun::Set(const std::string& name, const std::string& value) {
    std::string error;
    EXPECT_TRUE(instance_.SetValue(name, value, &error)) << error;
    return *this;
}

host::Frame* EffectRun::Render(host::Frame& input) {
    host::Frame* out = nullptr;
    Status st = instance_.Render({&input}, &out);
    EXPECT_EQ(st, kOk);
    return st == kOk ? out : nullptr;
}

}  // namespace vx::test

namespace vx::test {

void ExpectSameAsFreshInstances(const host::EffectLibrary& library, const std::string& identifier,
                                const std::vector<RenderStep>& steps) {
    EffectRun kept(library, identifier);
    for (size_t i = 0; i < steps.size(); ++i) {
        SCOPED_TRACE(identifier + " step " + std::to_string(i));
        EffectRun fresh(library, identifier);
        auto apply = [](EffectRun& run, const std::string& name, const std::string& value) {
            if (name == "@frame")
                run.instance().context().SetFrame(std::stoi(value));
            else
                run.Set(name, value);
        };
        for (size_t k = 0; k <= i; ++k)
            for (const auto& [name, value] : steps[k].settings)
                apply(fresh, name, value);
        for (const auto& [name, value] : steps[i].settings)
            apply(kept, name, value);
        // Two copies of the input: effects that work in place change theirs.
        host::Frame in(steps[i].format), again(steps[i].format);
        PaintTestPicture(in, uint32_t(i + 3));
        PaintTestPicture(again, uint32_t(i + 3));
        host::Frame* a = kept.Render(in);
        ASSERT_NE(a, nullptr);
        const std::vector<uint8_t> first = a->Pixels();
        host::Frame* b = fresh.Render(again);
        ASSERT_NE(b, nullptr);
        EXPECT_EQ(first, b->Pixels());
    }
}

void ExpectOddFramesStayInside(EffectRun& run, const std::string& what) {
    for (auto fmt :
         {host::FrameFormat{1, 1, 32}, host::FrameFormat{2, 1, 24},
          host::FrameFormat{7, 3, 24, 0, true, 2}, host::FrameFormat{6, 5, 16, 2, false, 3},
          host::FrameFormat{5, 4, 32, 0, true, 1}}) {
        host::Frame in(fmt);
        PaintTestPicture(in);
        host::Frame* out = run.Render(in);
        ASSERT_NE(out, nullptr) << what;
        ASSERT_TRUE(PaddingUntouched(*out)) << what;
    }
}

}  // namespace vx::test
