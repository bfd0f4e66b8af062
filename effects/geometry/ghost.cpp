// Ghost: faint copies of earlier frames of the clip, taken every few frames,
// laid over the current frame so that moving things leave a trail.  The other
// frames come from a frame source that the host hands to the effect through a
// third interface; without one the current frame passes through unchanged.
#include <cstdint>

#include "core/effect_base.h"
#include "core/frame.h"
#include "effects/effects.h"

namespace vx {
namespace {

enum { kGhosts, kSpace, kVisibility };

constexpr int32_t kMaxGhosts = 10;
constexpr int32_t kMinSpace = 1, kMaxSpace = 24;

constexpr ParamSpec kParamRows[] = {
    IntegerParam(kGhosts, u"No. of Ghosts", 1, 1, 1, kMaxGhosts, 0, 5),
    IntegerParam(kSpace, u"Space", 3, 1, kMinSpace, kMaxSpace, 1, 10),
    RealParam(kVisibility, u"Visibility of ghosts", 25, 1, 0, 100),
};

int32_t Clamp(int32_t v, int32_t lo, int32_t hi) {
    return v < lo ? lo : v > hi ? hi : v;
}

// A share between 0 and 1; a value that is no number gives the ghosts no share.
double ClampShare(double v) {
    return v >= 0 ? (v <= 1 ? v : 1) : 0;
}

// A frame that can be laid over the output: same pixel layout, rows that hold
// their pixels.  Differing sizes are fine; only the common area is used.
bool Overlayable(const FrameView& f, const FrameView& out, int32_t bytesPerPixel) {
    if (!f.bits || f.width <= 0 || f.height <= 0) return false;
    if (f.bitsPerPixel != bytesPerPixel * 8 || f.IsPacked422() != out.IsPacked422()) return false;
    const int64_t pitch = f.pitch < 0 ? -int64_t(f.pitch) : int64_t(f.pitch);
    return pitch >= int64_t(f.width) * bytesPerPixel;
}

// The row loops below are written for the compiler to vectorise, which it
// does at -O2 only when asked.
[[gnu::optimize("tree-vectorize")]] void AddBytes(uint8_t* __restrict out,
                                                  const uint8_t* __restrict in, int32_t n) {
    for (int32_t i = 0; i < n; ++i)
        out[i] = uint8_t(out[i] + in[i]);
}

[[gnu::optimize("tree-vectorize")]] void AddScaledBytes(uint8_t* __restrict out,
                                                        const uint8_t* __restrict in, int32_t n,
                                                        uint16_t multiplier) {
    for (int32_t i = 0; i < n; ++i)
        out[i] = uint8_t(out[i] + ((uint32_t(in[i]) * multiplier) >> 16));
}

// One frame of the blend: its pixels, and the integer part of every byte
// value times its weight, worked out once per frame instead of per byte.
// Most weights give the same 256 values as a 16-bit fixed-point multiply
// (checked value by value), which is faster than looking each byte up.
struct Layer {
    enum Mode { kSkip, kPlain, kScaled, kLookUp };
    FrameView view;
    Mode mode = kSkip;
    uint16_t multiplier = 0;
    uint8_t share[256];

    void SetWeight(double weight) {
        bool zero = true, identity = true;
        for (int32_t b = 0; b < 256; ++b) {
            share[b] = uint8_t(int32_t(b * weight));
            zero = zero && share[b] == 0;
            identity = identity && share[b] == b;
        }
        mode = zero ? kSkip : identity ? kPlain : FindMultiplier(weight) ? kScaled : kLookUp;
    }
    bool FindMultiplier(double weight) {
        if (!(weight > 0 && weight < 1)) return false;
        const uint32_t below = uint32_t(weight * 65536);
        for (uint32_t m : {below, below + 1}) {
            if (m > 0xFFFF) continue;
            int32_t b = 0;
            while (b < 256 && ((uint32_t(b) * m) >> 16) == share[b])
                ++b;
            if (b == 256) {
                multiplier = uint16_t(m);
                return true;
            }
        }
        return false;
    }
    void AddRow(int32_t y, uint8_t* out, int32_t bytes) const {
        const uint8_t* in = view.Row(y);
        switch (mode) {
            case kSkip:
                return;
            case kPlain:
                return AddBytes(out, in, bytes);
            case kScaled:
                return AddScaledBytes(out, in, bytes, multiplier);
            case kLookUp:
                for (int32_t i = 0; i < bytes; ++i)
                    out[i] = uint8_t(out[i] + share[in[i]]);
                return;
        }
    }
};

struct Ghost;

// The third interface: how the host hands over its frame source.
struct FrameSourceSlot {
    FrameSourceInterface iface;  // first: the interface pointer is the slot's address
    Ghost* owner;
};

extern const FrameSourceOps kFrameSourceOps;

struct Ghost : EffectBase {
    static constexpr ParamTable kParams = kParamRows;
    FrameSourceSlot frameSourceSlot{{&kFrameSourceOps}, this};
    // The host's object; the host keeps it alive, so no reference is held.
    HostFrameSource* frameSource = nullptr;

    Status QueryInterface(const Guid& iid, void** out) {
        if (!out || !SameGuid(iid, kFrameSourceInterfaceId))
            return EffectBase::QueryInterface(iid, out);
        *out = &frameSourceSlot.iface;
        AddRef();
        return kOk;
    }

    // Forgets the frame source; the cached frame geometry stays.
    void Reset() { frameSource = nullptr; }

    Status Process(const RenderArgs& args) {
        HostRenderContext* ctx = args.context;
        const int32_t ghosts = Clamp(ReadInteger(ctx, kGhosts), 0, kMaxGhosts);
        const int32_t space = Clamp(ReadInteger(ctx, kSpace), kMinSpace, kMaxSpace);
        const double visibility = ClampShare(ReadReal(ctx, kVisibility) * 0.01);

        HostFrame* output = args.OutputFrame();
        const FrameView out = ViewFrame(output);
        void* obj = nullptr;
        output->ops->GetInterface(output, &kFrameInterfaceId, &obj);
        auto* like = static_cast<HostUnknown*>(obj);

        // A ghost in another pixel layout cannot be blended; it counts as not
        // delivered, so that the weights still add up to 1.
        HostFrame* frames[1 + kMaxGhosts];
        int32_t count = 0;
        frames[count++] = args.InputFrame();
        for (int32_t k = 1; k <= ghosts && frameSource; ++k) {
            HostFrame* f = FetchGhost(args.services, k * space, like);
            if (!f) continue;
            if (Overlayable(ViewFrame(f), out, bytesPerPixel))
                frames[count++] = f;
            else
                f->ops->Release(f);
        }

        output->ops->Clear(output);
        Blend(out, frames, count, visibility);

        for (int32_t i = 1; i < count; ++i)
            frames[i]->ops->Release(frames[i]);
        if (like) like->ops->Release(like);
        return kOk;
    }

    // The frame `offset` frames away, with a reference; null when the source
    // or the host cannot deliver it.
    HostFrame* FetchGhost(HostServices* services, int32_t offset, HostUnknown* like) const {
        int32_t v[4] = {0, 0, 0, 0};
        if (frameSource->ops->LocateFrame(frameSource, offset, like, &v[0], &v[1], &v[2], &v[3]) !=
            kOk)
            return nullptr;
        void* frame = nullptr;
        if (services->ops->ClipFrame(services, &kClipFrameId, &frame, v[0], v[1], v[2], v[3]) !=
            kOk)
            return nullptr;
        return static_cast<HostFrame*>(frame);
    }

    // Adds every frame's weighted bytes into the cleared output, the last
    // ghost first.  The current frame takes what the ghosts leave of 1.
    void Blend(const FrameView& out, HostFrame* const* frames, int32_t count,
               double visibility) const {
        const int32_t bpp = bytesPerPixel;
        if (bpp < 2 || bpp > 4 || !Overlayable(out, out, bpp)) return;
        Layer layers[1 + kMaxGhosts];
        const double ghostWeight = count > 1 ? visibility / (count - 1) : 0;
        double ghostSum = 0;
        for (int32_t i = 1; i < count; ++i)
            ghostSum += ghostWeight;
        int32_t used = 0;
        for (int32_t i = count - 1; i >= 0; --i) {
            Layer& layer = layers[used];
            layer.view = ViewFrame(frames[i]);
            // A frame that is the output itself was just cleared: it adds nothing.
            if (!Overlayable(layer.view, out, bpp) || layer.view.bits == out.bits) continue;
            layer.SetWeight(i == 0 ? 1 - ghostSum : ghostWeight);
            ++used;
        }
        for (int32_t y = 0; y < out.height; ++y) {
            uint8_t* row = out.Row(y);
            for (int32_t i = 0; i < used; ++i) {
                const FrameView& v = layers[i].view;
                if (y >= v.height) continue;
                const int32_t columns = v.width < out.width ? v.width : out.width;
                layers[i].AddRow(y, row, columns * bpp);
            }
        }
    }
};

Ghost* Owner(FrameSourceInterface* i) {
    return reinterpret_cast<FrameSourceSlot*>(i)->owner;
}

Status VXAPI SourceQueryInterface(FrameSourceInterface* i, const Guid* iid, void** out) {
    EffectInterface* effect = &Owner(i)->effect;
    return effect->ops->QueryInterface(effect, iid, out);
}
int32_t VXAPI SourceAddRef(FrameSourceInterface* i) {
    return Owner(i)->AddRef();
}
int32_t VXAPI SourceRelease(FrameSourceInterface* i) {
    return Owner(i)->Release();
}
int32_t VXAPI SourceGetRefCount(FrameSourceInterface* i) {
    return Owner(i)->refCount.load();
}
Status VXAPI SetFrameSource(FrameSourceInterface* i, int32_t* out1, int32_t* out2,
                            HostFrameSource* source) {
    Owner(i)->frameSource = source;
    if (out1) *out1 = 20;
    if (out2) *out2 = 20;
    return kOk;
}

const FrameSourceOps kFrameSourceOps = {SourceQueryInterface, SourceAddRef, SourceRelease,
                                        SourceGetRefCount, SetFrameSource};

}  // namespace

EffectInterface* CreateGhost() {
    return CreateEffect<Ghost>();
}

}  // namespace vx
