// Declaring, reading and writing an effect's parameters through the host.
//
// Every operation answers a status; readers leave their output untouched on
// failure, so callers set a default first.  The Read* shorthands below do that
// and answer 0 for a value the host does not deliver.
#pragma once

#include <cstdint>
#include <span>

#include "core/host_abi.h"

namespace vx {

// One row of an effect's parameter table.
struct ParamSpec {
    ParamKind kind;
    int32_t id;
    const char16_t* name;
    double defaultValue;
    double step;
    double min;
    double max;
    double sliderMin;  // -1: the slider spans min..max
    double sliderMax;
    std::span<const char16_t* const> choices;
};
using ParamTable = std::span<const ParamSpec>;

constexpr ParamSpec RealParam(int32_t id, const char16_t* name, double def, double step,
                              double min, double max, double sliderMin = -1,
                              double sliderMax = 0) {
    return {kKindReal, id, name, def, step, min, max, sliderMin, sliderMax, {}};
}
constexpr ParamSpec IntegerParam(int32_t id, const char16_t* name, int32_t def, int32_t step,
                                 int32_t min, int32_t max, int32_t sliderMin = -1,
                                 int32_t sliderMax = 0) {
    return {kKindInteger, id, name, double(def), double(step), double(min), double(max),
            double(sliderMin), double(sliderMax), {}};
}
constexpr ParamSpec BooleanParam(int32_t id, const char16_t* name, bool def) {
    return {kKindBoolean, id, name, def ? 1.0 : 0.0, 0, 0, 0, 0, 0, {}};
}
constexpr ParamSpec ChoiceParam(int32_t id, const char16_t* name, int32_t def,
                                std::span<const char16_t* const> choices) {
    return {kKindChoice, id, name, double(def), 0, 0, 0, 0, 0, choices};
}

// What a choice parameter's range is filled with.
struct ChoiceRange {
    enum Form { kNone, kLimits, kNames, kNumbers } form = kNone;
    int32_t first = 0, second = 0;                  // kLimits
    std::span<const char16_t* const> names;         // kNames
    std::span<const int32_t> numbers;               // kNumbers
};

Status DefineRealParameter(HostParameterList* list, HostParameterFactory* factory,
                           const char16_t* name, int32_t index, double def, double step,
                           double min, double max, double sliderMin, double sliderMax);
Status DefineIntegerParameter(HostParameterList* list, HostParameterFactory* factory,
                              const char16_t* name, int32_t index, int32_t def, int32_t step,
                              int32_t min, int32_t max, int32_t sliderMin, int32_t sliderMax);
Status DefineBooleanParameter(HostParameterList* list, HostParameterFactory* factory,
                              const char16_t* name, int32_t index, bool def);
Status DefineChoiceParameter(HostParameterList* list, HostParameterFactory* factory,
                             int32_t count, const char16_t* name, int32_t index, int32_t def,
                             const ChoiceRange& range);
Status DefineDataParameter(HostParameterList* list, HostParameterFactory* factory,
                           const char16_t* name, int32_t index, const void* data, uint32_t size);

// Declares every row of a table in order; answers 0 like every effect does.
Status DefineParameterTable(HostParameterList* list, HostParameterFactory* factory,
                            ParamTable table);

Status ReadRealParameter(HostRenderContext* ctx, int32_t index, double* out);
Status ReadIntegerParameter(HostRenderContext* ctx, int32_t index, const Guid& valueId,
                            int32_t* out);
Status ReadBooleanParameter(HostRenderContext* ctx, int32_t index, uint8_t* out);
Status ReadDataParameter(HostRenderContext* ctx, int32_t index, uint32_t* outSize,
                         const void** outData);
Status WriteRealParameter(HostRenderContext* ctx, int32_t index, double value);
Status WriteIntegerParameter(HostRenderContext* ctx, int32_t index, int32_t value);
Status WriteDataParameter(HostRenderContext* ctx, int32_t index, const void* data,
                          uint32_t size);

// Shorthands for Process: the value, or 0 when the host does not deliver one.
double ReadReal(HostRenderContext* ctx, int32_t index);
int32_t ReadInteger(HostRenderContext* ctx, int32_t index);
int32_t ReadChoice(HostRenderContext* ctx, int32_t index);
bool ReadBoolean(HostRenderContext* ctx, int32_t index);

}  // namespace vx
