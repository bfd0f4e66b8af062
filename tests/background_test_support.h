// What the Background video tests share: the mix as real arithmetic, and the
// settings block moved in and out of the host's parameter.
#pragma once

#include <cstdint>
#include <vector>

#include "effects/colour/background.h"
#include "host/standin_host.h"

namespace vx::test {

// Integer part of video x (1 - w) + source x w, w = a x (1/255).
inline int RealMix(int video, int source, int a) {
    const double w = a * (1.0 / 255);
    const int r = int(video * (1 - w) + source * w);
    return r < 0 ? 0 : r > 255 ? 255 : r;
}

inline std::vector<uint8_t> BlockBytes(const BackgroundSettings& s) {
    const auto* p = reinterpret_cast<const uint8_t*>(&s);
    return {p, p + sizeof s};
}

// The block parameter (index 0) of a Background instance.
inline void StoreBlock(host::EffectInstance& instance, const BackgroundSettings& s) {
    instance.params().ByIndex(0)->data = BlockBytes(s);
}
inline BackgroundSettings StoredBlock(host::EffectInstance& instance) {
    const std::vector<uint8_t>& data = instance.params().ByIndex(0)->data;
    return TakeBackgroundBlock(data.data(), uint32_t(data.size()));
}

}  // namespace vx::test
