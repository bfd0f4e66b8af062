#include "core/library.h"

#include <cstdio>
#include <cstring>
#include <optional>
#include <string>

#include "effects/effects.h"
#include "platform/platform.h"

// The host version whose installation folder is looked up: '9' for version 9,
// anything else for version 10.
#ifndef VX_HOST_VERSION
#define VX_HOST_VERSION '0'
#endif

namespace vx {

char DescriptorFolder[kDescriptorFolderSize] = ".\\";
void* ModuleHandle = nullptr;

namespace {

constexpr EffectEntry kEffects[] = {
    {"VXEBackground", u"Background video (0.3b)",
     GuidFromString("{DFC1C1B1-CFA9-4B02-8BDA-9090BE0B3E13}"), 4, CreateBackground},
    {"VXEColorAdjust", u"ColorAdjust (0.1)", GuidFromString("{01A752F2-A3F1-4675-86E6-23E3DFD23E1F}"),
     12, CreateColorAdjust},
    {"VXEColorChange", u"Color change (0.3)",
     GuidFromString("{DC60D6E9-8B0C-4865-9850-03F97F7AAC83}"), 12, CreateColorChange},
    {"VXEColorChange2", u"Color change 2 (0.3)",
     GuidFromString("{70CB7458-A663-4562-915D-965A79B9C57E}"), 12, CreateColorChange2},
    {"VXEColorCorrect", u"Color correct (0.1b)",
     GuidFromString("{8DBF51A9-B93B-43A7-AB9D-1EB82458284C}"), 12, CreateColorCorrect},
    {"VXEColorGlow", u"Color Glow (0.3)", GuidFromString("{A72A1A00-B837-4C6E-8F99-7B12695AA22D}"),
     12, CreateColorGlow},
    {"VXECut", u"Cut (0.2)", GuidFromString("{2B92DEA0-C68F-433D-A7FD-46B0DECBE0D8}"), 12, CreateCut},
    {"VXEDeInterlace", u"De-Interlace (0.1)",
     GuidFromString("{52810FEB-0FC8-4694-BD2E-5709AA80C021}"), 12, CreateDeInterlace},
    {"VXEFilter", u"Filter (0.7)", GuidFromString("{966A73E0-4F60-4036-8321-D8147DB946A4}"), 15,
     CreateFilter},
    {"VXEGear", u"Gear (0.1)", GuidFromString("{EB800722-6D0D-4E10-81D0-95875DC6713B}"), 4, CreateGear},
    {"VXEGhost", u"Ghost (0.4b)", GuidFromString("{34480515-7E96-459D-9EDD-F2B7E0764C8A}"), 12,
     CreateGhost},
    {"VXEKaleidoscope", u"Kaleidoscope (0.2)",
     GuidFromString("{27F6A4A7-FD63-4D23-BBFB-D6ACA2DDCFEB}"), 12, CreateKaleidoscope},
    {"VXELens", u"Lens (0.3)", GuidFromString("{1186D018-C6EE-44D4-B7B0-99B6333F61F3}"), 12,
     CreateLens},
    {"VXELighthouse", u"Lighthouse (0.1)", GuidFromString("{AB2C52A4-88FB-4DAB-9D36-61EADC7D5341}"),
     12, CreateLighthouse},
    {"VXEraser", u"Eraser (0.1)", GuidFromString("{F635B663-7646-4270-A40A-CFCE734E11A4}"), 15,
     CreateEraser},
    {"VXESpiral", u"Spiral (0.1)", GuidFromString("{0C2C5549-0805-40B7-B997-1726F3F14E2C}"), 12,
     CreateSpiral},
    {"VXETransform", u"Transform (0.8)", GuidFromString("{471AB449-8629-4579-B10F-7AA39E65E7B2}"),
     12, CreateTransform},
    {"VXETransform2", u"Transform2 (0.5)", GuidFromString("{0580CF13-0A2D-4D42-9130-04DAECAC809C}"),
     12, CreateTransform2},
    {"VXETransparency", u"Transparency (0.3)",
     GuidFromString("{79C5355B-EB9C-43A5-BFC3-8C2693F20429}"), 4, CreateTransparency},
    {"VXETVInterference", u"TV Interference (0.1)",
     GuidFromString("{F82C7F6D-191C-4D46-B1A1-782966B84D2E}"), 12, CreateTVInterference},
    {"VXEMirror", u"Mirror (0.7o)", GuidFromString("{AA483CFD-937F-4E7C-A6AC-347F540A917B}"), 12,
     CreateMirror},
    {"VXEWaves", u"Waves (0.1)", GuidFromString("{EE72F9FA-A492-4587-B379-F01C0AEE4231}"), 12,
     CreateWaves},
    {"VXEZoom", u"Zoom (0.5o)", GuidFromString("{5A18F1F7-3126-407B-A58A-43A003BD2EDE}"), -1,
     CreateZoom},
    {"VXEZoom2", u"Zoom2 (0.5o)", GuidFromString("{B1A774DE-C2AD-4F83-8570-9618FD75FA53}"), 12,
     CreateZoom2},
    {"VXEZoomAndMove", u"Zoom and move (0.5o)",
     GuidFromString("{F8CC5DB0-DF21-4936-A13D-1FF343AF5899}"), 12, CreateZoomAndMove},
};
static_assert(std::size(kEffects) == 25);

constexpr const char* HostKey() {
    return VX_HOST_VERSION == '9' ? "SOFTWARE\\Pinnacle Systems\\Studio 9\\"
                                  : "SOFTWARE\\Pinnacle Systems\\Studio 10\\";
}

// The fallback is the current folder.  A path that does not fit the folder
// buffer, or an unreadable value, would give a prefix pointing nowhere useful,
// so both fall back too.
void SetDescriptorFolder(const std::u16string* mainPath) {
    std::snprintf(DescriptorFolder, sizeof DescriptorFolder, "%s", ".\\");
    if (!mainPath || mainPath->empty()) return;
    std::string folder = platform::NarrowFromWide(mainPath->c_str()) + "\\Plugins\\RTFx\\XML\\";
    if (folder.size() >= sizeof DescriptorFolder) return;
    std::memcpy(DescriptorFolder, folder.c_str(), folder.size() + 1);
}

}  // namespace

std::span<const EffectEntry> EffectTable() { return kEffects; }

void AttachLibrary(void* module) {
    ModuleHandle = module;
    std::optional<std::u16string> mainPath =
        platform::ReadRegistryString(platform::kLocalMachine, HostKey(), u"Main path");
    SetDescriptorFolder(mainPath ? &*mainPath : nullptr);
}

Status VXAPI RegisterEffects(HostRegistrar* registrar, HostEffectDescriptor* descriptor) {
    for (const EffectEntry& e : kEffects) {
        char path[4096];
        std::snprintf(path, sizeof path, "%s%s.xml", DescriptorFolder, e.identifier);
        if (!platform::FileExists(path)) continue;
        Guid classId = e.classId;
        RegisterEffect(registrar, descriptor, e.displayName, &classId, e.flags, 1);
    }
    return kOk;
}

Status VXCDECL RegisterEffect(HostRegistrar* registrar, HostEffectDescriptor* descriptor,
                              const char16_t* displayName, const Guid* classId, int32_t flags,
                              int32_t kind) {
    const HostEffectDescriptorOps* d = descriptor->ops;
    d->Clear(descriptor);
    d->SetGroup(descriptor, u"Vex Effects");
    d->SetName(descriptor, displayName);
    d->SetClassId(descriptor, classId);
    d->SetVersion(descriptor, u"1.0");
    void* obj = nullptr;
    d->QueryInterface(descriptor, &kDescriptorExtensionId, &obj);
    auto* extension = static_cast<HostDescriptorExtension*>(obj);
    if (extension) extension->ops->SetOptions(extension, 1, 0, 0);
    d->SetKindAndFlags(descriptor, kind, flags);
    Status st = registrar->ops->Register(registrar, descriptor);
    if (extension) extension->ops->Release(extension);
    return st;
}

EffectInterface* VXAPI CreateEffectByClass(const Guid* classId) {
    if (!classId) return nullptr;
    for (const EffectEntry& e : kEffects) {
        if (!SameGuid(*classId, e.classId)) continue;
        return e.create ? e.create() : nullptr;
    }
    return nullptr;
}

}  // namespace vx
