// Declaring, reading and writing parameters through the host objects, and
// the parameter tables of the effects.
#include <gtest/gtest.h>

#include "core/library.h"
#include "core/params.h"
#include "host/standin_host.h"
#include "tests/test_frames.h"

namespace vx {
namespace {

using host::ParameterRecord;
using host::ParameterSet;

TEST(DefineParameters, RealRangeUsesTheLimitsForTheSliderWhenAskedTo) {
    ParameterSet set;
    EXPECT_EQ(DefineRealParameter(set.List(), set.Factory(), u"a", 3, 1.5, 0.1, -2, 9, -1, 5), kOk);
    EXPECT_EQ(DefineRealParameter(set.List(), set.Factory(), u"b", 4, 0, 1, -300, 300, -100, 100),
              kOk);
    ASSERT_EQ(set.Declared().size(), 2u);
    const ParameterRecord& a = *set.Declared()[0];
    EXPECT_EQ(a.kind, kKindReal);
    EXPECT_EQ(a.index, 3);
    EXPECT_EQ(a.real, 1.5);
    EXPECT_EQ(a.realDefault, 1.5);
    EXPECT_EQ(a.step, 0.1);
    EXPECT_EQ(a.sliderMin, -2);
    EXPECT_EQ(a.sliderMax, 9);
    const ParameterRecord& b = *set.Declared()[1];
    EXPECT_EQ(b.min, -300);
    EXPECT_EQ(b.sliderMin, -100);
    EXPECT_EQ(b.sliderMax, 100);
    EXPECT_EQ(set.Outstanding(), 0) << "every object obtained must be released";
}

TEST(DefineParameters, ChoiceListLongerThanItsCountIsRefused) {
    ParameterSet set;
    const char16_t* const names[] = {u"x", u"y", u"z"};
    ChoiceRange range;
    range.form = ChoiceRange::kNames;
    range.names = names;
    EXPECT_EQ(DefineChoiceParameter(set.List(), set.Factory(), 2, u"c", 0, 0, range),
              kDefineFailed);
    EXPECT_TRUE(set.Declared().empty());
    EXPECT_EQ(DefineChoiceParameter(set.List(), set.Factory(), 3, u"c", 0, 2, range), kOk);
    ASSERT_EQ(set.Declared().size(), 1u);
    EXPECT_EQ(set.Declared()[0]->choiceCount, 3);
    EXPECT_EQ(set.Declared()[0]->integer, 2);
    EXPECT_EQ(host::Narrow(set.Declared()[0]->choiceNames[1].c_str()), "y");

    const int32_t numbers[] = {10, 20};
    ChoiceRange numeric;
    numeric.form = ChoiceRange::kNumbers;
    numeric.numbers = numbers;
    EXPECT_EQ(DefineChoiceParameter(set.List(), set.Factory(), 2, u"n", 1, 0, numeric), kOk);
    EXPECT_EQ(set.Declared()[1]->choiceNumbers[1], 20);
    EXPECT_EQ(set.Outstanding(), 0);
}

TEST(DefineParameters, MissingOrRefusingHostObjectsGive0x5000) {
    ParameterSet set;
    EXPECT_EQ(DefineRealParameter(nullptr, set.Factory(), u"a", 0, 0, 1, 0, 1, -1, 0), kDefineFailed);
    EXPECT_EQ(DefineBooleanParameter(set.List(), nullptr, u"a", 0, true), kDefineFailed);
    set.refuseCreate = true;
    EXPECT_EQ(DefineIntegerParameter(set.List(), set.Factory(), u"a", 0, 0, 1, 0, 1, -1, 0),
              kDefineFailed);
    EXPECT_TRUE(set.Declared().empty());
}

TEST(ReadParameters, ValuesRoundTripAndMissingOnesLeaveTheOutputAlone) {
    ParameterSet set;
    host::RenderContext ctx(&set);
    const uint8_t block[4] = {1, 2, 3, 4};
    DefineDataParameter(set.List(), set.Factory(), u"d", 0, block, 4);
    DefineRealParameter(set.List(), set.Factory(), u"r", 1, 2.5, 1, 0, 10, -1, 0);
    DefineIntegerParameter(set.List(), set.Factory(), u"i", 2, 7, 1, 0, 10, -1, 0);
    DefineBooleanParameter(set.List(), set.Factory(), u"b", 3, true);

    double r = -1;
    EXPECT_EQ(ReadRealParameter(ctx.Host(), 1, &r), kOk);
    EXPECT_EQ(r, 2.5);
    EXPECT_EQ(WriteRealParameter(ctx.Host(), 1, 4.0), kOk);
    EXPECT_EQ(ReadReal(ctx.Host(), 1), 4.0);
    EXPECT_EQ(WriteIntegerParameter(ctx.Host(), 2, -3), kOk);
    EXPECT_EQ(ReadInteger(ctx.Host(), 2), -3);
    EXPECT_TRUE(ReadBoolean(ctx.Host(), 3));

    uint32_t size = 0;
    const void* data = nullptr;
    EXPECT_EQ(ReadDataParameter(ctx.Host(), 0, &size, &data), kOk);
    ASSERT_EQ(size, 4u);
    EXPECT_EQ(static_cast<const uint8_t*>(data)[3], 4);
    const uint8_t other[2] = {9, 8};
    EXPECT_EQ(WriteDataParameter(ctx.Host(), 0, other, 2), kOk);
    EXPECT_EQ(ReadDataParameter(ctx.Host(), 0, &size, &data), kOk);
    EXPECT_EQ(size, 2u);

    r = -1;
    EXPECT_NE(ReadRealParameter(ctx.Host(), 99, &r), kOk);
    EXPECT_EQ(r, -1) << "untouched on failure";
    EXPECT_NE(ReadRealParameter(ctx.Host(), 2, &r), kOk) << "wrong value type";
    EXPECT_EQ(ReadReal(ctx.Host(), 99), 0.0);
    EXPECT_EQ(ReadRealParameter(nullptr, 1, &r), kDefineFailed);
    EXPECT_EQ(set.Outstanding(), 0);
}

// Declares an effect's parameters through the stand-in host.
std::vector<ParameterRecord*> Declare(const char* identifier, ParameterSet& set) {
    Guid id = test::ClassIdOf(identifier);
    EffectInterface* e = CreateEffectByClass(&id);
    e->ops->AddRef(e);
    EXPECT_EQ(e->ops->DefineParameters(e, set.List(), set.Factory()), kOk);
    // Missing host objects: the definitions fail, the operation still answers 0.
    EXPECT_EQ(e->ops->DefineParameters(e, nullptr, nullptr), kOk);
    e->ops->Release(e);
    EXPECT_EQ(set.Outstanding(), 0);
    return set.Declared();
}

TEST(EffectParameters, ColorAdjustDeclaresNineRealsInOrder) {
    ParameterSet set;
    auto p = Declare("VXEColorAdjust", set);
    const char* names[] = {"Color red", "Color green", "Color blue", "Brightness", "Contrast",
                           "Color intensity", "Gamma red", "Gamma green", "Gamma blue"};
    const double defaults[] = {100, 100, 100, 100, 100, 100, 1, 1, 1};
    const double maxima[] = {200, 200, 200, 300, 300, 300, 2.5, 2.5, 2.5};
    ASSERT_EQ(p.size(), 9u);
    for (int i = 0; i < 9; ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(p[i]->index, i);
        EXPECT_EQ(host::Narrow(p[i]->name.c_str()), names[i]);
        EXPECT_EQ(p[i]->kind, kKindReal);
        EXPECT_EQ(p[i]->real, defaults[i]);
        EXPECT_EQ(p[i]->step, 0.1);
        EXPECT_EQ(p[i]->min, i < 6 ? 0 : 0.1);
        EXPECT_EQ(p[i]->max, maxima[i]);
        EXPECT_EQ(p[i]->sliderMin, p[i]->min);
        EXPECT_EQ(p[i]->sliderMax, p[i]->max);
    }
}

TEST(EffectParameters, TransformDeclaresSixSlotsThenItsSettings) {
    ParameterSet set;
    auto p = Declare("VXETransform", set);
    ASSERT_EQ(p.size(), 18u);
    for (int k = 0; k < 6; ++k) {
        SCOPED_TRACE(k);
        ParameterRecord* effect = p[2 * k];
        ParameterRecord* amount = p[2 * k + 1];
        EXPECT_EQ(effect->index, 2 * k);
        EXPECT_EQ(host::Narrow(effect->name.c_str()), std::to_string(k + 1) + ". effect");
        EXPECT_EQ(effect->kind, kKindChoice);
        EXPECT_EQ(effect->choiceCount, 17);
        EXPECT_EQ(host::Narrow(effect->choiceNames[0].c_str()), "nothing");
        EXPECT_EQ(host::Narrow(effect->choiceNames[16].c_str()), "hide right margin");
        EXPECT_EQ(amount->index, 2 * k + 1);
        EXPECT_EQ(host::Narrow(amount->name.c_str()), std::to_string(k + 1) + ". amount");
        EXPECT_EQ(amount->min, -300);
        EXPECT_EQ(amount->max, 300);
        EXPECT_EQ(amount->sliderMin, -100);
        EXPECT_EQ(amount->sliderMax, 100);
        EXPECT_EQ(amount->step, 0.1);
    }
    EXPECT_EQ(host::Narrow(p[12]->name.c_str()), "interpolate");
    EXPECT_EQ(p[12]->integer, 1);
    EXPECT_EQ(host::Narrow(p[12]->choiceNames[4].c_str()), "bicubic (more exact)");
    EXPECT_EQ(p[13]->kind, kKindInteger);
    EXPECT_EQ(p[13]->max, 255);
    EXPECT_EQ(host::Narrow(p[14]->name.c_str()), "bg color: red");
    EXPECT_EQ(host::Narrow(p[16]->name.c_str()), "bg color: blue");
    EXPECT_EQ(p[17]->kind, kKindBoolean);
    EXPECT_EQ(p[17]->boolean, 1);
    EXPECT_EQ(host::Narrow(p[17]->name.c_str()), "interlaced");
}

}  // namespace
}  // namespace vx
