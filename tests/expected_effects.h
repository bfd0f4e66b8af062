// The effects the library announces, as the host must see them.
#pragma once

#include <cstdint>

#include "core/guid.h"

namespace vx::test {

struct ExpectedEffect {
    const char* identifier;
    const char* displayName;
    Guid classId;
    int32_t flags;
};

inline constexpr ExpectedEffect kExpectedEffects[25] = {
    {"VXEBackground", "Background video (0.3b)", GuidFromString("{DFC1C1B1-CFA9-4B02-8BDA-9090BE0B3E13}"), 4},
    {"VXEColorAdjust", "ColorAdjust (0.1)", GuidFromString("{01A752F2-A3F1-4675-86E6-23E3DFD23E1F}"), 12},
    {"VXEColorChange", "Color change (0.3)", GuidFromString("{DC60D6E9-8B0C-4865-9850-03F97F7AAC83}"), 12},
    {"VXEColorChange2", "Color change 2 (0.3)", GuidFromString("{70CB7458-A663-4562-915D-965A79B9C57E}"), 12},
    {"VXEColorCorrect", "Color correct (0.1b)", GuidFromString("{8DBF51A9-B93B-43A7-AB9D-1EB82458284C}"), 12},
    {"VXEColorGlow", "Color Glow (0.3)", GuidFromString("{A72A1A00-B837-4C6E-8F99-7B12695AA22D}"), 12},
    {"VXECut", "Cut (0.2)", GuidFromString("{2B92DEA0-C68F-433D-A7FD-46B0DECBE0D8}"), 12},
    {"VXEDeInterlace", "De-Interlace (0.1)", GuidFromString("{52810FEB-0FC8-4694-BD2E-5709AA80C021}"), 12},
    {"VXEFilter", "Filter (0.7)", GuidFromString("{966A73E0-4F60-4036-8321-D8147DB946A4}"), 15},
    {"VXEGear", "Gear (0.1)", GuidFromString("{EB800722-6D0D-4E10-81D0-95875DC6713B}"), 4},
    {"VXEGhost", "Ghost (0.4b)", GuidFromString("{34480515-7E96-459D-9EDD-F2B7E0764C8A}"), 12},
    {"VXEKaleidoscope", "Kaleidoscope (0.2)", GuidFromString("{27F6A4A7-FD63-4D23-BBFB-D6ACA2DDCFEB}"), 12},
    {"VXELens", "Lens (0.3)", GuidFromString("{1186D018-C6EE-44D4-B7B0-99B6333F61F3}"), 12},
    {"VXELighthouse", "Lighthouse (0.1)", GuidFromString("{AB2C52A4-88FB-4DAB-9D36-61EADC7D5341}"), 12},
    {"VXEraser", "Eraser (0.1)", GuidFromString("{F635B663-7646-4270-A40A-CFCE734E11A4}"), 15},
    {"VXESpiral", "Spiral (0.1)", GuidFromString("{0C2C5549-0805-40B7-B997-1726F3F14E2C}"), 12},
    {"VXETransform", "Transform (0.8)", GuidFromString("{471AB449-8629-4579-B10F-7AA39E65E7B2}"), 12},
    {"VXETransform2", "Transform2 (0.5)", GuidFromString("{0580CF13-0A2D-4D42-9130-04DAECAC809C}"), 12},
    {"VXETransparency", "Transparency (0.3)", GuidFromString("{79C5355B-EB9C-43A5-BFC3-8C2693F20429}"), 4},
    {"VXETVInterference", "TV Interference (0.1)", GuidFromString("{F82C7F6D-191C-4D46-B1A1-782966B84D2E}"), 12},
    {"VXEMirror", "Mirror (0.7o)", GuidFromString("{AA483CFD-937F-4E7C-A6AC-347F540A917B}"), 12},
    {"VXEWaves", "Waves (0.1)", GuidFromString("{EE72F9FA-A492-4587-B379-F01C0AEE4231}"), 12},
    {"VXEZoom", "Zoom (0.5o)", GuidFromString("{5A18F1F7-3126-407B-A58A-43A003BD2EDE}"), -1},
    {"VXEZoom2", "Zoom2 (0.5o)", GuidFromString("{B1A774DE-C2AD-4F83-8570-9618FD75FA53}"), 12},
    {"VXEZoomAndMove", "Zoom and move (0.5o)", GuidFromString("{F8CC5DB0-DF21-4936-A13D-1FF343AF5899}"), 12},
};

}  // namespace vx::test
