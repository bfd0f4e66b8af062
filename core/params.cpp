#include "core/params.h"

namespace vx {
namespace {

template <class T>
void ReleaseObject(T*& obj) {
    if (obj) obj->ops->Release(obj);
    obj = nullptr;
}

// Steps shared by every definition: create the parameter, name and number it.
Status CreateParameter(HostParameterList* list, HostParameterFactory* factory, ParamKind kind,
                       const char16_t* name, int32_t index, HostParameter** out) {
    *out = nullptr;
    if (!list || !factory) return kDefineFailed;
    void* obj = nullptr;
    Status st = factory->ops->Create(factory, kind, &kParameterId, &obj);
    auto* param = static_cast<HostParameter*>(obj);
    if (st != kOk || !param) {
        ReleaseObject(param);
        return kDefineFailed;
    }
    param->ops->SetName(param, name);
    param->ops->SetIndex(param, index);
    *out = param;
    return kOk;
}

template <class Value, class V>
Status SetValue(HostParameter* param, Status(VXAPI* getter)(HostParameter*, const Guid*, void**),
                const Guid& id, V v) {
    void* obj = nullptr;
    Status st = getter(param, &id, &obj);
    auto* value = static_cast<Value*>(obj);
    if (st != kOk || !value) {
        ReleaseObject(value);
        return st != kOk ? st : kDefineFailed;
    }
    value->ops->Set(value, v);
    ReleaseObject(value);
    return kOk;
}

// Step 5: the current and the default value both start at the default.
template <class Value, class V>
Status SetCurrentAndDefault(HostParameter* param, const Guid& id, V v) {
    Status st = SetValue<Value>(param, param->ops->GetValue, id, v);
    if (st == kOk) st = SetValue<Value>(param, param->ops->GetDefaultValue, id, v);
    return st;
}

// Step 6: hand the parameter to the list and drop our reference.
Status AddToList(HostParameterList* list, HostParameter* param) {
    Status st = list->ops->Add(list, param);
    ReleaseObject(param);
    return st;
}

template <class Range>
Status QueryRange(HostParameter* param, const Guid& id, Range** out) {
    void* obj = nullptr;
    Status st = param->ops->QueryInterface(param, &id, &obj);
    *out = static_cast<Range*>(obj);
    if (st != kOk || !*out) {
        ReleaseObject(*out);
        return st != kOk ? st : kDefineFailed;
    }
    return kOk;
}

template <class Range, class V>
void FillRange(Range* range, V step, V min, V max, V sliderMin, V sliderMax) {
    range->ops->SetStep(range, step);
    range->ops->SetMin(range, min);
    range->ops->SetMax(range, max);
    if (sliderMin == V(-1)) {
        sliderMin = min;
        sliderMax = max;
    }
    range->ops->SetSliderMin(range, sliderMin);
    range->ops->SetSliderMax(range, sliderMax);
}

template <class Range, class Value, class V>
Status DefineRanged(HostParameterList* list, HostParameterFactory* factory, ParamKind kind,
                    const Guid& rangeId, const Guid& valueId, const char16_t* name,
                    int32_t index, V def, V step, V min, V max, V sliderMin, V sliderMax) {
    HostParameter* param;
    Status st = CreateParameter(list, factory, kind, name, index, &param);
    if (st != kOk) return st;
    Range* range;
    st = QueryRange(param, rangeId, &range);
    if (st == kOk) {
        FillRange(range, step, min, max, sliderMin, sliderMax);
        ReleaseObject(range);
        st = SetCurrentAndDefault<Value>(param, valueId, def);
    }
    if (st != kOk) {
        ReleaseObject(param);
        return st;
    }
    return AddToList(list, param);
}

// Looks up a parameter by index and one of its value interfaces.
template <class Value>
Status OpenValue(HostRenderContext* ctx, int32_t index, const Guid& valueId,
                 HostParameter** param, Value** value) {
    *param = nullptr;
    *value = nullptr;
    if (!ctx) return kDefineFailed;
    void* obj = nullptr;
    Status st = ctx->ops->GetParameter(ctx, index, &kParameterId, &obj);
    *param = static_cast<HostParameter*>(obj);
    if (st != kOk || !*param) {
        ReleaseObject(*param);
        return st != kOk ? st : kDefineFailed;
    }
    obj = nullptr;
    st = (*param)->ops->GetValue(*param, &valueId, &obj);
    *value = static_cast<Value*>(obj);
    if (st != kOk || !*value) {
        ReleaseObject(*value);
        ReleaseObject(*param);
        return st != kOk ? st : kDefineFailed;
    }
    return kOk;
}

template <class Value, class F>
Status WithValue(HostRenderContext* ctx, int32_t index, const Guid& valueId, F use) {
    HostParameter* param;
    Value* value;
    Status st = OpenValue(ctx, index, valueId, &param, &value);
    if (st != kOk) return st;
    use(value);
    ReleaseObject(value);
    ReleaseObject(param);
    return kOk;
}

}  // namespace

Status DefineRealParameter(HostParameterList* list, HostParameterFactory* factory,
                           const char16_t* name, int32_t index, double def, double step,
                           double min, double max, double sliderMin, double sliderMax) {
    return DefineRanged<HostRealRange, HostRealValue>(list, factory, kKindReal, kRealRangeId,
                                                      kRealValueId, name, index, def, step, min,
                                                      max, sliderMin, sliderMax);
}

Status DefineIntegerParameter(HostParameterList* list, HostParameterFactory* factory,
                              const char16_t* name, int32_t index, int32_t def, int32_t step,
                              int32_t min, int32_t max, int32_t sliderMin, int32_t sliderMax) {
    return DefineRanged<HostIntegerRange, HostIntegerValue>(
        list, factory, kKindInteger, kIntegerRangeId, kIntegerValueId, name, index, def, step, min,
        max, sliderMin, sliderMax);
}

Status DefineBooleanParameter(HostParameterList* list, HostParameterFactory* factory,
                              const char16_t* name, int32_t index, bool def) {
    HostParameter* param;
    Status st = CreateParameter(list, factory, kKindBoolean, name, index, &param);
    if (st != kOk) return st;
    st = SetCurrentAndDefault<HostBooleanValue>(param, kBooleanValueId, uint8_t(def ? 1 : 0));
    if (st != kOk) {
        ReleaseObject(param);
        return st;
    }
    return AddToList(list, param);
}

Status DefineChoiceParameter(HostParameterList* list, HostParameterFactory* factory,
                             int32_t count, const char16_t* name, int32_t index, int32_t def,
                             const ChoiceRange& choices) {
    HostParameter* param;
    Status st = CreateParameter(list, factory, kKindChoice, name, index, &param);
    if (st != kOk) return st;
    const size_t listed = choices.form == ChoiceRange::kNames     ? choices.names.size()
                          : choices.form == ChoiceRange::kNumbers ? choices.numbers.size()
                                                                  : 0;
    if (listed > size_t(count < 0 ? 0 : count)) {
        ReleaseObject(param);
        return kDefineFailed;
    }
    if (count != 0) {
        HostChoiceRange* range;
        st = QueryRange(param, kChoiceRangeId, &range);
        if (st != kOk) {
            ReleaseObject(param);
            return st;
        }
        range->ops->SetCount(range, count);
        switch (choices.form) {
            case ChoiceRange::kLimits:
                range->ops->SetFirst(range, choices.first);
                range->ops->SetSecond(range, choices.second);
                break;
            case ChoiceRange::kNames:
                for (size_t i = 0; i < choices.names.size(); ++i)
                    range->ops->SetName(range, int32_t(i), choices.names[i]);
                break;
            case ChoiceRange::kNumbers:
                for (size_t i = 0; i < choices.numbers.size(); ++i)
                    range->ops->SetNumber(range, int32_t(i), choices.numbers[i]);
                break;
            case ChoiceRange::kNone:
                break;
        }
        ReleaseObject(range);
    }
    st = SetCurrentAndDefault<HostIntegerValue>(param, kChoiceValueId, def);
    if (st != kOk) {
        ReleaseObject(param);
        return st;
    }
    return AddToList(list, param);
}

Status DefineDataParameter(HostParameterList* list, HostParameterFactory* factory,
                           const char16_t* name, int32_t index, const void* data, uint32_t size) {
    HostParameter* param;
    Status st = CreateParameter(list, factory, kKindData, name, index, &param);
    if (st != kOk) return st;
    for (auto getter : {param->ops->GetValue, param->ops->GetDefaultValue}) {
        void* obj = nullptr;
        st = getter(param, &kDataValueId, &obj);
        auto* value = static_cast<HostDataValue*>(obj);
        if (st != kOk || !value) {
            ReleaseObject(value);
            ReleaseObject(param);
            return st != kOk ? st : kDefineFailed;
        }
        value->ops->Store(value, size, data);
        ReleaseObject(value);
    }
    return AddToList(list, param);
}

Status DefineParameterTable(HostParameterList* list, HostParameterFactory* factory,
                            ParamTable table) {
    for (const ParamSpec& p : table) {
        switch (p.kind) {
            case kKindReal:
                DefineRealParameter(list, factory, p.name, p.id, p.defaultValue, p.step, p.min,
                                    p.max, p.sliderMin, p.sliderMax);
                break;
            case kKindInteger:
                DefineIntegerParameter(list, factory, p.name, p.id, int32_t(p.defaultValue),
                                       int32_t(p.step), int32_t(p.min), int32_t(p.max),
                                       int32_t(p.sliderMin), int32_t(p.sliderMax));
                break;
            case kKindBoolean:
                DefineBooleanParameter(list, factory, p.name, p.id, p.defaultValue != 0);
                break;
            case kKindChoice: {
                ChoiceRange range;
                range.form = ChoiceRange::kNames;
                range.names = p.choices;
                DefineChoiceParameter(list, factory, int32_t(p.choices.size()), p.name, p.id,
                                      int32_t(p.defaultValue), range);
                break;
            }
            default:
                break;
        }
    }
    return kOk;
}

Status ReadRealParameter(HostRenderContext* ctx, int32_t index, double* out) {
    return WithValue<HostRealValue>(ctx, index, kRealValueId,
                                    [&](HostRealValue* v) { *out = v->ops->Get(v); });
}

Status ReadIntegerParameter(HostRenderContext* ctx, int32_t index, const Guid& valueId,
                            int32_t* out) {
    return WithValue<HostIntegerValue>(ctx, index, valueId,
                                       [&](HostIntegerValue* v) { *out = v->ops->Get(v); });
}

Status ReadBooleanParameter(HostRenderContext* ctx, int32_t index, uint8_t* out) {
    return WithValue<HostBooleanValue>(ctx, index, kBooleanValueId,
                                       [&](HostBooleanValue* v) { *out = v->ops->Get(v); });
}

Status ReadDataParameter(HostRenderContext* ctx, int32_t index, uint32_t* outSize,
                         const void** outData) {
    return WithValue<HostDataValue>(ctx, index, kDataValueId, [&](HostDataValue* v) {
        *outSize = v->ops->Size(v);
        *outData = v->ops->Data(v);
    });
}

Status WriteRealParameter(HostRenderContext* ctx, int32_t index, double value) {
    return WithValue<HostRealValue>(ctx, index, kRealValueId,
                                    [&](HostRealValue* v) { v->ops->Set(v, value); });
}

Status WriteIntegerParameter(HostRenderContext* ctx, int32_t index, int32_t value) {
    return WithValue<HostIntegerValue>(ctx, index, kIntegerValueId,
                                       [&](HostIntegerValue* v) { v->ops->Set(v, value); });
}

Status WriteDataParameter(HostRenderContext* ctx, int32_t index, const void* data,
                          uint32_t size) {
    return WithValue<HostDataValue>(ctx, index, kDataValueId,
                                    [&](HostDataValue* v) { v->ops->Store(v, size, data); });
}

double ReadReal(HostRenderContext* ctx, int32_t index) {
    double v = 0.0;
    ReadRealParameter(ctx, index, &v);
    return v;
}

int32_t ReadInteger(HostRenderContext* ctx, int32_t index) {
    int32_t v = 0;
    ReadIntegerParameter(ctx, index, kIntegerValueId, &v);
    return v;
}

int32_t ReadChoice(HostRenderContext* ctx, int32_t index) {
    int32_t v = 0;
    ReadIntegerParameter(ctx, index, kChoiceValueId, &v);
    return v;
}

bool ReadBoolean(HostRenderContext* ctx, int32_t index) {
    uint8_t v = 0;
    ReadBooleanParameter(ctx, index, &v);
    return v != 0;
}

}  // namespace vx
