// The thirteen forwarding libraries, loaded the way the host loads them, with
// the registry value "Location" pointing at the stand-in engine: registration,
// objects, engine loading, frame records, row selection, progress, settings
// files and the settings dialog with its previews.
//
// usage: vex_forwarder_tests FORWARDER_DIR FORWARDER_SUFFIX ENGINE_DIR
//                            INCOMPLETE_ENGINE_DIR ENGINE_SUFFIX
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>

#include "forwarder/engine_abi.h"
#include "forwarder/forwarder.h"
#include "platform/platform.h"
#include "tests/forwarder/standin_engine.h"
#include "tests/test_frames.h"

namespace vx {
namespace {

namespace fs = std::filesystem;
using engine::EngineProbe;
using engine::LongRecord;
using engine::ShortRecord;

fs::path gForwarderDir, gEngineDir, gIncompleteDir;
std::string gSuffix, gEngineSuffix;

constexpr const char* kPalettoriumKey = "SOFTWARE\\Vantrel Software\\PalettoriumC";
constexpr const char* kZestKey = "SOFTWARE\\Vantrel Software\\ZestBLENDER 2.5C\\1.0";

struct Expected {
    const char* file;
    const char* group;
    const char* name;
    Guid classId;
    int32_t number;
    const char* tag;  // Palettorium settings tag; null: ZestBLENDER (first byte 0x53)
    int32_t inputs;
    bool zestSingle = false;
};

const Expected kExpected[] = {
    {"PA_Banderine", "Vantrel Palettorium", "Banderine",
     GuidFromString("{C7F53023-EA31-405F-B868-D8912FDC18F8}"), 7, "Banderine Setings V1.0", 1},
    {"PA_Huevolt", "Vantrel Palettorium", "Huevolt",
     GuidFromString("{F7D4755D-B537-4CF6-ADCC-B4983A2F740A}"), 1, "Huevolt Setings V1.0", 1},
    {"PA_Aurolift", "Vantrel Palettorium", "Aurolift",
     GuidFromString("{832B514E-89A1-4D3A-924D-0412B9F22002}"), 5, "Displace Setings V1.0", 1},
    {"PA_Jitterstep", "Vantrel Palettorium", "Jitterstep",
     GuidFromString("{53BEE6FB-4836-4A7C-9FB5-D26673A22F73}"), 11, "JitterstepV Setings V1.0", 1},
    {"PA_Smearix", "Vantrel Palettorium", "Smearix",
     GuidFromString("{2F9E86EC-04A1-451E-A9E8-DD2D4A4BD7F2}"), 0, "Smearix Setings V1.0", 1},
    {"PA_Weavoflux", "Vantrel Palettorium", "Weavoflux",
     GuidFromString("{AFDB7BD6-4B06-4130-B377-32255F59CF21}"), 2, "Weavoflux Setings V1.0", 1},
    {"PA_Softbloom", "Vantrel Palettorium", "Softbloom",
     GuidFromString("{7E0CFFB2-C0D4-404A-A175-801067FE7AC0}"), 4, "Softbloom Setings V1.0", 1},
    {"PA_Trimlane", "Vantrel Palettorium", "Trimlane",
     GuidFromString("{3CC3FB06-18AE-4AF1-9EB5-6E9F0615C9E2}"), 12, "Trimlane Setings V1.0", 1},
    {"PA_Dappleset", "Vantrel Palettorium", "Dappleset",
     GuidFromString("{9695B0C8-4DF3-43DB-9BFE-2284F98610E4}"), 6, "Diffraction Setings V1.0", 1},
    {"PA_Tickframe", "Vantrel Palettorium", "Tickframe",
     GuidFromString("{F38BFEDF-F24A-4C47-9475-397DF26BDD7F}"), 10, "TickframeV Setings V1.0", 1},
    {"PA_Grittle", "Vantrel Palettorium", "Grittle",
     GuidFromString("{B43AB3AA-03C6-4953-8D28-44902352684F}"), 3, "Grittle Setings V1.0", 1},
    {"ZestBLENDER25F", "Vantrel", "ZestBLENDER 2.5F",
     GuidFromString("{9FC488BF-88E9-46BB-A8FA-93F76226CFB5}"), 0, nullptr, 1, true},
    {"ZestBLENDER25", "Vantrel", "ZestBLENDER 2.5",
     GuidFromString("{366643F0-D2D1-11D8-9EED-000000000000}"), 0, nullptr, 2},
};
const Expected& kBanderine = kExpected[0];
const Expected& kZestF = kExpected[11];
const Expected& kZest = kExpected[12];

const host::EffectLibrary& Library(const Expected& e) {
    static std::map<std::string, host::EffectLibrary> libraries;
    auto it = libraries.find(e.file);
    if (it == libraries.end())
        it = libraries
                 .emplace(e.file, host::EffectLibrary::Load(
                                      (gForwarderDir / (std::string(e.file) + gSuffix)).string()))
                 .first;
    return it->second;
}

// The stand-in engine's state, through the test's own reference to the module
// the forwarders load.
EngineProbe& Probe(const fs::path& folder, const char* file) {
    static std::map<std::string, EngineProbe*> probes;
    const std::string path = (folder / (std::string(file) + gEngineSuffix)).string();
    EngineProbe*& probe = probes[path];
    if (!probe) {
        platform::Module m = platform::LoadModule(path.c_str());
        if (!m)
            throw std::runtime_error("cannot load " + path + ": " + platform::LastModuleError());
        probe = reinterpret_cast<engine::StandinEngineProbeFn>(
            platform::FindEntryPoint(m, "StandinEngineProbe"))();
    }
    return *probe;
}
bool IsPalettorium(const Expected& e) {
    return e.tag != nullptr;
}
EngineProbe& ProbeOf(const Expected& e) {
    return Probe(gEngineDir, IsPalettorium(e) ? "Palettorium" : "ZB25Engine");
}

void ResetProbe(EngineProbe& p) {
    p.openAnswer = 77;
    p.dialogAnswer = 0;
    p.dialogSettingsLength = 0;
    p.previewRequests = 0;
    p.opened = p.closed = p.processed = p.dialogs = 0;
    std::memset(p.record, 0, sizeof p.record);
    std::memset(p.previewAnswer, 0, sizeof p.previewAnswer);
}

const char* KeyOf(const Expected& e) {
    return IsPalettorium(e) ? kPalettoriumKey : kZestKey;
}

void SetLocation(const Expected& e, const std::u16string& folder) {
    ASSERT_TRUE(platform::WriteRegistryString(platform::kLocalMachine, KeyOf(e), u"Location",
                                              folder.c_str()));
}
std::u16string Wide(const fs::path& p) {
    return platform::WideFromNarrow(p.string().c_str());
}

// One effect object of a forwarding library, with the first reference held.
struct Effect {
    const Expected& expected;
    host::EffectInstance instance;
    host::FieldInformation fields;

    explicit Effect(const Expected& e, const Guid* id = nullptr)
        : expected(e), instance(Library(e).CreateEffect(id ? *id : e.classId)) {
        instance.fieldInformation = fields.Host();
    }
    EffectInterface* operator->() const { return instance.effect(); }
    void Reset() { instance.effect()->ops->Reset(instance.effect()); }
    host::ParameterRecord& Settings() { return *instance.params().ByIndex(0); }
    host::ParameterRecord& SettingsFile() { return *instance.params().ByIndex(1); }
    bool EditSettings(host::WindowSource& source) {
        void* a = nullptr;
        EXPECT_EQ(instance.effect()->ops->QueryInterface(instance.effect(),
                                                         &forwarder::kSettingsInterfaceAId, &a),
                  kOk);
        auto* settings = static_cast<forwarder::SettingsInterfaceA*>(a);
        const Bool32 accepted = settings->ops->EditSettings(
            settings, instance.context().Host(), instance.services().Host(), source.Host());
        settings->ops->Release(settings);
        return accepted != 0;
    }
};

// A ready object: engine loaded, parameters declared.
struct ReadyEffect : Effect {
    explicit ReadyEffect(const Expected& e) : Effect(e) {
        SetLocation(e, Wide(gEngineDir));
        ResetProbe(ProbeOf(e));
        Reset();
        instance.DefineParameters();
    }
};

host::Frame Picture(int32_t width, int32_t height, uint32_t seed, bool bottomUp = false,
                    int32_t bitsPerPixel = 32) {
    host::FrameFormat format;
    format.width = width;
    format.height = height;
    format.bitsPerPixel = bitsPerPixel;
    format.bottomUp = bottomUp;
    format.rowPadding = 8;
    host::Frame frame(format);
    test::PaintTestPicture(frame, seed);
    return frame;
}

std::vector<uint8_t> Inverted(const uint8_t* row, int32_t width, uint8_t add = 0) {
    std::vector<uint8_t> out(row, row + width * 4);
    for (int32_t x = 0; x < width * 4; ++x)
        if (x % 4 != 3) out[x] = uint8_t(255 - out[x] + add);
    return out;
}

bool RowIs(const uint8_t* row, const std::vector<uint8_t>& expected) {
    return std::memcmp(row, expected.data(), expected.size()) == 0;
}
bool RowUntouched(const uint8_t* row, int32_t bytes) {
    for (int32_t i = 0; i < bytes; ++i)
        if (row[i] != 0xCD) return false;
    return true;
}

template <class R>
const R& RecordOf(const EngineProbe& p) {
    return *reinterpret_cast<const R*>(p.record);
}

// ------------------------------------------------------------------ registration

TEST(ForwarderRegistration, EachSingleInstanceRegistersItsEffectWithTheExactCalls) {
    for (const Expected& e : kExpected) {
        if (e.inputs == 2) continue;
        SCOPED_TRACE(e.file);
        ASSERT_TRUE(Library(e).ok()) << Library(e).error();
        for (bool extension : {true, false}) {
            host::CallLog log;
            host::Registrar reg(&log);
            reg.offerExtension = extension;
            EXPECT_EQ(Library(e).RegisterEffects(reg), kOk);
            std::vector<std::string> expected = {
                "descriptor.SetGroup " + std::string(e.group),
                "descriptor.SetName " + std::string(e.name),
                "descriptor.SetClassId " + host::GuidText(e.classId), "descriptor.SetVersion 1.0"};
            if (e.zestSingle) expected.push_back("descriptor.SetNumber 2.000000");
            expected.push_back("descriptor.QueryInterface {BA0DE517-F4EC-4FD0-A3CE-55CE943059ED}");
            if (extension) {
                expected.push_back("extension.SetOptions 1 0 0");
                expected.push_back("extension.Release");
            }
            expected.push_back("descriptor.SetKindAndFlags 1 4");
            expected.push_back("registrar.Register");
            EXPECT_EQ(log.calls, expected);
            EXPECT_EQ(reg.extensionRefs, 0);
            ASSERT_EQ(reg.registered.size(), 1u);
        }
        host::Registrar refusing;
        refusing.answer = 0x66;
        EXPECT_EQ(Library(e).RegisterEffects(refusing), 0x66);
    }
}

TEST(ForwarderRegistration, TheTransitionRegistersItselfAndNinetyNinePresets) {
    host::CallLog log;
    host::Registrar reg(&log);
    ASSERT_EQ(Library(kZest).RegisterEffects(reg), kOk);
    ASSERT_EQ(reg.registered.size(), 100u);
    EXPECT_EQ(host::Narrow(reg.registered[0].name.c_str()), "ZestBLENDER 2.5");
    EXPECT_TRUE(reg.registered[0].version.empty());  // the extension answered
    for (size_t n = 0; n < 100; ++n) {
        const host::Registration& r = reg.registered[n];
        EXPECT_EQ(host::Narrow(r.group.c_str()), "Vantrel");
        EXPECT_EQ(r.kind, 2);
        EXPECT_EQ(r.flags, 4);
        EXPECT_EQ(r.number, 2.0);
        Guid id = kZest.classId;
        id.data4[7] = uint8_t(n);
        EXPECT_TRUE(SameGuid(r.classId, id)) << n;
        if (n == 0) continue;
        char name[32];
        std::snprintf(name, sizeof name, "ZestBLENDER 2.5 P%02zu", n);
        EXPECT_EQ(host::Narrow(r.name.c_str()), name);
        EXPECT_EQ(host::Narrow(r.version.c_str()), "1.0");
    }
    EXPECT_EQ(reg.registered[10].classId.data4[7], 0x0A);
    EXPECT_EQ(reg.registered[99].classId.data4[7], 0x63);
    EXPECT_EQ(log.Count("descriptor.QueryInterface"), 1u);
    EXPECT_EQ(log.Count("descriptor.Clear"), 99u);

    host::Registrar plain;
    plain.offerExtension = false;
    ASSERT_EQ(Library(kZest).RegisterEffects(plain), kOk);
    EXPECT_EQ(host::Narrow(plain.registered.at(0).version.c_str()), "1.0");

    host::CallLog refusedLog;
    host::Registrar refusing(&refusedLog);
    refusing.answer = 0x55;
    EXPECT_EQ(Library(kZest).RegisterEffects(refusing), 0x55);
    EXPECT_EQ(refusedLog.Count("registrar.Register"), 1u);
    EXPECT_EQ(refusedLog.Count("descriptor.Clear"), 0u);
}

// ------------------------------------------------------------------ objects

TEST(ForwarderObject, AnyIdentifierCreatesAnObjectWithItsFiveInterfaces) {
    const Guid ids[] = {forwarder::kSettingsInterfaceAId, forwarder::kSettingsInterfaceBId,
                        kSecondaryInterfaceId};
    for (const Expected& e : kExpected) {
        SCOPED_TRACE(e.file);
        Guid preset = kZest.classId;
        preset.data4[7] = 42;
        for (const Guid& id : {e.classId, preset, Guid{}}) {
            EffectInterface* fx = Library(e).CreateEffect(id);
            ASSERT_NE(fx, nullptr);
            EXPECT_EQ(fx->ops->GetRefCount(fx), 0);
            EXPECT_EQ(fx->ops->AddRef(fx), 1);
            void* out = nullptr;
            EXPECT_EQ(fx->ops->QueryInterface(fx, &kEffectInterfaceId2, &out), kOk);
            EXPECT_EQ(out, fx);
            for (const Guid& iid : ids) {
                EXPECT_EQ(fx->ops->QueryInterface(fx, &iid, &out), kOk);
                ASSERT_NE(out, nullptr);
                EXPECT_NE(out, fx);
            }
            EXPECT_EQ(fx->ops->GetRefCount(fx), 5);
            Guid unknown{};
            EXPECT_EQ(fx->ops->QueryInterface(fx, &unknown, &out), kNoInterface);
            EXPECT_EQ(out, nullptr);

            fx->ops->QueryInterface(fx, &kSecondaryInterfaceId, &out);
            auto* secondary = static_cast<SecondaryInterface*>(out);
            EXPECT_EQ(secondary->ops->Answer4(secondary, &forwarder::kAcceptedFeatureId), 1);
            EXPECT_EQ(secondary->ops->Answer4(secondary, &kSecondaryInterfaceId), 0);
            EXPECT_EQ(secondary->ops->Answer5(secondary, nullptr), 0);
            EXPECT_EQ(secondary->ops->Answer6(secondary, nullptr), 0.0);
            EXPECT_EQ(secondary->ops->Answer7(secondary, nullptr), 0);
            fx->ops->QueryInterface(fx, &forwarder::kSettingsInterfaceBId, &out);
            auto* b = static_cast<forwarder::SettingsInterfaceB*>(out);
            EXPECT_EQ(b->ops->EditSettings(b, nullptr, nullptr, nullptr, nullptr), 0);
            EXPECT_EQ(b->ops->GetRefCount(b), 7);
            for (int32_t left = 6; left >= 0; --left)
                EXPECT_EQ(fx->ops->Release(fx), left);
        }
    }
}

TEST(ForwarderObject, DeclaresTheSettingsBlockAndTheSettingsFile) {
    Effect fx(kBanderine);
    ASSERT_EQ(fx.instance.DefineParameters(), kOk);
    const auto& declared = fx.instance.params().Declared();
    ASSERT_EQ(declared.size(), 2u);
    EXPECT_EQ(host::Narrow(declared[0]->name.c_str()), "CUIP");
    EXPECT_EQ(declared[0]->kind, kKindData);
    EXPECT_EQ(declared[0]->index, 0);
    EXPECT_EQ(declared[0]->data, std::vector<uint8_t>(32768, 0));
    EXPECT_EQ(declared[0]->dataDefault, std::vector<uint8_t>(32768, 0));
    EXPECT_EQ(host::Narrow(declared[1]->name.c_str()), "PRESETFILE");
    EXPECT_EQ(declared[1]->kind, kKindString);
    EXPECT_EQ(declared[1]->index, 1);
    EXPECT_EQ(fx.instance.params().Outstanding(), 0);
}

// ------------------------------------------------------------------ engine loading

// Without an engine, Process leaves the output frame as it was and the dialog
// answers false.
void ExpectNoEngine(Effect& fx) {
    fx.instance.DefineParameters();
    host::Frame in = Picture(6, 4, 3);
    host::Frame* out = nullptr;
    ASSERT_EQ(fx.instance.Render({&in}, &out), kOk);
    ASSERT_NE(out, nullptr);
    for (int32_t y = 0; y < 4; ++y)
        EXPECT_TRUE(RowUntouched(out->Row(y), 24));
    host::WindowSource source;
    EXPECT_FALSE(fx.EditSettings(source));
}

TEST(ForwarderEngine, OpensOnResetAndClosesWhenTheObjectGoes) {
    for (const Expected& e : kExpected) {
        SCOPED_TRACE(e.file);
        EngineProbe& probe = ProbeOf(e);
        {
            ReadyEffect fx(e);
            EXPECT_EQ(probe.opened, 1);
            EXPECT_EQ(probe.openNumber, e.number);
            fx.Reset();  // a second Reset closes the first engine effect
            EXPECT_EQ(probe.opened, 2);
            EXPECT_EQ(probe.closed, 1);
        }
        EXPECT_EQ(probe.closed, 2);
        EXPECT_EQ(probe.closeHandle, 77);
        EXPECT_EQ(probe.closeNumber, e.number);
    }
}

TEST(ForwarderEngine, AnEngineThatRefusesToOpenIsStillCalledWithHandleZero) {
    EngineProbe& probe = ProbeOf(kBanderine);
    {
        ReadyEffect fx(kBanderine);
        probe.openAnswer = 0;
        fx.Reset();
        host::Frame in = Picture(4, 2, 1);
        host::Frame* out = nullptr;
        ASSERT_EQ(fx.instance.Render({&in}, &out), kOk);
        EXPECT_EQ(probe.processed, 1);
        EXPECT_EQ(probe.processHandle, 0);
        EXPECT_EQ(probe.processThird, 0);
        probe.closed = 0;
    }
    EXPECT_EQ(probe.closed, 0);  // nothing was opened
}

TEST(ForwarderEngine, MissingKeyValueLibraryOrEntryPointMeansNoEngine) {
    EngineProbe& probe = ProbeOf(kBanderine);
    EngineProbe& incomplete = Probe(gIncompleteDir, "Palettorium");
    ResetProbe(probe);
    ResetProbe(incomplete);
    const std::u16string cases[] = {
        u"",                           // empty value
        Wide(gEngineDir / "nowhere"),  // no library there
        Wide(gIncompleteDir),          // DoExtDialog missing
        std::u16string(200, u'a'),     // longer than the folder buffer
    };
    for (const std::u16string& folder : cases) {
        SCOPED_TRACE(platform::NarrowFromWide(folder.c_str()));
        SetLocation(kBanderine, folder);
        Effect fx(kBanderine);
        fx.Reset();
        ExpectNoEngine(fx);
    }
    platform::DeleteRegistryKey(platform::kLocalMachine, kPalettoriumKey);
    ASSERT_FALSE(
        platform::ReadRegistryString(platform::kLocalMachine, kPalettoriumKey, u"Location"));
    {
        Effect fx(kBanderine);
        fx.Reset();
        ExpectNoEngine(fx);
    }
    EXPECT_EQ(probe.opened + probe.processed + probe.dialogs, 0);
    EXPECT_EQ(incomplete.opened + incomplete.processed, 0);
}

// ------------------------------------------------------------------ frame processing

TEST(ForwarderFrames, LongRecordOfAPalettoriumFrame) {
    ReadyEffect fx(kBanderine);
    EngineProbe& probe = ProbeOf(kBanderine);
    fx.instance.context().start = {10, 25, 1};
    fx.instance.context().duration = {100, 25, 1};
    fx.instance.context().now = {35, 25, 1};
    fx.fields.number = 0.25;
    fx.Settings().data.assign(32768, 0);
    fx.Settings().data[0] = 1;
    fx.Settings().data[1] = 5;
    host::Frame in = Picture(7, 5, 11, true);
    host::Frame* out = nullptr;
    ASSERT_EQ(fx.instance.Render({&in}, &out), kOk);
    ASSERT_EQ(probe.processed, 1);
    EXPECT_EQ(probe.processHandle, 77);
    EXPECT_EQ((std::vector<int32_t>{14, 10, 12, 11}), fx.fields.calls);

    const LongRecord& r = RecordOf<LongRecord>(probe);
    EXPECT_EQ(r.head.rate, 30);
    EXPECT_EQ(r.head.length, 200);
    EXPECT_EQ(r.head.position, 50);  // (35 - 10) / 100 of 200
    EXPECT_EQ(r.head.rowSelection, 3);
    EXPECT_EQ(r.head.rowSelection2, 3);
    EXPECT_EQ(r.head.storage, 0x01000000u);
    EXPECT_EQ(r.head.singleInputFlag, 0);
    EXPECT_EQ(r.head.width, 7);
    EXPECT_EQ(r.head.height, 5);
    EXPECT_EQ(r.head.rowLength[0], 7);
    EXPECT_EQ(r.head.rowLength[2], 7);
    EXPECT_EQ(r.fieldNumber, 0.25);
    EXPECT_EQ(r.input1, r.input2);
    EXPECT_EQ(r.output + 7 * 5 * 4, r.input1);
    EXPECT_NE(r.settings, nullptr);
    EXPECT_EQ(r.previewContext, nullptr);
    EXPECT_EQ(probe.settings[1], 5);
    for (int32_t y = 0; y < 5; ++y)
        EXPECT_TRUE(RowIs(out->Row(y), Inverted(in.Row(y), 7, 5))) << y;
    EXPECT_TRUE(test::PaddingUntouched(*out));
}

TEST(ForwarderFrames, ShortRecordsAndTheTransitionsInputOrder) {
    {
        ReadyEffect fx(kZestF);
        fx.fields.number = 0.75;
        host::Frame in = Picture(4, 3, 2);
        host::Frame* out = nullptr;
        ASSERT_EQ(fx.instance.Render({&in}, &out), kOk);
        const ShortRecord& r = RecordOf<ShortRecord>(ProbeOf(kZestF));
        EXPECT_EQ(r.head.singleInputFlag, 1);
        EXPECT_EQ(r.fieldNumber, 0.75);
        EXPECT_EQ(r.input1, r.input2);
        EXPECT_EQ(r.output + 4 * 3 * 4, r.input1);
        for (int32_t y = 0; y < 3; ++y)
            EXPECT_TRUE(RowIs(out->Row(y), Inverted(in.Row(y), 4)));
    }
    ReadyEffect fx(kZest);
    EngineProbe& probe = ProbeOf(kZest);
    host::Frame first = Picture(10, 3, 4);  // wider: the width comes from the second input
    host::Frame second = Picture(8, 3, 5, true);
    host::Frame* out = nullptr;
    ASSERT_EQ(fx.instance.Render({&first, &second}, &out), kOk);
    const ShortRecord& r = RecordOf<ShortRecord>(probe);
    EXPECT_EQ(r.head.singleInputFlag, 0);
    EXPECT_EQ(r.head.width, 8);
    EXPECT_EQ(r.output + 8 * 3 * 4, r.input1);
    EXPECT_EQ(r.input1 + 8 * 3 * 4, r.input2);
    // Area row 0 holds the bottom row: input 1 from the second input, input 2 from the first.
    EXPECT_EQ(std::memcmp(probe.processArea[0], second.Row(2), 32), 0);
    EXPECT_EQ(std::memcmp(probe.processArea[1], first.Row(2), 32), 0);
    for (int32_t y = 0; y < 3; ++y) {
        for (int32_t x = 0; x < 10; ++x) {
            const uint8_t* o = out->Row(y) + x * 4;
            if (x >= 8) {
                EXPECT_TRUE(RowUntouched(o, 4));
                continue;
            }
            const uint8_t* a = second.Row(y) + x * 4;
            const uint8_t* b = first.Row(y) + x * 4;
            EXPECT_EQ(o[0], uint8_t(a[0] - b[0]));
            EXPECT_EQ(o[2], uint8_t(a[2] - b[2]));
            EXPECT_EQ(o[3], a[3]);
        }
    }
}

TEST(ForwarderFrames, RowSelectionByFieldAndParity) {
    struct Case {
        int32_t field, parity, height, mode;
        bool bottomUp;
    };
    const Case cases[] = {{1, 1, 5, 1, false}, {1, 1, 4, 1, true}, {1, 1, 1, 1, false},
                          {1, 0, 5, 2, false}, {1, 0, 6, 2, true}, {1, 0, 1, 2, false},
                          {0, 0, 5, 3, false}, {2, 1, 3, 3, true}, {0, 1, 1, 3, false}};
    EngineProbe& probe = ProbeOf(kBanderine);
    for (const Case& c : cases) {
        ReadyEffect fx(kBanderine);  // a fresh output frame for each case
        SCOPED_TRACE(::testing::Message()
                     << "f " << c.field << " p " << c.parity << " height " << c.height);
        fx.fields.fieldIndicator = c.field;
        fx.fields.parity = c.parity;
        host::Frame in = Picture(3, c.height, 7, c.bottomUp);
        host::Frame* out = nullptr;
        const int32_t before = probe.processed;
        ASSERT_EQ(fx.instance.Render({&in}, &out), kOk);
        EXPECT_EQ(probe.processed, before + 1);
        const LongRecord& r = RecordOf<LongRecord>(probe);
        EXPECT_EQ(r.head.rowSelection, c.mode);
        EXPECT_EQ(r.head.rowSelection2, c.mode);
        EXPECT_EQ(r.head.height, c.height);
        int32_t k = 0;
        for (int32_t y = c.height - 1; y >= 0; --y) {
            const int32_t fromBottom = c.height - 1 - y;
            const bool selected = c.mode == 3 || (c.mode == 1 && fromBottom % 2 == 0) ||
                                  (c.mode == 2 && fromBottom % 2 == 1);
            if (!selected) {
                EXPECT_TRUE(RowUntouched(out->Row(y), 12)) << y;
                continue;
            }
            EXPECT_TRUE(RowIs(out->Row(y), Inverted(in.Row(y), 3))) << y;
            EXPECT_EQ(std::memcmp(probe.processArea[0] + k * 12, in.Row(y), 12), 0) << y;
            ++k;
        }
        EXPECT_EQ(k, c.mode == 1 ? (c.height + 1) / 2 : c.mode == 2 ? c.height / 2 : c.height);
    }
}

TEST(ForwarderFrames, ProgressOfTheClip) {
    struct Case {
        TimeValue start, duration, now;
        int32_t length, position;
    };
    const Case cases[] = {
        {{10, 25, 1}, {100, 25, 1}, {60, 25, 1}, 200, 100},
        {{10, 25, 1}, {100, 25, 1}, {5, 25, 1}, 200, 0},      // before the start
        {{10, 25, 1}, {100, 25, 1}, {500, 25, 1}, 200, 200},  // after the end
        {{0, 25, 1}, {-10, 25, 1}, {3, 25, 1}, -20, -10},     // negative duration: half way
        {{0, 25, 0}, {-7, 25, 0}, {3, 25, 0}, -14, -7},       // no units per frame
        {{0, 25, 1}, {0, 25, 1}, {3, 25, 1}, 0, 0},
        {{0, 30000, 1001}, {10010, 30000, 1001}, {1001, 30000, 1001}, 20, 2},
    };
    ReadyEffect fx(kBanderine);
    for (const Case& c : cases) {
        fx.instance.context().start = c.start;
        fx.instance.context().duration = c.duration;
        fx.instance.context().now = c.now;
        host::Frame in = Picture(2, 2, 1);
        host::Frame* out = nullptr;
        ASSERT_EQ(fx.instance.Render({&in}, &out), kOk);
        const LongRecord& r = RecordOf<LongRecord>(ProbeOf(kBanderine));
        EXPECT_EQ(r.head.length, c.length) << c.duration.count;
        EXPECT_EQ(r.head.position, c.position) << c.now.count;
    }
}

TEST(ForwarderFrames, FramesTheAreasCannotHoldAreLeftAlone) {
    ReadyEffect fx(kBanderine);
    EngineProbe& probe = ProbeOf(kBanderine);
    host::Frame narrow = Picture(4, 3, 1, false, 24);
    host::Frame* out = nullptr;
    ASSERT_EQ(fx.instance.Render({&narrow}, &out), kOk);
    EXPECT_EQ(probe.processed, 0);
    for (int32_t y = 0; y < 3; ++y)
        EXPECT_TRUE(RowUntouched(out->Row(y), 12));

    // A settings block longer than the engine's is cut to its size.
    fx.Settings().data.assign(40000, 0x11);
    host::Frame in = Picture(2, 2, 1);
    ASSERT_EQ(fx.instance.Render({&in}, &out), kOk);
    EXPECT_EQ(probe.settings[0], 0x11);
}

// ------------------------------------------------------------------ settings files

struct SettingsFileTest : ::testing::Test {
    fs::path folder = gEngineDir / "presets";
    void SetUp() override { fs::create_directories(folder); }
    // A settings file: the 32-byte header, then `payload` bytes of 0x40 + i.
    static void Write(const fs::path& path, std::string header, size_t payload = 100) {
        header.resize(32, '#');
        std::ofstream f(path, std::ios::binary);
        f << header;
        for (size_t i = 0; i < payload; ++i)
            f.put(char(0x40 + i % 64));
    }
    // Processes a frame; the settings block's first bytes as the engine saw them.
    static std::vector<uint8_t> SeenSettings(ReadyEffect& fx, const std::u16string& file) {
        fx.Settings().data.clear();
        fx.SettingsFile().text = file;
        host::Frame in = Picture(2, 2, 1);
        host::Frame* out = nullptr;
        EXPECT_EQ(fx.instance.Render({&in}, &out), kOk);
        const EngineProbe& p = ProbeOf(fx.expected);
        return {p.settings, p.settings + 4};
    }
};

const std::vector<uint8_t> kFromFile = {0x40, 0x41, 0x42, 0x43};
const std::vector<uint8_t> kNothing = {0, 0, 0, 0};

TEST_F(SettingsFileTest, PalettoriumChecksSixteenBytesOfItsTagAndStoresTheSettings) {
    const std::string tag = kBanderine.tag;
    Write(folder / "good.set", tag.substr(0, 16) + "differs later");
    Write(folder / "fifteen.set", tag.substr(0, 15) + "X");
    Write(folder / "short.set", tag.substr(0, 20), 0);
    { std::ofstream(folder / "header-only.set", std::ios::binary) << tag.substr(0, 20); }
    Write(gEngineDir.parent_path() / "outside.set", tag);

    ReadyEffect fx(kBanderine);
    EXPECT_EQ(SeenSettings(fx, u"\\presets\\good.set"), kFromFile);
    ASSERT_EQ(fx.Settings().data.size(), 32768u);  // stored for later frames
    EXPECT_EQ(fx.Settings().data[0], 0x40);
    EXPECT_EQ(fx.Settings().data[100], 0);  // beyond the file's end

    EXPECT_EQ(SeenSettings(fx, u"\\presets\\fifteen.set"), kNothing);
    EXPECT_TRUE(fx.Settings().data.empty());
    EXPECT_EQ(SeenSettings(fx, u"\\presets\\short.set"), kNothing);        // no settings after it
    EXPECT_EQ(SeenSettings(fx, u"\\presets\\header-only.set"), kNothing);  // shorter than a header
    EXPECT_EQ(SeenSettings(fx, u"presets\\good.set"), kNothing);           // no leading backslash
    EXPECT_EQ(SeenSettings(fx, u"\\presets\\missing.set"), kNothing);
    EXPECT_EQ(SeenSettings(fx, u"\\..\\outside.set"), kNothing);  // leaves the folder
    EXPECT_EQ(SeenSettings(fx, u"\\presets\\..\\..\\outside.set"), kNothing);
    EXPECT_EQ(SeenSettings(fx, u"\\presets/../../outside.set"), kNothing);

    // Settings held in "CUIP" win over the file.
    fx.Settings().data.assign(8, 9);
    fx.SettingsFile().text = u"\\presets\\good.set";
    host::Frame in = Picture(2, 2, 1);
    host::Frame* out = nullptr;
    ASSERT_EQ(fx.instance.Render({&in}, &out), kOk);
    EXPECT_EQ(ProbeOf(kBanderine).settings[0], 9);
}

TEST_F(SettingsFileTest, ZestBlenderChecksTheFirstByteAndOnlyTheTransitionStoresIt) {
    Write(folder / "zest.set", "S and anything");
    Write(folder / "other.set", "T and anything");
    for (const Expected* e : {&kZestF, &kZest}) {
        SCOPED_TRACE(e->file);
        ReadyEffect fx(*e);
        auto seen = [&](const std::u16string& file) {
            fx.Settings().data.clear();
            fx.SettingsFile().text = file;
            host::Frame a = Picture(2, 2, 1), b = Picture(2, 2, 2);
            host::Frame* out = nullptr;
            std::vector<host::Frame*> inputs = {&a};
            if (e->inputs == 2) inputs.push_back(&b);
            EXPECT_EQ(fx.instance.Render(inputs, &out), kOk);
            const EngineProbe& p = ProbeOf(*e);
            return std::vector<uint8_t>(p.settings, p.settings + 4);
        };
        EXPECT_EQ(seen(u"\\presets\\zest.set"), kFromFile);
        EXPECT_EQ(fx.Settings().data.size(), e->inputs == 2 ? 32768u : 0u);
        EXPECT_EQ(seen(u"\\presets\\other.set"), kNothing);
    }
}

// ------------------------------------------------------------------ settings dialog

struct DialogTest : ::testing::Test {
    host::CallLog log;
    host::WindowSource source;
    static void Clip(Effect& fx) {
        fx.instance.context().start = {0, 29970, 1000};
        fx.instance.context().duration = {100000, 29970, 1000};
        fx.instance.context().now = {40000, 29970, 1000};
    }
    static void ExpectAllReleased(Effect& fx) {
        for (const auto& f : fx.instance.services().createdFrames)
            EXPECT_EQ(f->refCount, 0);
        for (const auto& i : fx.instance.services().images)
            EXPECT_EQ(i->refCount, 0);
    }
    // Pixel (x, y) of an area of `width` pixels.
    static const uint8_t* At(const uint8_t* area, int32_t width, int32_t x, int32_t y) {
        return area + (size_t(y) * width + x) * 4;
    }
};

TEST_F(DialogTest, AcceptedSettingsAreStoredAndThePreviewFollowsTheEngine) {
    ReadyEffect fx(kBanderine);
    Clip(fx);
    fx.instance.services().log = &log;
    fx.SettingsFile().text = u"\\presets\\none.set";
    EngineProbe& probe = ProbeOf(kBanderine);
    probe.dialogAnswer = 1;
    probe.dialogSettingsLength = 3;
    probe.dialogSettings[0] = 9, probe.dialogSettings[1] = 8, probe.dialogSettings[2] = 7;
    probe.previewRequests = 4;
    const uint32_t requests[] = {40, 100, 7, 5};  // same as shown, at the end, new, unrenderable
    std::memcpy(probe.previewIndex, requests, sizeof requests);
    source.render = [](int32_t input, const TimeValue& at, host::Frame& frame) {
        if (at.count == 5000) return false;
        host::WindowSource::PaintInput(input, at, frame);
        return true;
    };

    EXPECT_TRUE(fx.EditSettings(source));
    EXPECT_EQ(probe.dialogs, 1);
    EXPECT_EQ(probe.dialogParent, source.parentWindow);
    EXPECT_EQ(probe.dialogNumber, 7);
    EXPECT_EQ((std::vector<int32_t>(probe.previewAnswer, probe.previewAnswer + 4)),
              (std::vector<int32_t>{1, 1, 1, 0}));

    const LongRecord& r = RecordOf<LongRecord>(probe);
    EXPECT_EQ(r.head.rate, 30);
    EXPECT_EQ(r.head.length, 100);
    EXPECT_EQ(r.head.position, 40);
    EXPECT_EQ(r.head.rowSelection, 3);
    EXPECT_EQ(r.head.rowSelection2, 3);
    EXPECT_EQ(r.head.storage, 0u);
    EXPECT_EQ(r.head.width, 360);  // 720 x 480 halved
    EXPECT_EQ(r.head.height, 240);
    EXPECT_EQ(r.head.rowLength[1], 360);
    EXPECT_EQ(r.fieldNumber, 1.0);
    EXPECT_EQ(r.input1, r.input2);
    EXPECT_NE(r.previewContext, nullptr);
    EXPECT_NE(r.previewCallback, nullptr);

    // Captured at time 0, then the clip's position, then the engine's request 7.
    ASSERT_EQ(source.requests.size(), 4u);
    EXPECT_EQ(source.requests[0].at.count, 0);
    EXPECT_EQ(source.requests[0].at.unitsPerSecond, 29970);
    EXPECT_EQ(source.requests[0].at.unitsPerFrame, 1000);
    EXPECT_EQ(source.requests[1].at.count, 40000);
    EXPECT_EQ(source.requests[2].at.count, 7000);
    EXPECT_EQ(source.requests[3].at.count, 5000);
    EXPECT_EQ(log.calls.at(0),
              "services.CreateFrame {B86BF9A6-9B63-416A-B947-4B5F4218A3C7} 720 480 4 0 1 1 1 0");
    EXPECT_EQ(log.Count("services.ImageOfFrame {6C1FA43A-8FEB-4788-B5FC-920E18569E32} 0 4 4"), 1u);
    EXPECT_EQ(log.Count("services.ImageOfRenderedFrame"), 2u);
    ExpectAllReleased(fx);

    // Nearest neighbour from 720 x 480: every second pixel of every second row.
    for (auto [x, y] : {std::pair{0, 0}, {1, 0}, {359, 239}, {100, 57}}) {
        const uint8_t* before = At(probe.dialogAreaOnEntry[0], 360, x, y);
        EXPECT_EQ(before[0], uint8_t(2 * x));
        EXPECT_EQ(before[1], uint8_t(2 * y));
        EXPECT_EQ(before[2], 40);
        EXPECT_EQ(before[3], 255);
        EXPECT_EQ(At(probe.dialogAreaAfter[0], 360, x, y)[2], 7);
    }

    std::vector<uint8_t> stored(32768, 0);
    stored[0] = 9, stored[1] = 8, stored[2] = 7;
    EXPECT_EQ(fx.Settings().data, stored);
    EXPECT_TRUE(fx.SettingsFile().text.empty());
}

TEST_F(DialogTest, CancelLeavesTheParametersAlone) {
    ReadyEffect fx(kBanderine);
    Clip(fx);
    fx.SettingsFile().text = u"\\presets\\none.set";
    EngineProbe& probe = ProbeOf(kBanderine);
    probe.dialogAnswer = 2;
    probe.dialogSettingsLength = 1;
    probe.dialogSettings[0] = 5;
    EXPECT_FALSE(fx.EditSettings(source));
    EXPECT_EQ(probe.dialogs, 1);
    EXPECT_EQ(fx.Settings().data, std::vector<uint8_t>(32768, 0));
    EXPECT_EQ(host::Narrow(fx.SettingsFile().text.c_str()), "\\presets\\none.set");
    ExpectAllReleased(fx);
}

TEST_F(DialogTest, SmallPicturesKeepTheirSizeAndTwentyFourBitPixelsGainAlpha) {
    ReadyEffect fx(kZestF);
    Clip(fx);
    fx.instance.services().createdWidth = 360;
    fx.instance.services().createdHeight = 240;
    fx.instance.services().imageBitsPerPixel = 24;
    fx.instance.services().imageBottomUp = true;
    EngineProbe& probe = ProbeOf(kZestF);
    EXPECT_FALSE(fx.EditSettings(source));
    const ShortRecord& r = RecordOf<ShortRecord>(probe);
    EXPECT_EQ(r.head.width, 360);
    EXPECT_EQ(r.head.height, 240);
    EXPECT_EQ(r.head.storage, 0x01000000u);
    EXPECT_EQ(r.head.singleInputFlag, 0);
    EXPECT_EQ(r.head.rate, 30);
    // Stored rows in order: the bottom-up image's row 0 is the picture's last row.
    const uint8_t* p = At(probe.dialogAreaOnEntry[0], 360, 5, 0);
    EXPECT_EQ(p[0], 5);
    EXPECT_EQ(p[1], 239);
    EXPECT_EQ(p[2], 40);
    EXPECT_EQ(p[3], 255);
    ExpectAllReleased(fx);
}

TEST_F(DialogTest, TheTransitionPreviewsBothInputsOnlyWhenAsked) {
    ReadyEffect fx(kZest);
    Clip(fx);
    EngineProbe& probe = ProbeOf(kZest);
    probe.previewRequests = 1;
    probe.previewIndex[0] = 3;
    EXPECT_FALSE(fx.EditSettings(source));
    const ShortRecord& r = RecordOf<ShortRecord>(probe);
    EXPECT_EQ(r.input1 + 360 * 240 * 4, r.input2);
    EXPECT_EQ(r.input2 + 360 * 240 * 4, r.output);
    // No preview before the dialog: area 1 holds the first capture's rows as stored.
    EXPECT_EQ(At(probe.dialogAreaOnEntry[0], 360, 3, 2)[0], 3);
    EXPECT_EQ(At(probe.dialogAreaOnEntry[0], 360, 3, 2)[1], 2);
    EXPECT_EQ(At(probe.dialogAreaOnEntry[0], 360, 3, 2)[2], 0);
    ASSERT_EQ(source.requests.size(), 3u);
    EXPECT_EQ(source.requests[1].input, 1);
    EXPECT_EQ(source.requests[2].input, 0);
    EXPECT_EQ(At(probe.dialogAreaAfter[0], 360, 3, 2)[2], 103);  // second input, frame 3
    EXPECT_EQ(At(probe.dialogAreaAfter[1], 360, 3, 2)[2], 3);    // first input
    ExpectAllReleased(fx);
}

TEST_F(DialogTest, NoPictureMeansNoDialog) {
    {
        ReadyEffect fx(kBanderine);
        source.render = [](int32_t, const TimeValue&, host::Frame&) { return false; };
        EXPECT_FALSE(fx.EditSettings(source));
        EXPECT_EQ(ProbeOf(kBanderine).dialogs, 0);
        ExpectAllReleased(fx);
    }
    {
        ReadyEffect fx(kBanderine);
        fx.instance.services().refuseImages = true;
        host::WindowSource plain;
        EXPECT_FALSE(fx.EditSettings(plain));
        EXPECT_EQ(ProbeOf(kBanderine).dialogs, 0);
    }
}

}  // namespace
}  // namespace vx

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    if (argc < 6) {
        std::fprintf(stderr,
                     "usage: vex_forwarder_tests FORWARDER_DIR FORWARDER_SUFFIX ENGINE_DIR "
                     "INCOMPLETE_ENGINE_DIR ENGINE_SUFFIX\n");
        return 2;
    }
    vx::gForwarderDir = vx::fs::absolute(argv[1]);
    vx::gSuffix = argv[2];
    vx::gEngineDir = vx::fs::absolute(argv[3]);
    vx::gIncompleteDir = vx::fs::absolute(argv[4]);
    vx::gEngineSuffix = argv[5];
    return RUN_ALL_TESTS();
}
