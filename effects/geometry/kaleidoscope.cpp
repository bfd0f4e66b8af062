// Kaleidoscope: every wedge about the centre shows the same source wedge,
// rotated into place, alternate wedges optionally flipped, optionally inside
// a circle only.
#include <bit>
#include <cstring>
#include <new>
#include <vector>

#include "core/effect_base.h"
#include "core/frame.h"
#include "core/sampling.h"
#include "core/vxmath.h"
#include "effects/effects.h"

namespace vx {
namespace {

enum { kSegments, kAngle, kMirror, kCircular };

constexpr ParamSpec kParamRows[] = {
    IntegerParam(kSegments, u"Segments", 5, 1, 1, 20),
    RealParam(kAngle, u"Angle", 0, 1, 0, 360),
    BooleanParam(kMirror, u"Mirror", true),
    BooleanParam(kCircular, u"Circular", false),
};

// Single-precision values of the angles, widened, as the mapping uses them.
constexpr double kTurn = 6.2831854820251465;
constexpr double kHalfTurn = 3.1415927410125732;
constexpr double kQuarterTurn = 1.5707963705062866;
constexpr double kThreeQuarterTurn = 4.71238911151886;
constexpr double kDegree = 0.017453293005625408;

// Segments outside 1..20 are held there: a huge count (a negative value taken
// as unsigned) would make the wedge search run for billions of steps.
uint32_t SafeSegments(int32_t n) {
    return n < 1 ? 1u : n > 20 ? 20u : uint32_t(n);
}

// Angles far beyond a turn are first brought within one turn, so the search
// for the wedge stays short; NaN and infinities count as 0.
double SafeAngle(double degrees) {
    if (!(degrees - degrees == 0)) return 0;
    return degrees >= -720 && degrees <= 720 ? degrees : Fmod(degrees, 360);
}

// What the source map depends on: the parameters and the source frame's
// geometry (the map holds byte offsets into it).
struct MapKey {
    uint32_t segments = 0;
    uint64_t angleBits = 0;
    bool mirror = false, circular = false;
    uint32_t width = 0, height = 0, bytesPerPixel = 0;
    ptrdiff_t rowStep = 0;  // bytes from one picture row to the next
    bool interlaced = false;

    bool operator==(const MapKey&) const = default;
};

// Map entries that are not source offsets.
constexpr int32_t kOutside = INT32_MIN;    // outsideColor
constexpr int32_t kBlank = INT32_MIN + 1;  // outside the circle

struct Kaleidoscope : EffectBase {
    static constexpr ParamTable kParams = kParamRows;

    // For every output pixel, row-major, the byte offset of its source pixel
    // from the start of the source's picture row 0.  Rebuilt only when the
    // parameters or the frame geometry change.
    MapKey mapKey;
    std::vector<int32_t> map;

    Status Process(const RenderArgs& args) {
        const FrameView src = ViewFrame(args.InputFrame());
        const FrameView dst = ViewFrame(args.OutputFrame());
        if (!FramesMatchPrepared(*this, src, dst)) return kOk;
        HostRenderContext* ctx = args.context;
        const uint32_t n = SafeSegments(ReadInteger(ctx, kSegments));
        const double u = SafeAngle(ReadReal(ctx, kAngle)) * kDegree;
        const bool mirror = ReadBoolean(ctx, kMirror);
        const bool circular = ReadBoolean(ctx, kCircular);

        const Sampler s(*this, src, dst);
        const uint8_t black[4] = {0, 0, 0, 255};
        const uint8_t packedBlack[2] = {128, 16};  // neutral chroma, black luma
        const uint8_t* blank = src.IsPacked422() ? packedBlack : black;
        MapKey key{n,
                   std::bit_cast<uint64_t>(u),
                   mirror,
                   circular,
                   s.width,
                   s.height,
                   s.bytesPerPixel,
                   src.Row(src.height > 1 ? 1 : 0) - src.Row(0),
                   src.IsInterlaced()};
        if (!(key == mapKey) || map.empty()) {
            map.clear();
            mapKey = MapKey{};
            if (!BuildMap(s, n, u, mirror, circular)) {
                // No memory for the map, or offsets beyond its range.
                RenderDirect(s, n, u, mirror, circular, blank);
                return kOk;
            }
            mapKey = key;
        }
        RenderFromMap(s, blank);
        return kOk;
    }

    // The source position of the output pixel at (j, i) from the centre,
    // relative to the centre, or false for a pixel outside the circle.
    static bool SourceOf(int32_t j, int32_t i, double u, double v, bool mirror, bool circular,
                         int32_t h2, double* sx, double* sy) {
        double theta;
        if (i != 0) {
            theta = Atan(double(j) / double(i));
            if (i < 0) theta += kHalfTurn;
        } else {
            theta = j > 0 ? kQuarterTurn : kThreeQuarterTurn;
        }
        const double rho = Sqrt(double(j) * j + double(i) * i);
        double d = theta - u;
        while (d < 0)
            d += kTurn;
        while (d > kTurn)
            d -= kTurn;
        uint32_t k = 0;
        while (d > v) {
            d -= v;
            ++k;
        }
        if (mirror && (k & 1)) d = v - d;
        if (circular && rho > h2) return false;
        const double a = u + d;
        *sx = rho * Sin(a);
        *sy = rho * Cos(a);
        return true;
    }

    // Every pixel through the sampler; the way when there is no map.
    void RenderDirect(const Sampler& s, uint32_t n, double u, bool mirror, bool circular,
                      const uint8_t* blank) const {
        const double v = kTurn / n;
        const int32_t w2 = int32_t(s.width / 2), h2 = int32_t(s.height / 2);
        // Odd sizes: the last column and row follow the same mapping.
        for (uint32_t y = 0; y < s.height; ++y) {
            const int32_t i = int32_t(y) - h2;
            for (uint32_t x = 0; x < s.width; ++x) {
                double sx, sy;
                if (!SourceOf(int32_t(x) - w2, i, u, v, mirror, circular, h2, &sx, &sy)) {
                    std::memcpy(s.Dst(x, y), blank, s.bytesPerPixel);
                    continue;
                }
                s.SamplePixel(x, y, true, kInterpolateNone, w2 + sx, h2 + sy);
            }
        }
    }

    // The sampler's nearest-pixel rule, worked out once per pixel into the map.
    bool BuildMap(const Sampler& s, uint32_t n, double u, bool mirror, bool circular) {
        const ptrdiff_t step = s.src.Row(s.height > 1 ? 1 : 0) - s.src.Row(0);
        const double span =
            double(s.height) * double(step < 0 ? -step : step) + double(s.width) * s.bytesPerPixel;
        if (span >= 2147483000.0) return false;
        try {
            map.resize(size_t(s.width) * s.height);
        } catch (const std::bad_alloc&) {
            return false;
        }
        const double v = kTurn / n;
        const int32_t w2 = int32_t(s.width / 2), h2 = int32_t(s.height / 2);
        const bool fields = s.src.IsInterlaced();
        int32_t* entry = map.data();
        for (uint32_t y = 0; y < s.height; ++y) {
            const int32_t i = int32_t(y) - h2;
            for (uint32_t x = 0; x < s.width; ++x, ++entry) {
                double sx, sy;
                if (!SourceOf(int32_t(x) - w2, i, u, v, mirror, circular, h2, &sx, &sy)) {
                    *entry = kBlank;
                    continue;
                }
                double fx = w2 + sx, fy = h2 + sy;
                // As SamplePixel rounds: negative (or NaN) positions lie far outside.
                if (!(fx >= 0.0)) fx = 9999999.0;
                if (!(fy >= 0.0)) fy = 9999999.0;
                const int64_t col = fx < 4.0e9 ? int64_t(fx + 0.5) : int64_t(s.width);
                int64_t row = fy < 4.0e9 ? int64_t(fy + 0.5) : int64_t(s.height);
                if (fields && ((row ^ int64_t(y)) & 1)) row += 1;
                if (uint64_t(col) >= s.width || uint64_t(row) >= s.height)
                    *entry = kOutside;
                else
                    *entry = int32_t(ptrdiff_t(row) * step + ptrdiff_t(col) * s.bytesPerPixel);
            }
        }
        return true;
    }

    void RenderFromMap(const Sampler& s, const uint8_t* blank) const {
        const uint8_t* origin = s.src.Row(0);
        const int32_t* entry = map.data();
        const uint32_t bpp = s.bytesPerPixel;
        for (uint32_t y = 0; y < s.height; ++y) {
            uint8_t* out = s.Dst(0, y);
            if (bpp == 4) {
                for (uint32_t x = 0; x < s.width; ++x, ++entry, out += 4) {
                    const int32_t e = *entry;
                    const uint8_t* from = e > kBlank ? origin + e : e == kBlank ? blank : s.outside;
                    std::memcpy(out, from, 4);
                }
            } else {
                for (uint32_t x = 0; x < s.width; ++x, ++entry, out += bpp) {
                    const int32_t e = *entry;
                    const uint8_t* from = e > kBlank ? origin + e : e == kBlank ? blank : s.outside;
                    std::memcpy(out, from, bpp);
                }
            }
        }
    }
};

}  // namespace

EffectInterface* CreateKaleidoscope() {
    return CreateEffect<Kaleidoscope>();
}

}  // namespace vx
