// ColorGlow: tints every pixel towards a glow colour by the share of
// key-coloured pixels in a window around it.  Key-coloured pixels themselves
// can keep their colour, shift to the glow colour or glow like the rest.  The
// effect works inside a margin box; outside it the picture is copied or, to
// show the box, darkened.
//
// The window's counts are running sums: each column keeps the matches among
// the window's rows, updated as the window moves down by one row, and a ring
// of 2·rx + 1 column entries slides along each row.  Every pixel therefore
// costs the same whatever the glow range.
#include <cstring>
#include <vector>

#include "core/effect_base.h"
#include "core/frame.h"
#include "core/sampling.h"
#include "effects/colour/colour_common.h"
#include "effects/effects.h"

namespace vx {
namespace {

enum {
    kKeyRed,
    kKeyGreen,
    kKeyBlue,
    kRange,
    kGlowRange,
    kGlowRed,
    kGlowGreen,
    kGlowBlue,
    kIntensity,
    kTreatment,
    kLeftMargin,
    kRightMargin,
    kTopMargin,
    kBottomMargin,
    kShowMargin,
};

// What happens to the key-coloured pixels inside the box.
enum GlowTreatment : int32_t {
    kKeepKeyColour = 0,
    kSetToGlowColour = 1,
    kGlowInside = 2,
};

constexpr const char16_t* kTreatmentNames[] = {u"don't change", u"set to glow color",
                                               u"glow inside"};

constexpr ParamSpec kParamRows[] = {
    RealParam(kKeyRed, u"Color red", 0, 1, 0, 255),
    RealParam(kKeyGreen, u"Color green", 0, 1, 0, 255),
    RealParam(kKeyBlue, u"Color blue", 0, 1, 0, 255),
    IntegerParam(kRange, u"Color range", 30, 1, 0, 765),
    RealParam(kGlowRange, u"Glow range", 3, 0.1, 0, 50),
    RealParam(kGlowRed, u"New color red", 0, 1, 0, 255),
    RealParam(kGlowGreen, u"New color green", 0, 1, 0, 255),
    RealParam(kGlowBlue, u"New color blue", 0, 1, 0, 255),
    RealParam(kIntensity, u"Glow intensity", 0, 1, 0, 100),
    ChoiceParam(kTreatment, u"Change orig. color", 0, kTreatmentNames),
    IntegerParam(kLeftMargin, u"Left Margin", 0, 1, 0, 100),
    IntegerParam(kRightMargin, u"Right Margin", 0, 1, 0, 100),
    IntegerParam(kTopMargin, u"Top Margin", 0, 1, 0, 100),
    IntegerParam(kBottomMargin, u"Bottom Margin", 0, 1, 0, 100),
    BooleanParam(kShowMargin, u"Show margin", true),
};

// One frame's settings, in pixels where the parameters are percentages.
struct Settings {
    int32_t key[3];   // blue, green, red: the order of a pixel's bytes
    int32_t glow[3];  // blue, green, red
    int32_t range;
    double factor;  // what the match count is multiplied by
    int32_t treatment;
    int32_t left, right, top, bottom;  // the box, inclusive
    bool show;
    int32_t rx, ry;  // window half-sizes
};

Settings ReadSettings(HostRenderContext* ctx, int32_t W, int32_t H) {
    Settings s;
    for (int c = 0; c < 3; ++c) {
        s.key[2 - c] = ClampToByte(ReadReal(ctx, kKeyRed + c));
        s.glow[2 - c] = ClampToByte(ReadReal(ctx, kGlowRed + c));
    }
    s.range = ReadIntegerWithin(ctx, kParamRows[kRange]);
    const double glowRange = ReadRealWithin(ctx, kParamRows[kGlowRange]);
    s.factor = ReadRealWithin(ctx, kParamRows[kIntensity]) * 0.05 + 1;
    s.treatment = ReadChoice(ctx, kTreatment);
    const int32_t m[4] = {
        ReadIntegerWithin(ctx, kParamRows[kLeftMargin]),
        ReadIntegerWithin(ctx, kParamRows[kRightMargin]),
        ReadIntegerWithin(ctx, kParamRows[kTopMargin]),
        ReadIntegerWithin(ctx, kParamRows[kBottomMargin]),
    };
    s.left = int32_t(W * m[0] * 0.01);
    s.right = int32_t((100 - m[1]) * W * 0.01);
    s.top = int32_t(H * m[2] * 0.01);
    s.bottom = int32_t((100 - m[3]) * H * 0.01);
    s.show = ReadBoolean(ctx, kShowMargin);
    s.rx = int32_t(W * glowRange * 0.01);
    s.ry = int32_t(H * glowRange * 0.01);
    return s;
}

// Outside the shown box each channel is scaled by 0.7 taken as a 32-bit
// float, the product formed in double precision and truncated.
struct DarkenTable {
    uint8_t level[256];
    DarkenTable() {
        for (int v = 0; v < 256; ++v)
            level[v] = uint8_t(int32_t(double(v) * double(0.7f)));
    }
};

// Pixels outside the box: darkened to show it, or copied as they are.
template <uint32_t kBpp>
void WriteMargin(const Settings& s, const uint8_t* in, uint8_t* out, int32_t count) {
    if (!s.show) {
        std::memcpy(out, in, size_t(count) * kBpp);
        return;
    }
    static const DarkenTable dark;
    for (int32_t x = 0; x < count; ++x, in += kBpp, out += kBpp) {
        out[0] = dark.level[in[0]];
        out[1] = dark.level[in[1]];
        out[2] = dark.level[in[2]];
        if (kBpp == 4) out[3] = 255;
    }
}

// 1 for each pixel of a source row within the colour range of the key.
template <uint32_t kBpp>
void MarkMatches(const Settings& s, const uint8_t* p, int32_t width, uint8_t* marks) {
    const int32_t k0 = s.key[0], k1 = s.key[1], k2 = s.key[2], range = s.range;
    for (int32_t x = 0; x < width; ++x, p += kBpp) {
        const int32_t d0 = p[0] - k0, d1 = p[1] - k1, d2 = p[2] - k2;
        marks[x] = (d0 < 0 ? -d0 : d0) + (d1 < 0 ? -d1 : d1) + (d2 < 0 ? -d2 : d2) <= range;
    }
}

// A column entry: the matches and in-frame pixels of one window column.
struct Entry {
    int32_t matches;
    int32_t pixels;
};

// The ring of the window's 2·rx + 1 column entries and their sums.
struct Window {
    Entry* ring;
    Entry* end;
    Entry* oldest;
    int64_t matches;  // M
    int64_t pixels;   // N

    void Push(Entry e) {
        matches += e.matches - oldest->matches;
        pixels += e.pixels - oldest->pixels;
        *oldest = e;
        if (++oldest == end) oldest = ring;
    }
};

// What the current row's window sees of the frame.
struct RowCounts {
    const int32_t* columns;  // matches per column among the window's rows
    int32_t rows;            // the window's rows inside the frame
    int32_t width;
    const uint8_t* marks;  // the row's own match flags

    Entry Column(int32_t c) const {
        return c < 0 || c >= width ? Entry{0, 0} : Entry{columns[c], rows};
    }
};

// Pixels first .. last of a row inside the box.  Everything the loop needs
// is held in locals (the byte stores could otherwise alias any of it), and
// the loop has no data-dependent branches: without a key pixel in the window
// the glow is source · 1 + glow · 0, the source itself.
template <uint32_t kBpp>
void GlowSpan(const Settings& s, const RowCounts& row, Window& window, const uint8_t* in,
              uint8_t* out, int32_t first, int32_t last) {
    Window w = window;
    const int32_t rx = s.rx;
    const double factor = s.factor;
    const double g0 = s.glow[0], g1 = s.glow[1], g2 = s.glow[2];
    // What a matching pixel gets unless it glows: its colour, shifted or not.
    const bool keyGlows = s.treatment == kGlowInside;
    const bool shift = s.treatment == kSetToGlowColour;
    const int32_t shift0 = shift ? s.glow[0] - s.key[0] : 0;
    const int32_t shift1 = shift ? s.glow[1] - s.key[1] : 0;
    const int32_t shift2 = shift ? s.glow[2] - s.key[2] : 0;
    // Neighbouring pixels often see the same counts: the last ratio is kept.
    int64_t lastM = 0, lastN = -1;
    double keep = 1, t0 = 0, t1 = 0, t2 = 0;  // 1 - ratio (at least 0), glow · ratio
    in += size_t(first) * kBpp;
    out += size_t(first) * kBpp;
    for (int32_t x = first; x <= last; ++x, in += kBpp, out += kBpp) {
        w.Push(row.Column(x + rx));
        if (w.matches != lastM || w.pixels != lastN) {
            lastM = w.matches;
            lastN = w.pixels;
            // The counts stay far below 2^53: exact in double.  N is at
            // least 1 (the pixel's own column counts); the guard keeps it so.
            const double weighted = double(int64_t(factor * double(lastM)));
            const double ratio = lastN > 0 ? weighted / double(lastN) : 0.0;
            keep = 1 - ratio < 0 ? 0 : 1 - ratio;
            t0 = g0 * ratio, t1 = g1 * ratio, t2 = g2 * ratio;
        }
        const int32_t i0 = in[0], i1 = in[1], i2 = in[2];
        const bool glows = keyGlows || !row.marks[x];
        const int32_t o0 = glows ? int32_t(i0 * keep + t0) : i0 + shift0;
        const int32_t o1 = glows ? int32_t(i1 * keep + t1) : i1 + shift1;
        const int32_t o2 = glows ? int32_t(i2 * keep + t2) : i2 + shift2;
        out[0] = LimitToByte(o0);
        out[1] = LimitToByte(o1);
        out[2] = LimitToByte(o2);
        if (kBpp == 4) out[3] = 255;
    }
    window = w;
}

class ColorGlow : public EffectBase {
  public:
    static constexpr ParamTable kParams = kParamRows;

    Status Process(const RenderArgs& args) {
        const FrameView src = ViewFrame(args.InputFrame());
        const FrameView dst = ViewFrame(args.OutputFrame());
        if (!FramesMatchPrepared(*this, src, dst)) return kOk;
        if (bytesPerPixel < 3 || src.IsPacked422()) {
            CopyPicture(src, dst, frameWidth, frameHeight, bytesPerPixel);
            return kOk;
        }
        const Settings s = ReadSettings(args.context, frameWidth, frameHeight);
        marks_.resize(size_t(frameWidth) * size_t(frameHeight));
        columns_.assign(size_t(frameWidth), 0);
        ring_.assign(size_t(2 * s.rx + 1), Entry{0, 0});
        if (bytesPerPixel == 4)
            Render<4>(s, src, dst);
        else
            Render<3>(s, src, dst);
        return kOk;
    }

  private:
    uint8_t* Marks(int32_t y) { return marks_.data() + size_t(y) * size_t(frameWidth); }

    // Row y enters the column counts (sign 1) or leaves them (sign -1); its
    // match flags are marked when it enters.
    template <uint32_t kBpp>
    void CountRow(const Settings& s, const FrameView& src, int32_t y, int32_t sign) {
        uint8_t* marks = Marks(y);
        if (sign > 0) MarkMatches<kBpp>(s, src.Row(y), frameWidth, marks);
        int32_t* columns = columns_.data();
        const int32_t width = frameWidth;  // the stores could alias the member
        for (int32_t x = 0; x < width; ++x)
            columns[x] += sign * marks[x];
    }

    template <uint32_t kBpp>
    void Render(const Settings& s, const FrameView& src, const FrameView& dst) {
        const int32_t W = frameWidth, H = frameHeight;
        Window window{ring_.data(), ring_.data() + ring_.size(), ring_.data(), 0, 0};
        const Entry empty{0, 2 * s.ry + 1};
        for (int32_t r = 0; r < s.ry && r < H; ++r)
            CountRow<kBpp>(s, src, r, 1);
        for (int32_t y = 0; y < H; ++y) {
            // The column counts move down to rows y - ry .. y + ry.
            if (y + s.ry < H) CountRow<kBpp>(s, src, y + s.ry, 1);
            if (y - s.ry - 1 >= 0) CountRow<kBpp>(s, src, y - s.ry - 1, -1);
            const uint8_t* in = src.Row(y);
            uint8_t* out = dst.Row(y);
            if (y < s.top || y > s.bottom) {
                // The next row replaces the whole ring, so these pixels only
                // need their output.
                WriteMargin<kBpp>(s, in, out, W);
                continue;
            }
            const int32_t lo = y - s.ry < 0 ? 0 : y - s.ry;
            const int32_t hi = y + s.ry > H - 1 ? H - 1 : y + s.ry;
            const RowCounts row{columns_.data(), hi - lo + 1, W, Marks(y)};
            // The row's first window: columns -rx .. rx - 1 now, column rx
            // with the first pixel.
            for (int32_t c = -s.rx; c < s.rx; ++c)
                window.Push(row.Column(c));
            // Pixels left of the box push empty columns, whatever the columns
            // hold; those right of it come after the last window of the row.
            const int32_t first = s.left < 0 ? 0 : s.left > W ? W : s.left;
            const int32_t last = s.right >= W ? W - 1 : s.right;
            WriteMargin<kBpp>(s, in, out, first);
            for (int32_t x = 0; x < first; ++x)
                window.Push(empty);
            if (first <= last) GlowSpan<kBpp>(s, row, window, in, out, first, last);
            const int32_t after = last + 1 > first ? last + 1 : first;
            WriteMargin<kBpp>(s, in + size_t(after) * kBpp, out + size_t(after) * kBpp, W - after);
        }
    }

    std::vector<uint8_t> marks_;    // one match flag per source pixel
    std::vector<int32_t> columns_;  // matches per column among the window's rows
    std::vector<Entry> ring_;
};

}  // namespace

EffectInterface* CreateColorGlow() {
    return CreateEffect<ColorGlow>();
}

}  // namespace vx
