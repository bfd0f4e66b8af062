// The gamma table answers exactly what the direct power formula answers.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <random>

#include "core/sampling.h"
#include "core/vxmath.h"
#include "effects/colour/gamma_table.h"

namespace vx {
namespace {

uint8_t Direct(double v, double e) {
    if (!(v > 0.0)) return ClampToByte(v);
    return ClampToByte(255.0 * Pow(v / 255.0, e));
}

TEST(GammaTable, MatchesThePowerFormulaEverywhereIncludingTheCrossings) {
    std::mt19937_64 rng(5);
    std::uniform_real_distribution<double> spread(-20.0, 700.0);
    const double nan = std::numeric_limits<double>::quiet_NaN();
    for (double e : {0.4, 0.5, 1 / 0.7, 1 / 1.3, 2.0, 10.0, 0.0099, 150.0, -1.0, nan}) {
        SCOPED_TRACE(e);
        GammaTable t;
        t.Build(e);
        for (int i = 0; i < 200000; ++i) {
            const double v = spread(rng);
            ASSERT_EQ(t.Map(v), Direct(v, e)) << v;
        }
        // Right at and around every crossing point.
        for (int b = 1; b < 256; ++b) {
            const double c = 255.0 * Pow((b - 0.5) / 255.0, 1.0 / e);
            double v = c;
            for (int k = 0; k < 40; ++k) v = std::nextafter(v, 0.0);
            for (int k = 0; k < 80; ++k, v = std::nextafter(v, 1e300))
                ASSERT_EQ(t.Map(v), Direct(v, e)) << b << " " << v;
        }
        for (double v : {0.0, -0.0, 1e-310, 1e300, std::numeric_limits<double>::infinity(), nan})
            EXPECT_EQ(t.Map(v), Direct(v, e)) << v;
    }
}

}  // namespace
}  // namespace vx
