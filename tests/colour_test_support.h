// Helpers for the colour and keying effect tests: the declarations an effect
// must make, and pixel access on stand-in frames.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/host_abi.h"
#include "host/standin_host.h"
#include "tests/test_frames.h"

namespace vx::test {

// One parameter as the host must see it.  Choices list their entries; the
// other kinds give default, step and limits (sliders span the limits).
struct ExpectedParam {
    int32_t kind;
    const char* name;
    double def;
    double step = 0, min = 0, max = 0;
    std::vector<const char*> choices = {};
};

inline void ExpectDeclarations(host::ParameterSet& set, const std::vector<ExpectedParam>& rows) {
    ASSERT_EQ(set.Declared().size(), rows.size());
    for (size_t i = 0; i < rows.size(); ++i) {
        const host::ParameterRecord& got = *set.Declared()[i];
        const ExpectedParam& want = rows[i];
        SCOPED_TRACE(want.name);
        EXPECT_EQ(got.index, int32_t(i));
        EXPECT_EQ(host::Narrow(got.name.c_str()), want.name);
        ASSERT_EQ(got.kind, want.kind);
        switch (want.kind) {
            case kKindReal:
                EXPECT_EQ(got.real, want.def);
                EXPECT_EQ(got.realDefault, want.def);
                break;
            case kKindInteger:
                EXPECT_EQ(got.integer, int32_t(want.def));
                EXPECT_EQ(got.integerDefault, int32_t(want.def));
                break;
            case kKindBoolean:
                EXPECT_EQ(got.boolean, uint8_t(want.def));
                EXPECT_EQ(got.booleanDefault, uint8_t(want.def));
                break;
            case kKindChoice:
                EXPECT_EQ(got.integer, int32_t(want.def));
                ASSERT_EQ(got.choiceCount, int32_t(want.choices.size()));
                for (size_t k = 0; k < want.choices.size(); ++k)
                    EXPECT_EQ(host::Narrow(got.choiceNames.at(int32_t(k)).c_str()),
                              want.choices[k]);
                break;
        }
        if (want.kind == kKindReal || want.kind == kKindInteger) {
            EXPECT_EQ(got.step, want.step);
            EXPECT_EQ(got.min, want.min);
            EXPECT_EQ(got.max, want.max);
            EXPECT_EQ(got.sliderMin, want.min);
            EXPECT_EQ(got.sliderMax, want.max);
        }
    }
    EXPECT_EQ(set.Outstanding(), 0);
}

// Pixel bytes in memory order (blue, green, red[, alpha]).
inline std::vector<uint8_t> Px(host::Frame& f, int x, int y) {
    const int n = f.BytesPerPixel();
    return {f.Row(y) + n * x, f.Row(y) + n * x + n};
}
inline void SetPx(host::Frame& f, int x, int y, std::vector<uint8_t> bytes) {
    std::copy(bytes.begin(), bytes.end(), f.Row(y) + f.BytesPerPixel() * x);
}

// The hostile frames every effect must survive: the smallest, odd-sized,
// bottom-up and padded, packed 4:2:2.
inline std::vector<host::FrameFormat> HostileFormats() {
    return {host::FrameFormat{1, 1, 32},
            host::FrameFormat{1, 1, 24},
            host::FrameFormat{7, 3, 24, 0, true, 2},
            host::FrameFormat{5, 9, 32, 0, true, 3},
            host::FrameFormat{6, 5, 16, 2},
            host::FrameFormat{3, 2, 16, 1, false, 1}};
}

// Renders the test picture in every hostile format: the padding must stay
// untouched, and packed 4:2:2 frames, which the colour keys and glows leave
// alone, must come out as they went in.  `note` names the settings.
inline void RenderHostileFormats(EffectRun& run, const std::string& note) {
    for (const auto& fmt : HostileFormats()) {
        host::Frame in(fmt);
        PaintTestPicture(in);
        const std::vector<uint8_t> before = in.Pixels();
        host::Frame* out = run.Render(in);
        ASSERT_NE(out, nullptr) << note;
        EXPECT_TRUE(PaddingUntouched(*out)) << note;
        if (fmt.bitsPerPixel == 16) {
            EXPECT_EQ(out->Pixels(), before) << note;
        }
    }
}

}  // namespace vx::test
