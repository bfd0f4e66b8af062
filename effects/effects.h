// Creators of the library's effects, one per effect module.
#pragma once

#include "core/host_abi.h"

namespace vx {

EffectInterface* CreateBackground();
EffectInterface* CreateColorAdjust();
EffectInterface* CreateColorChange();
EffectInterface* CreateColorCorrect();
EffectInterface* CreateColorChange2();
EffectInterface* CreateColorGlow();
EffectInterface* CreateEraser();
EffectInterface* CreateTransform();
EffectInterface* CreateTransparency();
EffectInterface* CreateTVInterference();
EffectInterface* CreateTransform2();
EffectInterface* CreateSpiral();
EffectInterface* CreateDeInterlace();
EffectInterface* CreateCut();
EffectInterface* CreateGear();
EffectInterface* CreateLighthouse();
EffectInterface* CreateFilter();
EffectInterface* CreateZoom();
EffectInterface* CreateZoom2();
EffectInterface* CreateZoomAndMove();
EffectInterface* CreateMirror();
EffectInterface* CreateKaleidoscope();
EffectInterface* CreateLens();
EffectInterface* CreateWaves();
EffectInterface* CreateGhost();

}  // namespace vx
