#include "host/standin_host.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "platform/platform.h"

namespace vx::host {

size_t CallLog::Count(const std::string& prefix) const {
    size_t n = 0;
    for (const auto& c : calls) n += c.rfind(prefix, 0) == 0;
    return n;
}

std::string Narrow(const char16_t* text) { return platform::NarrowFromWide(text); }

std::string GuidText(const Guid& g) {
    char buf[40];
    std::snprintf(buf, sizeof buf, "{%08X-%04X-%04X-%02X%02X-%02X%02X%02X%02X%02X%02X}",
                  unsigned(g.data1), g.data2, g.data3, g.data4[0], g.data4[1], g.data4[2],
                  g.data4[3], g.data4[4], g.data4[5], g.data4[6], g.data4[7]);
    return buf;
}

namespace {
void Log(CallLog* log, std::string call) {
    if (log) log->Add(std::move(call));
}
template <class T>
T* Cast(void* p) {
    return reinterpret_cast<T*>(p);
}
}  // namespace

// ------------------------------------------------------------------ frames

struct FrameOps {
    static Frame* F(HostFrame* f) { return Frame::From(f); }
    static Status VXAPI QueryInterface(HostFrame* f, const Guid*, void** out) {
        *out = f;
        F(f)->refCount++;
        return kOk;
    }
    static int32_t VXAPI AddRef(HostFrame* f) { return ++F(f)->refCount; }
    static int32_t VXAPI Release(HostFrame* f) { return --F(f)->refCount; }
    static int32_t VXAPI Width(HostFrame* f) { return F(f)->format_.width; }
    static int32_t VXAPI Height(HostFrame* f) { return F(f)->format_.height; }
    static int32_t VXAPI Pitch(HostFrame* f) { return F(f)->pitch_; }
    static uint8_t* VXAPI Bits(HostFrame* f) { return F(f)->storage_.data(); }
    static int32_t VXAPI BitsPerPixel(HostFrame* f) { return F(f)->format_.bitsPerPixel; }
    static int32_t VXAPI PixelFormat(HostFrame* f) { return F(f)->format_.pixelFormat; }
    static int32_t VXAPI IsBottomUp(HostFrame* f) { return F(f)->format_.bottomUp ? 1 : 0; }
    static int32_t VXAPI FieldCode(HostFrame* f) { return F(f)->format_.fieldCode; }
    static Status VXAPI GetInterface(HostFrame* f, const Guid* iid, void** out) {
        Log(F(f)->log_, "frame.GetInterface " + GuidText(*iid));
        return QueryInterface(f, iid, out);
    }
    // Puts this frame's picture into the other frame, row by row, as far as both reach.
    static Status VXAPI CopyInto(HostFrame* f, HostFrame* other, int32_t mode) {
        Frame* a = F(f);
        Frame* b = F(other);
        Log(a->log_, "frame.CopyInto " + std::to_string(mode));
        const int32_t rows = std::min(a->format_.height, b->format_.height);
        const int32_t bytes = std::min(a->format_.width * a->BytesPerPixel(),
                                       b->format_.width * b->BytesPerPixel());
        for (int32_t y = 0; y < rows; ++y) std::memcpy(b->Row(y), a->Row(y), size_t(bytes));
        return kOk;
    }
    static Status VXAPI SetScaleOffset(HostFrame* f, double a, double b, double c, double d) {
        Frame* fr = F(f);
        Log(fr->log_, "frame.SetScaleOffset");
        fr->scaleOffset[0] = a, fr->scaleOffset[1] = b, fr->scaleOffset[2] = c,
        fr->scaleOffset[3] = d;
        fr->scaleOffsetSet = true;
        return kOk;
    }
    static Status VXAPI PrepareAlpha(HostFrame* f, int32_t v) {
        Log(F(f)->log_, "frame.PrepareAlpha " + std::to_string(v));
        return kOk;
    }
    static Status VXAPI Clear(HostFrame* f) {
        Log(F(f)->log_, "frame.Clear");
        F(f)->Fill(0);
        return kOk;
    }
    static Status VXAPI MarkAlpha(HostFrame* f) {
        Log(F(f)->log_, "frame.MarkAlpha");
        F(f)->alphaMarked = true;
        return kOk;
    }
    static const HostFrameOps kOps;
};

const HostFrameOps FrameOps::kOps = [] {
    HostFrameOps o{};
    o.QueryInterface = QueryInterface;
    o.AddRef = AddRef;
    o.Release = Release;
    o.Width = Width;
    o.Height = Height;
    o.Pitch = Pitch;
    o.Bits = Bits;
    o.BitsPerPixel = BitsPerPixel;
    o.PixelFormat = PixelFormat;
    o.IsBottomUp = IsBottomUp;
    o.FieldCode = FieldCode;
    o.GetInterface = GetInterface;
    o.CopyInto = CopyInto;
    o.SetScaleOffset = SetScaleOffset;
    o.PrepareAlpha = PrepareAlpha;
    o.Clear = Clear;
    o.MarkAlpha = MarkAlpha;
    return o;
}();

Frame::Frame(const FrameFormat& format, CallLog* log) : format_(format), log_(log) {
    iface_.ops = &FrameOps::kOps;
    pitch_ = format.width * (format.bitsPerPixel / 8) + format.rowPadding;
    storage_.assign(size_t(pitch_) * size_t(format.height > 0 ? format.height : 0) + 1, 0xCD);
    // The extra byte past the last row stays untouched by a correct effect.
}

uint8_t* Frame::Row(int32_t y) {
    int32_t stored = format_.bottomUp ? format_.height - 1 - y : y;
    return storage_.data() + size_t(stored) * size_t(pitch_);
}

const uint8_t* Frame::Row(int32_t y) const { return const_cast<Frame*>(this)->Row(y); }

std::vector<uint8_t> Frame::Pixels() const {
    const size_t rowBytes = size_t(format_.width) * size_t(BytesPerPixel());
    std::vector<uint8_t> out;
    out.reserve(rowBytes * size_t(format_.height));
    for (int32_t y = 0; y < format_.height; ++y) out.insert(out.end(), Row(y), Row(y) + rowBytes);
    return out;
}

void Frame::SetPixels(const std::vector<uint8_t>& rows) {
    const size_t rowBytes = size_t(format_.width) * size_t(BytesPerPixel());
    for (int32_t y = 0; y < format_.height && (size_t(y) + 1) * rowBytes <= rows.size(); ++y)
        std::memcpy(Row(y), rows.data() + size_t(y) * rowBytes, rowBytes);
}

void Frame::Fill(uint8_t value) {
    const size_t rowBytes = size_t(format_.width) * size_t(BytesPerPixel());
    for (int32_t y = 0; y < format_.height; ++y) std::memset(Row(y), value, rowBytes);
}

namespace {
Status VXAPI HolderQueryInterface(HostFrameHolder*, const Guid*, void** out) {
    *out = nullptr;
    return kNoInterface;
}
int32_t VXAPI HolderAddRef(HostFrameHolder*) { return 1; }
int32_t VXAPI HolderRelease(HostFrameHolder*) { return 1; }
HostFrame* VXAPI HolderGetFrame(HostFrameHolder* h) {
    Frame* f = FrameHolder::From(h)->frame();
    return f ? f->Host() : nullptr;
}
}  // namespace

const HostFrameHolderOps FrameHolder::kOps = {HolderQueryInterface, HolderAddRef, HolderRelease,
                                              nullptr, HolderGetFrame};

// ------------------------------------------------------------------ parameters

// Every object handed to the library is a facade: an operation table pointer
// followed by the owner, so one record answers for several interfaces.
struct Facade {
    const void* ops;
    ParameterRecord* record;
    ParameterSet* set;
};

struct ParameterSet::Impl {
    struct Object {
        ParameterRecord record;
        Facade parameter, realValue, realDefault, intValue, intDefault, choiceValue,
            choiceDefault, boolValue, boolDefault, dataValue, dataDefault, stringValue, realRange,
            intRange, choiceRange;
        Facade stringDefault;
    };
    std::vector<std::unique_ptr<Object>> objects;
    HostParameterList list;
    HostParameterFactory factory;
    ParameterSet* owner;

    static Facade* Of(void* p) { return reinterpret_cast<Facade*>(p); }
    static ParameterRecord& R(void* p) { return *Of(p)->record; }

    template <class T>
    static int32_t VXAPI AddRef(T* p) {
        Of(p)->set->CountReference(1);
        return Of(p)->set->Outstanding();
    }
    template <class T>
    static int32_t VXAPI Release(T* p) {
        Of(p)->set->CountReference(-1);
        return Of(p)->set->Outstanding();
    }
    template <class T>
    static Status VXAPI NoQuery(T*, const Guid*, void** out) {
        *out = nullptr;
        return kNoInterface;
    }

    // Values.
    static double VXAPI RealGet(HostRealValue* v) { return R(v).real; }
    static Status VXAPI RealSet(HostRealValue* v, double x) { return R(v).real = x, kOk; }
    static double VXAPI RealDefGet(HostRealValue* v) { return R(v).realDefault; }
    static Status VXAPI RealDefSet(HostRealValue* v, double x) { return R(v).realDefault = x, kOk; }
    static int32_t VXAPI IntGet(HostIntegerValue* v) { return R(v).integer; }
    static Status VXAPI IntSet(HostIntegerValue* v, int32_t x) { return R(v).integer = x, kOk; }
    static int32_t VXAPI IntDefGet(HostIntegerValue* v) { return R(v).integerDefault; }
    static Status VXAPI IntDefSet(HostIntegerValue* v, int32_t x) {
        return R(v).integerDefault = x, kOk;
    }
    static uint8_t VXAPI BoolGet(HostBooleanValue* v) { return R(v).boolean; }
    static Status VXAPI BoolSet(HostBooleanValue* v, uint8_t x) { return R(v).boolean = x, kOk; }
    static uint8_t VXAPI BoolDefGet(HostBooleanValue* v) { return R(v).booleanDefault; }
    static Status VXAPI BoolDefSet(HostBooleanValue* v, uint8_t x) {
        return R(v).booleanDefault = x, kOk;
    }
    static uint32_t VXAPI DataSize(HostDataValue* v) { return uint32_t(R(v).data.size()); }
    static const void* VXAPI DataGet(HostDataValue* v) { return R(v).data.data(); }
    static Status VXAPI DataStore(HostDataValue* v, uint32_t size, const void* data) {
        auto* p = static_cast<const uint8_t*>(data);
        R(v).data.assign(p, p ? p + size : p);
        return kOk;
    }
    static uint32_t VXAPI DataDefSize(HostDataValue* v) { return uint32_t(R(v).dataDefault.size()); }
    static const void* VXAPI DataDefGet(HostDataValue* v) { return R(v).dataDefault.data(); }
    static Status VXAPI DataDefStore(HostDataValue* v, uint32_t size, const void* data) {
        auto* p = static_cast<const uint8_t*>(data);
        R(v).dataDefault.assign(p, p ? p + size : p);
        return kOk;
    }
    static const char16_t* VXAPI StringGet(HostStringValue* v) { return R(v).text.c_str(); }
    static Status VXAPI StringSet(HostStringValue* v, const char16_t* x) {
        return R(v).text = x ? x : u"", kOk;
    }
    static const char16_t* VXAPI StringDefGet(HostStringValue* v) {
        return R(v).textDefault.c_str();
    }
    static Status VXAPI StringDefSet(HostStringValue* v, const char16_t* x) {
        return R(v).textDefault = x ? x : u"", kOk;
    }

    // Ranges.
    static Status VXAPI RStep(HostRealRange* r, double v) { return R(r).step = v, kOk; }
    static Status VXAPI RSMin(HostRealRange* r, double v) { return R(r).sliderMin = v, kOk; }
    static Status VXAPI RSMax(HostRealRange* r, double v) { return R(r).sliderMax = v, kOk; }
    static Status VXAPI RMin(HostRealRange* r, double v) { return R(r).min = v, kOk; }
    static Status VXAPI RMax(HostRealRange* r, double v) { return R(r).max = v, kOk; }
    static Status VXAPI IStep(HostIntegerRange* r, int32_t v) { return R(r).step = v, kOk; }
    static Status VXAPI ISMin(HostIntegerRange* r, int32_t v) { return R(r).sliderMin = v, kOk; }
    static Status VXAPI ISMax(HostIntegerRange* r, int32_t v) { return R(r).sliderMax = v, kOk; }
    static Status VXAPI IMin(HostIntegerRange* r, int32_t v) { return R(r).min = v, kOk; }
    static Status VXAPI IMax(HostIntegerRange* r, int32_t v) { return R(r).max = v, kOk; }
    static Status VXAPI CCount(HostChoiceRange* r, int32_t v) { return R(r).choiceCount = v, kOk; }
    static Status VXAPI CName(HostChoiceRange* r, int32_t i, const char16_t* name) {
        R(r).choiceNames[i] = name ? name : u"";
        return kOk;
    }
    static Status VXAPI CNumber(HostChoiceRange* r, int32_t i, int32_t n) {
        R(r).choiceNumbers[i] = n;
        return kOk;
    }
    static Status VXAPI CFirst(HostChoiceRange* r, int32_t v) { return R(r).choiceFirst = v, kOk; }
    static Status VXAPI CSecond(HostChoiceRange* r, int32_t v) {
        return R(r).choiceSecond = v, kOk;
    }

    // The parameter.
    static Object* Obj(HostParameter* p) {
        return reinterpret_cast<Object*>(reinterpret_cast<char*>(p) - offsetof(Object, parameter));
    }
    static Status Hand(Facade* f, void** out) {
        *out = f;
        f->set->CountReference(1);
        return kOk;
    }
    static Status VXAPI ParamQuery(HostParameter* p, const Guid* iid, void** out) {
        Object* o = Obj(p);
        const int32_t kind = o->record.kind;
        if (kind == kKindReal && SameGuid(*iid, kRealRangeId)) return Hand(&o->realRange, out);
        if (kind == kKindInteger && SameGuid(*iid, kIntegerRangeId)) return Hand(&o->intRange, out);
        if (kind == kKindChoice && SameGuid(*iid, kChoiceRangeId))
            return Hand(&o->choiceRange, out);
        *out = nullptr;
        return kNoInterface;
    }
    static Status VXAPI ParamSetName(HostParameter* p, const char16_t* name) {
        Obj(p)->record.name = name ? name : u"";
        return kOk;
    }
    static Status VXAPI ParamSetIndex(HostParameter* p, int32_t index) {
        Obj(p)->record.index = index;
        return kOk;
    }
    static Status Value(Object* o, const Guid& iid, void** out, bool def) {
        const int32_t kind = o->record.kind;
        if (kind == kKindReal && SameGuid(iid, kRealValueId))
            return Hand(def ? &o->realDefault : &o->realValue, out);
        if (kind == kKindInteger && SameGuid(iid, kIntegerValueId))
            return Hand(def ? &o->intDefault : &o->intValue, out);
        if (kind == kKindChoice && SameGuid(iid, kChoiceValueId))
            return Hand(def ? &o->choiceDefault : &o->choiceValue, out);
        if (kind == kKindBoolean && SameGuid(iid, kBooleanValueId))
            return Hand(def ? &o->boolDefault : &o->boolValue, out);
        if (kind == kKindData && SameGuid(iid, kDataValueId))
            return Hand(def ? &o->dataDefault : &o->dataValue, out);
        if (kind == kKindString && SameGuid(iid, kStringValueId))
            return Hand(def ? &o->stringDefault : &o->stringValue, out);
        *out = nullptr;
        return kNoInterface;
    }
    static Status VXAPI ParamValue(HostParameter* p, const Guid* iid, void** out) {
        return Value(Obj(p), *iid, out, false);
    }
    static Status VXAPI ParamDefault(HostParameter* p, const Guid* iid, void** out) {
        return Value(Obj(p), *iid, out, true);
    }

    // List and factory.
    static Impl* FromList(HostParameterList* l) {
        return reinterpret_cast<Impl*>(reinterpret_cast<char*>(l) - offsetof(Impl, list));
    }
    static Impl* FromFactory(HostParameterFactory* f) {
        return reinterpret_cast<Impl*>(reinterpret_cast<char*>(f) - offsetof(Impl, factory));
    }
    static Status VXAPI ListAdd(HostParameterList* l, HostParameter* p) {
        Impl* impl = FromList(l);
        ParameterRecord* r = &Obj(p)->record;
        Log(impl->owner->log, "list.Add " + std::to_string(r->index) + " " + Narrow(r->name.c_str()));
        impl->owner->declared_.push_back(r);
        return kOk;
    }
    static Status VXAPI FactoryCreate(HostParameterFactory* f, int32_t kind, const Guid* iid,
                                      void** out) {
        Impl* impl = FromFactory(f);
        *out = nullptr;
        if (impl->owner->refuseCreate || !SameGuid(*iid, kParameterId)) return kNoInterface;
        Object* o = impl->NewObject(kind);
        return Hand(&o->parameter, out);
    }

    Object* NewObject(int32_t kind);
};

using PI = ParameterSet::Impl;

#define VX_COMMON(T) PI::NoQuery<T>, PI::AddRef<T>, PI::Release<T>

static const HostRealValueOps kRealValueOps = {VX_COMMON(HostRealValue), nullptr, nullptr,
                                               PI::RealGet, PI::RealSet};
static const HostRealValueOps kRealDefaultOps = {VX_COMMON(HostRealValue), nullptr, nullptr,
                                                 PI::RealDefGet, PI::RealDefSet};
static const HostIntegerValueOps kIntValueOps = {VX_COMMON(HostIntegerValue), nullptr, nullptr,
                                                 PI::IntGet, PI::IntSet};
static const HostIntegerValueOps kIntDefaultOps = {VX_COMMON(HostIntegerValue), nullptr, nullptr,
                                                   PI::IntDefGet, PI::IntDefSet};
static const HostBooleanValueOps kBoolValueOps = {VX_COMMON(HostBooleanValue), nullptr, nullptr,
                                                  PI::BoolGet, PI::BoolSet};
static const HostBooleanValueOps kBoolDefaultOps = {VX_COMMON(HostBooleanValue), nullptr, nullptr,
                                                    PI::BoolDefGet, PI::BoolDefSet};
static const HostDataValueOps kDataValueOps = {VX_COMMON(HostDataValue), nullptr, nullptr,
                                               PI::DataSize, PI::DataGet, PI::DataStore};
static const HostDataValueOps kDataDefaultOps = {VX_COMMON(HostDataValue), nullptr, nullptr,
                                                 PI::DataDefSize, PI::DataDefGet, PI::DataDefStore};
static const HostStringValueOps kStringValueOps = {VX_COMMON(HostStringValue), nullptr, nullptr,
                                                   PI::StringGet, PI::StringSet};
static const HostStringValueOps kStringDefaultOps = {VX_COMMON(HostStringValue), nullptr, nullptr,
                                                     PI::StringDefGet, PI::StringDefSet};
static const HostRealRangeOps kRealRangeOps = {VX_COMMON(HostRealRange), nullptr, nullptr,
                                               PI::RStep, nullptr, PI::RSMin, nullptr,
                                               PI::RSMax, nullptr, PI::RMin, nullptr,
                                               PI::RMax};
static const HostIntegerRangeOps kIntRangeOps = {VX_COMMON(HostIntegerRange), nullptr, nullptr,
                                                 PI::IStep, nullptr, PI::ISMin, nullptr,
                                                 PI::ISMax, nullptr, PI::IMin, nullptr,
                                                 PI::IMax};
static const HostChoiceRangeOps kChoiceRangeOps = {VX_COMMON(HostChoiceRange), nullptr, nullptr,
                                                   PI::CCount, nullptr, PI::CName, nullptr,
                                                   PI::CNumber, nullptr, PI::CFirst, nullptr,
                                                   PI::CSecond};
static const HostParameterOps kParameterOps = {
    PI::ParamQuery, PI::AddRef<HostParameter>, PI::Release<HostParameter>, nullptr, nullptr,
    nullptr, PI::ParamSetName, nullptr, PI::ParamSetIndex, nullptr, nullptr, PI::ParamValue,
    PI::ParamDefault};
static const HostParameterListOps kListOps = {VX_COMMON(HostParameterList), nullptr, nullptr,
                                              nullptr, PI::ListAdd};
static const HostParameterFactoryOps kFactoryOps = {VX_COMMON(HostParameterFactory), nullptr,
                                                    nullptr, nullptr, PI::FactoryCreate};
#undef VX_COMMON

PI::Object* PI::NewObject(int32_t kind) {
    auto o = std::make_unique<Object>();
    o->record.kind = kind;
    auto face = [&](Facade& f, const void* ops) { f = {ops, &o->record, owner}; };
    face(o->parameter, &kParameterOps);
    face(o->realValue, &kRealValueOps);
    face(o->realDefault, &kRealDefaultOps);
    face(o->intValue, &kIntValueOps);
    face(o->intDefault, &kIntDefaultOps);
    face(o->choiceValue, &kIntValueOps);
    face(o->choiceDefault, &kIntDefaultOps);
    face(o->boolValue, &kBoolValueOps);
    face(o->boolDefault, &kBoolDefaultOps);
    face(o->dataValue, &kDataValueOps);
    face(o->dataDefault, &kDataDefaultOps);
    face(o->stringValue, &kStringValueOps);
    face(o->stringDefault, &kStringDefaultOps);
    face(o->realRange, &kRealRangeOps);
    face(o->intRange, &kIntRangeOps);
    face(o->choiceRange, &kChoiceRangeOps);
    objects.push_back(std::move(o));
    return objects.back().get();
}

ParameterSet::ParameterSet() : impl_(std::make_unique<Impl>()) {
    impl_->list.ops = &kListOps;
    impl_->factory.ops = &kFactoryOps;
    impl_->owner = this;
}

ParameterSet::~ParameterSet() = default;

HostParameterList* ParameterSet::List() { return &impl_->list; }
HostParameterFactory* ParameterSet::Factory() { return &impl_->factory; }

ParameterRecord* ParameterSet::ByIndex(int32_t index) {
    // The latest declaration of an index wins, as a host re-reading an effect would see it.
    for (auto it = declared_.rbegin(); it != declared_.rend(); ++it)
        if ((*it)->index == index) return *it;
    return nullptr;
}

ParameterRecord* ParameterSet::ByName(const std::string& name) {
    for (ParameterRecord* r : declared_)
        if (Narrow(r->name.c_str()) == name) return r;
    return nullptr;
}

ParameterRecord* ParameterSet::Add(int32_t kind, int32_t index) {
    Impl::Object* o = impl_->NewObject(kind);
    o->record.index = index;
    declared_.push_back(&o->record);
    return &o->record;
}

// ------------------------------------------------------------------ render context

namespace {

RenderContext* Ctx(HostRenderContext* c) { return RenderContext::From(c); }

Status VXAPI CtxQuery(HostRenderContext*, const Guid*, void** out) {
    *out = nullptr;
    return kNoInterface;
}
int32_t VXAPI CtxAddRef(HostRenderContext*) { return 1; }
int32_t VXAPI CtxRelease(HostRenderContext*) { return 1; }
Status VXAPI CtxGetParameter(HostRenderContext* c, int32_t index, const Guid* iid, void** out) {
    *out = nullptr;
    ParameterSet* set = Ctx(c)->params;
    ParameterRecord* r = set->ByIndex(index);
    if (!r || !SameGuid(*iid, kParameterId)) return kNoInterface;
    // The facade of the parameter sits in the same object as the record.
    auto* object = reinterpret_cast<ParameterSet::Impl::Object*>(
        reinterpret_cast<char*>(r) - offsetof(ParameterSet::Impl::Object, record));
    *out = &object->parameter;
    set->CountReference(1);
    return kOk;
}
const TimeValue* VXAPI CtxStart(HostRenderContext* c) { return &Ctx(c)->start; }
const TimeValue* VXAPI CtxDuration(HostRenderContext* c) { return &Ctx(c)->duration; }
const TimeValue* VXAPI CtxNow(HostRenderContext* c) { return &Ctx(c)->now; }

const HostRenderContextOps kContextOps = [] {
    HostRenderContextOps o{};
    o.QueryInterface = CtxQuery;
    o.AddRef = CtxAddRef;
    o.Release = CtxRelease;
    o.GetParameter = CtxGetParameter;
    o.StartTime = CtxStart;
    o.Duration = CtxDuration;
    o.CurrentTime = CtxNow;
    return o;
}();

}  // namespace

RenderContext::RenderContext(ParameterSet* p) : params(p) { iface_.ops = &kContextOps; }

// ------------------------------------------------------------------ services

namespace {

Services* Svc(HostServices* s) { return Services::From(s); }

Status VXAPI SvcQuery(HostServices*, const Guid*, void** out) {
    *out = nullptr;
    return kNoInterface;
}
int32_t VXAPI SvcAddRef(HostServices*) { return 1; }
int32_t VXAPI SvcRelease(HostServices*) { return 1; }

// A new frame shaped like the given one.
Status VXAPI SvcCreateOutput(HostServices* s, const Guid* iid, HostFrameHolder* output,
                             HostUnknown* like, int32_t a, int32_t b) {
    Services* svc = Svc(s);
    Log(svc->log, "services.CreateOutputFrame " + GuidText(*iid) + " " + std::to_string(a) + " " +
                      std::to_string(b));
    if (svc->failWith) return svc->failWith;
    if (!like || !output) return kNoFrame;
    Frame* model = Frame::From(reinterpret_cast<HostFrame*>(like));
    FrameFormat format = model->Format();
    const bool reuse = !svc->made.empty() && svc->made.back().get() != model &&
                       svc->made.back()->Format() == format;
    if (!reuse) svc->made.push_back(std::make_unique<Frame>(format, svc->log));
    FrameHolder::From(output)->set_frame(svc->made.back().get());
    return kOk;
}

Status VXAPI SvcShareInput(HostServices* s, const Guid* iid, HostFrameHolder* output,
                           HostFrameHolder* input) {
    Services* svc = Svc(s);
    Log(svc->log, "services.ShareInputFrame " + GuidText(*iid));
    if (svc->failWith) return svc->failWith;
    FrameHolder::From(output)->set_frame(FrameHolder::From(input)->frame());
    return kOk;
}

Status MakeImage(const char* op, HostServices* s, HostFrame* frame, const Guid* iid, void** out,
                 int32_t a, int32_t b, int32_t c) {
    Services* svc = Svc(s);
    Log(svc->log, std::string("services.") + op + " " + GuidText(*iid) + " " + std::to_string(a) +
                      " " + std::to_string(b) + " " + std::to_string(c));
    *out = nullptr;
    if (svc->failWith) return svc->failWith;
    if (svc->refuseImages || !frame || !SameGuid(*iid, kImageId)) return kNoInterface;
    svc->images.push_back(
        std::make_unique<Image>(*Frame::From(frame), svc->imageBitsPerPixel, svc->imageBottomUp));
    *out = svc->images.back()->Host();
    return kOk;
}

Status VXAPI SvcImageOfFrame(HostServices* s, HostFrame* frame, const Guid* iid, void** out,
                             int32_t a, int32_t b, int32_t c) {
    return MakeImage("ImageOfFrame", s, frame, iid, out, a, b, c);
}

Status VXAPI SvcImageOfRenderedFrame(HostServices* s, HostFrame* frame, const Guid* iid,
                                     void** out, int32_t a, int32_t b, int32_t c) {
    return MakeImage("ImageOfRenderedFrame", s, frame, iid, out, a, b, c);
}

// A frame of the clip, by the values the clip's frame source answered.
Status VXAPI SvcClipFrame(HostServices* s, const Guid* iid, void** out, int32_t number,
                          int32_t index, int32_t a, int32_t b) {
    Services* svc = Svc(s);
    Log(svc->log, "services.ClipFrame " + GuidText(*iid) + " " + std::to_string(number) + " " +
                      std::to_string(index) + " " + std::to_string(a) + " " + std::to_string(b));
    *out = nullptr;
    if (svc->failWith) return svc->failWith;
    if (!SameGuid(*iid, kClipFrameId)) return kNoInterface;
    Clip* clip = svc->clip;
    Frame* frame = clip && clip->number == number ? clip->At(index) : nullptr;
    if (!frame) return kNoFrame;
    ++frame->refCount;
    *out = frame->Host();
    return kOk;
}

Status VXAPI SvcCreateFrame(HostServices* s, const Guid* iid, void** out, int32_t width,
                            int32_t height, int32_t bytes, int32_t a, int32_t b, int32_t c,
                            float scale, int32_t d) {
    Services* svc = Svc(s);
    char args[128];
    std::snprintf(args, sizeof args, " %d %d %d %d %d %d %g %d", width, height, bytes, a, b, c,
                  double(scale), d);
    Log(svc->log, "services.CreateFrame " + GuidText(*iid) + args);
    *out = nullptr;
    if (svc->failWith) return svc->failWith;
    FrameFormat format;
    format.width = svc->createdWidth ? svc->createdWidth : width;
    format.height = svc->createdHeight ? svc->createdHeight : height;
    format.bitsPerPixel = bytes * 8;
    svc->createdFrames.push_back(std::make_unique<Frame>(format, svc->log));
    *out = svc->createdFrames.back()->Host();
    return kOk;
}

const HostServicesOps kServicesOps = [] {
    HostServicesOps o{};
    o.QueryInterface = SvcQuery;
    o.AddRef = SvcAddRef;
    o.Release = SvcRelease;
    o.CreateOutputFrame = SvcCreateOutput;
    o.ShareInputFrame = SvcShareInput;
    o.ClipFrame = SvcClipFrame;
    o.ImageOfFrame = SvcImageOfFrame;
    o.ImageOfRenderedFrame = SvcImageOfRenderedFrame;
    o.CreateFrame = SvcCreateFrame;
    return o;
}();

}  // namespace

Services::Services(CallLog* l) : log(l) { iface_.ops = &kServicesOps; }

// ------------------------------------------------------------------ clip

namespace {

Clip* ClipOf(HostFrameSource* s) { return Clip::From(s); }
Status VXAPI SourceQuery(HostFrameSource*, const Guid*, void** out) {
    *out = nullptr;
    return kNoInterface;
}
int32_t VXAPI SourceAddRef(HostFrameSource* s) { return ++ClipOf(s)->refCount; }
int32_t VXAPI SourceRelease(HostFrameSource* s) { return --ClipOf(s)->refCount; }
Status VXAPI SourceLocate(HostFrameSource* s, int32_t offset, HostUnknown*, int32_t* number,
                          int32_t* index, int32_t* a, int32_t* b) {
    Clip* clip = ClipOf(s);
    Log(clip->log, "source.LocateFrame " + std::to_string(offset));
    const int64_t at = int64_t(clip->current) - offset;
    if (at < 0 || at >= int64_t(clip->frames.size())) return kNoFrame;
    *number = clip->number, *index = int32_t(at), *a = 0, *b = 0;
    return kOk;
}

const HostFrameSourceOps kFrameSourceOps = {SourceQuery, SourceAddRef, SourceRelease, nullptr,
                                            SourceLocate};

int32_t NextClipNumber() {
    static int32_t next = 1;
    return next++;
}

}  // namespace

Clip::Clip() : number(NextClipNumber()) { iface_.ops = &kFrameSourceOps; }

Frame* Clip::At(int32_t index) const {
    if (index < 0 || size_t(index) >= frames.size()) return nullptr;
    for (int32_t m : missing)
        if (m == index) return nullptr;
    return frames[size_t(index)];
}

int32_t Clip::Outstanding() const {
    int32_t n = 0;
    for (const Frame* f : frames) n += f->refCount - 1;
    return n;
}

// ------------------------------------------------------------------ images

namespace {

Image* Img(HostImage* i) { return Image::From(i); }
Status VXAPI ImageQuery(HostImage*, const Guid*, void** out) {
    *out = nullptr;
    return kNoInterface;
}
int32_t VXAPI ImageAddRef(HostImage* i) { return ++Img(i)->refCount; }
int32_t VXAPI ImageRelease(HostImage* i) { return --Img(i)->refCount; }
int32_t VXAPI ImageWidth(HostImage* i) { return Img(i)->width; }
int32_t VXAPI ImageHeight(HostImage* i) { return Img(i)->height; }
uint8_t* VXAPI ImageBits(HostImage* i) { return Img(i)->storage.data(); }
int32_t VXAPI ImageBottomUp(HostImage* i) { return Img(i)->bottomUp ? 1 : 0; }
Status VXAPI ImageHeader(HostImage* i, BitmapInfoHeader* h) {
    const Image* img = Img(i);
    *h = BitmapInfoHeader{};
    h->size = sizeof *h;
    h->width = img->width;
    h->height = img->bottomUp ? img->height : -img->height;
    h->planes = 1;
    h->bitCount = uint16_t(img->bitsPerPixel);
    h->sizeImage = uint32_t(img->storage.size());
    return kOk;
}

const HostImageOps kImageOps = [] {
    HostImageOps o{};
    o.QueryInterface = ImageQuery;
    o.AddRef = ImageAddRef;
    o.Release = ImageRelease;
    o.Width = ImageWidth;
    o.Height = ImageHeight;
    o.Bits = ImageBits;
    o.IsBottomUp = ImageBottomUp;
    o.GetBitmapInfoHeader = ImageHeader;
    return o;
}();

}  // namespace

Image::Image(const Frame& frame, int32_t bpp, bool up)
    : width(frame.Format().width),
      height(frame.Format().height),
      bitsPerPixel(bpp),
      pitch((width * bpp + 31) / 32 * 4),
      bottomUp(up) {
    iface_.ops = &kImageOps;
    storage.assign(size_t(pitch) * size_t(height), 0);
    const int32_t from = frame.BytesPerPixel(), to = bpp / 8;
    for (int32_t y = 0; y < height; ++y) {
        const uint8_t* src = frame.Row(y);
        uint8_t* dst = storage.data() + size_t(bottomUp ? height - 1 - y : y) * size_t(pitch);
        for (int32_t x = 0; x < width; ++x)
            for (int32_t c = 0; c < to; ++c) dst[x * to + c] = c < from ? src[x * from + c] : 255;
    }
}

// ------------------------------------------------------------------ window source

namespace {

WindowSource* Win(HostWindowSource* w) { return WindowSource::From(w); }
Status VXAPI WinQuery(HostWindowSource*, const Guid*, void** out) {
    *out = nullptr;
    return kNoInterface;
}
int32_t VXAPI WinAddRef(HostWindowSource*) { return 1; }
int32_t VXAPI WinRelease(HostWindowSource*) { return 1; }
void* VXAPI WinParent(HostWindowSource* w) { return Win(w)->parentWindow; }
Status VXAPI WinRender(HostWindowSource* w, int32_t input, const TimeValue* at, HostFrame* into) {
    WindowSource* source = Win(w);
    source->requests.push_back({input, *at});
    if (!into) return kNoFrame;
    return source->render(input, *at, *Frame::From(into)) ? kOk : kNoFrame;
}

const HostWindowSourceOps kWindowSourceOps = {WinQuery, WinAddRef, WinRelease, nullptr, WinParent,
                                              WinRender};

}  // namespace

WindowSource::WindowSource() : render([](int32_t input, const TimeValue& at, Frame& frame) {
    PaintInput(input, at, frame);
    return true;
}) {
    iface_.ops = &kWindowSourceOps;
}

void WindowSource::PaintInput(int32_t input, const TimeValue& at, Frame& frame) {
    const int64_t number = at.unitsPerFrame > 0 ? at.count / at.unitsPerFrame : at.count;
    const int32_t bytes = frame.BytesPerPixel();
    for (int32_t y = 0; y < frame.Format().height; ++y) {
        uint8_t* row = frame.Row(y);
        for (int32_t x = 0; x < frame.Format().width; ++x) {
            uint8_t* p = row + x * bytes;
            p[0] = uint8_t(x), p[1] = uint8_t(y), p[2] = uint8_t(number + 100 * input);
            if (bytes == 4) p[3] = 255;
        }
    }
}

// ------------------------------------------------------------------ field information

namespace {

FieldInformation* Fld(HostFieldInformation* f) { return FieldInformation::From(f); }
Status VXAPI FieldQuery(HostFieldInformation*, const Guid*, void** out) {
    *out = nullptr;
    return kNoInterface;
}
int32_t VXAPI FieldAddRef(HostFieldInformation*) { return 1; }
int32_t VXAPI FieldRelease(HostFieldInformation*) { return 1; }
int32_t VXAPI FieldIndicator(HostFieldInformation* f) {
    Fld(f)->calls.push_back(10);
    return Fld(f)->fieldIndicator;
}
int32_t VXAPI FieldParity(HostFieldInformation* f) {
    Fld(f)->calls.push_back(11);
    return Fld(f)->parity;
}
int32_t VXAPI FieldValue12(HostFieldInformation* f) {
    Fld(f)->calls.push_back(12);
    return 0;
}
double VXAPI FieldNumber(HostFieldInformation* f) {
    Fld(f)->calls.push_back(14);
    return Fld(f)->number;
}

const HostFieldInformationOps kFieldOps = [] {
    HostFieldInformationOps o{};
    o.QueryInterface = FieldQuery;
    o.AddRef = FieldAddRef;
    o.Release = FieldRelease;
    o.FieldIndicator = FieldIndicator;
    o.Parity = FieldParity;
    o.Value12 = FieldValue12;
    o.Number = FieldNumber;
    return o;
}();

}  // namespace

FieldInformation::FieldInformation() { iface_.ops = &kFieldOps; }

}  // namespace vx::host
