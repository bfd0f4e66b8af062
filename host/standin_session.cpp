// Registration, loading an effect library and rendering with one effect.
#include <cerrno>
#include <cmath>
#include <cstdlib>

#include "host/standin_host.h"
#include "platform/platform.h"

namespace vx::host {

// ------------------------------------------------------------------ registrar

struct RegistrarOps {
    static Registrar* FromRegistrar(HostRegistrar* r) {
        return reinterpret_cast<Registrar*>(reinterpret_cast<char*>(r) -
                                            offsetof(Registrar, registrarIface_));
    }
    static Registrar* FromDescriptor(HostEffectDescriptor* d) {
        return reinterpret_cast<Registrar*>(reinterpret_cast<char*>(d) -
                                            offsetof(Registrar, descriptorIface_));
    }
    static Registrar* FromExtension(HostDescriptorExtension* e) {
        return reinterpret_cast<Registrar::Extension*>(e)->owner;
    }
    static void Log(Registrar* r, std::string s) {
        if (r->log) r->log->Add(std::move(s));
    }

    static Status VXAPI RegQuery(HostRegistrar*, const Guid*, void** out) {
        *out = nullptr;
        return kNoInterface;
    }
    static int32_t VXAPI RegAddRef(HostRegistrar*) { return 1; }
    static int32_t VXAPI RegRelease(HostRegistrar*) { return 1; }
    static Status VXAPI Register(HostRegistrar* reg, HostEffectDescriptor* d) {
        Registrar* r = FromRegistrar(reg);
        Log(r, "registrar.Register");
        if (FromDescriptor(d) != r) return kNoInterface;
        if (r->answer == kOk) r->registered.push_back(r->current);
        return r->answer;
    }

    static Status VXAPI DescQuery(HostEffectDescriptor* d, const Guid* iid, void** out) {
        Registrar* r = FromDescriptor(d);
        Log(r, "descriptor.QueryInterface " + GuidText(*iid));
        *out = nullptr;
        if (!r->offerExtension || !SameGuid(*iid, kDescriptorExtensionId)) return kNoInterface;
        *out = &r->extension_.iface;
        ++r->extensionRefs;
        return kOk;
    }
    static int32_t VXAPI DescAddRef(HostEffectDescriptor*) { return 1; }
    static int32_t VXAPI DescRelease(HostEffectDescriptor*) { return 1; }
    static void VXAPI SetName(HostEffectDescriptor* d, const char16_t* s) {
        Registrar* r = FromDescriptor(d);
        r->current.name = s;
        Log(r, "descriptor.SetName " + Narrow(s));
    }
    static void VXAPI SetGroup(HostEffectDescriptor* d, const char16_t* s) {
        Registrar* r = FromDescriptor(d);
        r->current.group = s;
        Log(r, "descriptor.SetGroup " + Narrow(s));
    }
    static void VXAPI SetVersion(HostEffectDescriptor* d, const char16_t* s) {
        Registrar* r = FromDescriptor(d);
        r->current.version = s;
        Log(r, "descriptor.SetVersion " + Narrow(s));
    }
    static void VXAPI SetNumber(HostEffectDescriptor* d, double v) {
        Registrar* r = FromDescriptor(d);
        r->current.number = v;
        Log(r, "descriptor.SetNumber " + std::to_string(v));
    }
    static void VXAPI SetClassId(HostEffectDescriptor* d, const Guid* g) {
        Registrar* r = FromDescriptor(d);
        r->current.classId = *g;
        Log(r, "descriptor.SetClassId " + GuidText(*g));
    }
    static void VXAPI SetKindAndFlags(HostEffectDescriptor* d, int32_t kind, int32_t flags) {
        Registrar* r = FromDescriptor(d);
        r->current.kind = kind;
        r->current.flags = flags;
        Log(r, "descriptor.SetKindAndFlags " + std::to_string(kind) + " " + std::to_string(flags));
    }
    static void VXAPI Clear(HostEffectDescriptor* d) {
        Registrar* r = FromDescriptor(d);
        r->current = Registration{};
        Log(r, "descriptor.Clear");
    }

    static Status VXAPI ExtQuery(HostDescriptorExtension*, const Guid*, void** out) {
        *out = nullptr;
        return kNoInterface;
    }
    static int32_t VXAPI ExtAddRef(HostDescriptorExtension* e) { return ++FromExtension(e)->extensionRefs; }
    static int32_t VXAPI ExtRelease(HostDescriptorExtension* e) {
        Registrar* r = FromExtension(e);
        Log(r, "extension.Release");
        return --r->extensionRefs;
    }
    static void VXAPI ExtSetOptions(HostDescriptorExtension* e, int32_t a, int32_t b, int32_t c) {
        Log(FromExtension(e), "extension.SetOptions " + std::to_string(a) + " " +
                                  std::to_string(b) + " " + std::to_string(c));
    }
};

namespace {

const HostRegistrarOps kRegistrarOps = {RegistrarOps::RegQuery, RegistrarOps::RegAddRef,
                                        RegistrarOps::RegRelease, nullptr, RegistrarOps::Register};

const HostEffectDescriptorOps kDescriptorOps = [] {
    HostEffectDescriptorOps o{};
    o.QueryInterface = RegistrarOps::DescQuery;
    o.AddRef = RegistrarOps::DescAddRef;
    o.Release = RegistrarOps::DescRelease;
    o.SetName = RegistrarOps::SetName;
    o.SetGroup = RegistrarOps::SetGroup;
    o.SetVersion = RegistrarOps::SetVersion;
    o.SetNumber = RegistrarOps::SetNumber;
    o.SetClassId = RegistrarOps::SetClassId;
    o.SetKindAndFlags = RegistrarOps::SetKindAndFlags;
    o.Clear = RegistrarOps::Clear;
    return o;
}();

const HostDescriptorExtensionOps kExtensionOps = {RegistrarOps::ExtQuery, RegistrarOps::ExtAddRef,
                                                  RegistrarOps::ExtRelease, nullptr, nullptr,
                                                  RegistrarOps::ExtSetOptions};

}  // namespace

Registrar::Registrar(CallLog* l) : log(l) {
    registrarIface_.ops = &kRegistrarOps;
    descriptorIface_.ops = &kDescriptorOps;
    extension_.iface.ops = &kExtensionOps;
    extension_.owner = this;
}

// ------------------------------------------------------------------ library

EffectLibrary EffectLibrary::Load(const std::string& path) {
    EffectLibrary lib;
    lib.module_ = platform::LoadModule(path.c_str());
    if (!lib.module_) {
        lib.error_ = "cannot load " + path + ": " + platform::LastModuleError();
        return lib;
    }
    lib.registerEffects_ = reinterpret_cast<RegisterEffectsFn>(
        platform::FindEntryPoint(lib.module_, "_registerEffects@8"));
    lib.createEffect_ =
        reinterpret_cast<CreateEffectFn>(platform::FindEntryPoint(lib.module_, "_createEffect@4"));
    lib.registerEffect_ =
        reinterpret_cast<RegisterEffectFn>(platform::FindEntryPoint(lib.module_, "registerEffect"));
    if (!lib.ok()) lib.error_ = path + " is not an effect library (entry points missing)";
    return lib;
}

EffectLibrary::~EffectLibrary() { platform::UnloadModule(module_); }

EffectLibrary::EffectLibrary(EffectLibrary&& o) noexcept { *this = std::move(o); }

EffectLibrary& EffectLibrary::operator=(EffectLibrary&& o) noexcept {
    std::swap(module_, o.module_);
    std::swap(registerEffects_, o.registerEffects_);
    std::swap(createEffect_, o.createEffect_);
    std::swap(registerEffect_, o.registerEffect_);
    std::swap(error_, o.error_);
    return *this;
}

Status EffectLibrary::RegisterEffects(Registrar& registrar) const {
    return registerEffects_(registrar.Host(), registrar.Descriptor());
}

EffectInterface* EffectLibrary::CreateEffect(const Guid& classId) const {
    return createEffect_(&classId);
}

// ------------------------------------------------------------------ instance

EffectInstance::EffectInstance(EffectInterface* effect)
    : effect_(effect), context_(&params_) {
    if (effect_) effect_->ops->AddRef(effect_);
    services_.clip = &clip_;
}

EffectInstance::~EffectInstance() {
    if (effect_) effect_->ops->Release(effect_);
}

Status EffectInstance::DefineParameters() {
    return effect_->ops->DefineParameters(effect_, params_.List(), params_.Factory());
}

Status EffectInstance::AttachClip() {
    void* obj = nullptr;
    Status st = effect_->ops->QueryInterface(effect_, &kFrameSourceInterfaceId, &obj);
    if (st != kOk || !obj) return st != kOk ? st : kNoInterface;
    auto* sink = static_cast<FrameSourceInterface*>(obj);
    int32_t out1 = 0, out2 = 0;
    st = sink->ops->SetFrameSource(sink, &out1, &out2, clip_.Host());
    sink->ops->Release(sink);
    return st;
}

Status EffectInstance::Render(std::vector<Frame*> inputs, Frame** output) {
    inputHolders_.clear();
    inputHolders_.reserve(inputs.size());
    for (Frame* f : inputs) inputHolders_.emplace_back(f);
    inputList_.clear();
    for (FrameHolder& h : inputHolders_) inputList_.push_back(h.Host());
    inputs_ = {uint32_t(inputList_.size()), inputList_.data()};
    outputHolder_.set_frame(nullptr);
    Status st = effect_->ops->Prepare(effect_, outputHolder_.Host(), &inputs_, context_.Host(),
                                      nullptr, services_.Host());
    if (st != kOk) return st;
    st = ProcessAgain();
    *output = outputHolder_.frame();
    return st;
}

Status EffectInstance::ProcessAgain() {
    return effect_->ops->Process(effect_, outputHolder_.Host(), &inputs_, context_.Host(),
                                 fieldInformation, services_.Host());
}

int32_t EffectInstance::EditSettings(char form, WindowSource& source) {
    void* out = nullptr;
    const Guid& iid = form == 'A' ? kSettingsInterfaceAId : kSettingsInterfaceBId;
    if (effect_->ops->QueryInterface(effect_, &iid, &out) != kOk || !out) return -1;
    int32_t answer;
    if (form == 'A') {
        auto* a = static_cast<SettingsInterfaceA*>(out);
        answer = a->ops->EditSettings(a, context_.Host(), services_.Host(), source.Host());
        a->ops->Release(a);
    } else {
        auto* b = static_cast<SettingsInterfaceB*>(out);
        answer = b->ops->EditSettings(b, context_.Host(), nullptr, services_.Host(), source.Host());
        b->ops->Release(b);
    }
    return answer;
}

namespace {

bool ParseReal(const std::string& text, double* out) {
    if (text.empty()) return false;
    errno = 0;
    char* end = nullptr;
    double v = std::strtod(text.c_str(), &end);
    if (*end != '\0') return false;
    *out = v;
    return true;
}

bool ParseInteger(const std::string& text, int32_t* out) {
    if (text.empty()) return false;
    errno = 0;
    char* end = nullptr;
    long v = std::strtol(text.c_str(), &end, 10);
    if (*end != '\0' || errno == ERANGE || v < INT32_MIN || v > INT32_MAX) return false;
    *out = int32_t(v);
    return true;
}

}  // namespace

bool EffectInstance::SetValue(const std::string& name, const std::string& text,
                              std::string* error) {
    ParameterRecord* r = params_.ByName(name);
    if (!r) {
        *error = "unknown parameter \"" + name + "\"";
        return false;
    }
    switch (r->kind) {
        case kKindReal:
            if (ParseReal(text, &r->real)) return true;
            break;
        case kKindInteger:
            if (ParseInteger(text, &r->integer)) return true;
            break;
        case kKindBoolean:
            if (text == "true" || text == "1" || text == "on" || text == "yes") {
                r->boolean = 1;
                return true;
            }
            if (text == "false" || text == "0" || text == "off" || text == "no") {
                r->boolean = 0;
                return true;
            }
            break;
        case kKindChoice:
            for (const auto& [i, choice] : r->choiceNames) {
                if (Narrow(choice.c_str()) == text) {
                    r->integer = i;
                    return true;
                }
            }
            if (ParseInteger(text, &r->integer)) return true;
            break;
        default:
            *error = "parameter \"" + name + "\" cannot be set from text";
            return false;
    }
    *error = "value \"" + text + "\" does not fit parameter \"" + name + "\"";
    return false;
}

}  // namespace vx::host
