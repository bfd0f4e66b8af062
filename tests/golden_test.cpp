// Fixed checksums of renders, per effect, setting and pixel layout.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>

#include "tests/golden_cases.h"

namespace vx {
namespace {

// Also used by the library test, which loads the built plug-in instead.
void CheckGoldens(const host::EffectLibrary& lib) {
    const bool print = std::getenv("VEX_PRINT_GOLDENS") != nullptr;
    for (const test::GoldenCase& c : test::GoldenCases()) {
        std::string got;
        for (int l = 0; l < 6; ++l) {
            uint64_t h = test::RenderGolden(lib, c, test::kLayouts[l]);
            got += (l ? ", 0x" : "0x") + test::Hex64(h);
            if (!print)
                EXPECT_EQ(test::Hex64(h), test::Hex64(c.hash[l]))
                    << c.effect << " case " << (&c - test::GoldenCases().data()) << " layout "
                    << test::kLayouts[l].name;
        }
        if (print) std::printf("%s: {%s}\n", c.effect, got.c_str());
    }
}

TEST(Goldens, LinkedLibraryReproducesEveryChecksum) { CheckGoldens(host::EffectLibrary::Linked()); }

}  // namespace
}  // namespace vx
