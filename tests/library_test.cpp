// The built plug-in library, loaded the way the host loads it: registration
// by descriptor files, creation, parameters, and renders that must match the
// same checksums as the linked library.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <random>

#include "platform/platform.h"
#include "tests/expected_effects.h"
#include "tests/golden_cases.h"

namespace vx {
namespace {

namespace fs = std::filesystem;

std::string gLibraryPath;
fs::path gDescriptors;

void PutDescriptor(const char* identifier) { std::ofstream(gDescriptors / (std::string(identifier) + ".xml")) << "<effect/>"; }
void ClearDescriptors() {
    for (const auto& e : test::kExpectedEffects) fs::remove(gDescriptors / (std::string(e.identifier) + ".xml"));
}

const host::EffectLibrary& Library() {
    static host::EffectLibrary lib = host::EffectLibrary::Load(gLibraryPath);
    return lib;
}

struct LibraryTest : ::testing::Test {
    void SetUp() override {
        ASSERT_TRUE(Library().ok()) << Library().error();
        ClearDescriptors();
    }
};

TEST_F(LibraryTest, WithoutDescriptorsNothingIsRegistered) {
    host::CallLog log;
    host::Registrar reg(&log);
    EXPECT_EQ(Library().RegisterEffects(reg), kOk);
    EXPECT_TRUE(log.calls.empty());
}

TEST_F(LibraryTest, OnlyTheZoomDescriptorRegistersOnlyZoomWithTheExactCalls) {
    PutDescriptor("VXEZoom");
    host::CallLog log;
    host::Registrar reg(&log);
    EXPECT_EQ(Library().RegisterEffects(reg), kOk);
    ASSERT_EQ(reg.registered.size(), 1u);
    EXPECT_EQ(reg.registered[0].flags, -1);
    EXPECT_EQ(reg.registered[0].kind, 1);
    EXPECT_EQ(host::Narrow(reg.registered[0].name.c_str()), "Zoom (0.5o)");
    const std::vector<std::string> expected = {
        "descriptor.Clear",
        "descriptor.SetGroup Vex Effects",
        "descriptor.SetName Zoom (0.5o)",
        "descriptor.SetClassId {5A18F1F7-3126-407B-A58A-43A003BD2EDE}",
        "descriptor.SetVersion 1.0",
        "descriptor.QueryInterface {BA0DE517-F4EC-4FD0-A3CE-55CE943059ED}",
        "extension.SetOptions 1 0 0",
        "descriptor.SetKindAndFlags 1 -1",
        "registrar.Register",
        "extension.Release",
    };
    EXPECT_EQ(log.calls, expected);
    EXPECT_EQ(reg.extensionRefs, 0);
}

TEST_F(LibraryTest, AllDescriptorsRegisterAllEffectsInTableOrderEvenWithoutExtension) {
    for (const auto& e : test::kExpectedEffects) PutDescriptor(e.identifier);
    host::CallLog log;
    host::Registrar reg(&log);
    reg.offerExtension = false;
    reg.answer = 0x77;  // a refusing registrar does not stop registration
    EXPECT_EQ(Library().RegisterEffects(reg), kOk);
    EXPECT_EQ(log.Count("registrar.Register"), 25u);
    EXPECT_EQ(log.Count("descriptor.SetKindAndFlags"), 25u);
    EXPECT_EQ(log.Count("extension."), 0u);

    reg.answer = kOk;
    reg.offerExtension = true;
    EXPECT_EQ(Library().RegisterEffects(reg), kOk);
    ASSERT_EQ(reg.registered.size(), 25u);
    for (size_t i = 0; i < 25; ++i) {
        const auto& e = test::kExpectedEffects[i];
        const auto& r = reg.registered[i];
        EXPECT_EQ(host::Narrow(r.name.c_str()), e.displayName);
        EXPECT_EQ(host::Narrow(r.group.c_str()), "Vex Effects");
        EXPECT_EQ(host::Narrow(r.version.c_str()), "1.0");
        EXPECT_TRUE(SameGuid(r.classId, e.classId)) << e.identifier;
        EXPECT_EQ(r.flags, e.flags) << e.identifier;
    }
}

TEST_F(LibraryTest, RegisterEffectExportDrivesTheDescriptorDirectly) {
    ASSERT_NE(Library().registerEffect(), nullptr);
    host::Registrar reg;
    Guid id = test::kExpectedEffects[3].classId;
    EXPECT_EQ(Library().registerEffect()(reg.Host(), reg.Descriptor(), u"Name", &id, 5, 2), kOk);
    ASSERT_EQ(reg.registered.size(), 1u);
    EXPECT_EQ(reg.registered[0].kind, 2);
    EXPECT_EQ(reg.registered[0].flags, 5);
}

TEST_F(LibraryTest, CreatesEffectsThatCountReferencesAndDeclareParameters) {
    // Each built effect with the number of parameters it declares.
    const std::pair<const char*, size_t> built[] = {
        {"VXEBackground", 1},
        {"VXEColorAdjust", 9},
        {"VXETransform", 18},
        {"VXEColorChange", 10},
        {"VXEColorCorrect", 9},
        {"VXETransparency", 4},
        {"VXEFilter", 2},
        {"VXEZoom", 3},
        {"VXEZoom2", 4},
        {"VXEZoomAndMove", 6},
        {"VXEMirror", 2},
        {"VXEKaleidoscope", 4},
        {"VXELens", 9},
        {"VXEWaves", 7},
        {"VXEraser", 6},
    };
    for (const auto& [id, count] : built) {
        SCOPED_TRACE(id);
        EffectInterface* e = Library().CreateEffect(test::ClassIdOf(id));
        ASSERT_NE(e, nullptr);
        EXPECT_EQ(e->ops->GetRefCount(e), 0);
        EXPECT_EQ(e->ops->AddRef(e), 1);
        void* out = nullptr;
        EXPECT_EQ(e->ops->QueryInterface(e, &kSecondaryInterfaceId, &out), kOk);
        EXPECT_EQ(e->ops->GetRefCount(e), 2);
        host::ParameterSet set;
        EXPECT_EQ(e->ops->DefineParameters(e, set.List(), set.Factory()), kOk);
        EXPECT_EQ(set.Declared().size(), count);
        EXPECT_EQ(set.Outstanding(), 0);
        EXPECT_EQ(e->ops->Release(e), 1);
        EXPECT_EQ(e->ops->Release(e), 0);
    }
    Guid unknown{};
    EXPECT_EQ(Library().CreateEffect(unknown), nullptr);
}

TEST_F(LibraryTest, CreatesTheSecondGeometricEffectsWithTheirParameters) {
    const std::pair<const char*, size_t> effects[] = {
        {"VXETransform2", 27}, {"VXESpiral", 3}, {"VXEDeInterlace", 1},
        {"VXECut", 10},        {"VXEGear", 5},   {"VXELighthouse", 13}};
    for (const auto& [id, count] : effects) {
        SCOPED_TRACE(id);
        EffectInterface* e = Library().CreateEffect(test::ClassIdOf(id));
        ASSERT_NE(e, nullptr);
        EXPECT_EQ(e->ops->AddRef(e), 1);
        host::ParameterSet set;
        EXPECT_EQ(e->ops->DefineParameters(e, set.List(), set.Factory()), kOk);
        EXPECT_EQ(set.Declared().size(), count);
        EXPECT_EQ(set.Outstanding(), 0);
        EXPECT_EQ(e->ops->Release(e), 0);
    }
}

TEST_F(LibraryTest, GhostTakesAFrameSourceThroughItsThirdInterface) {
    EffectInterface* e = Library().CreateEffect(test::ClassIdOf("VXEGhost"));
    ASSERT_NE(e, nullptr);
    EXPECT_EQ(e->ops->AddRef(e), 1);
    host::ParameterSet set;
    EXPECT_EQ(e->ops->DefineParameters(e, set.List(), set.Factory()), kOk);
    EXPECT_EQ(set.Declared().size(), 3u);
    void* out = nullptr;
    ASSERT_EQ(e->ops->QueryInterface(e, &kFrameSourceInterfaceId, &out), kOk);
    auto* fs = static_cast<FrameSourceInterface*>(out);
    EXPECT_EQ(fs->ops->GetRefCount(fs), 2);
    host::Clip clip;
    int32_t out1 = 0, out2 = 0;
    EXPECT_EQ(fs->ops->SetFrameSource(fs, &out1, &out2, clip.Host()), kOk);
    EXPECT_EQ(out1, 20);
    EXPECT_EQ(out2, 20);
    EXPECT_EQ(clip.refCount, 0);
    EXPECT_EQ(fs->ops->Release(fs), 1);
    e->ops->Reset(e);
    EXPECT_EQ(e->ops->Release(e), 0);
}

TEST_F(LibraryTest, RendersMatchTheFixedChecksums) {
    for (const test::GoldenCase& c : test::GoldenCases())
        for (int l = 0; l < 6; ++l)
            EXPECT_EQ(test::Hex64(test::RenderGolden(Library(), c, test::kLayouts[l])),
                      test::Hex64(c.hash[l]))
                << c.effect << " case " << (&c - test::GoldenCases().data()) << " layout "
                << test::kLayouts[l].name;
}

}  // namespace
}  // namespace vx

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    if (argc < 2) {
        std::fprintf(stderr, "usage: vex_library_tests LIBRARY\n");
        return 2;
    }
    vx::gLibraryPath = argv[1];
    // The host's installation folder: descriptors go to its Plugins\RTFx\XML.
    vx::fs::path root = vx::fs::temp_directory_path() /
                        ("vex-library-test-" + std::to_string(std::random_device{}()));
    vx::gDescriptors = root / "Plugins" / "RTFx" / "XML";
    vx::fs::create_directories(vx::gDescriptors);
    std::u16string rootText = vx::platform::WideFromNarrow(root.string().c_str());
    if (!vx::platform::WriteRegistryString(vx::platform::kLocalMachine,
                                           "SOFTWARE\\Pinnacle Systems\\Studio 10\\", u"Main path",
                                           rootText.c_str())) {
        std::fprintf(stderr, "cannot write the host's registry value\n");
        return 1;
    }
    int rc = RUN_ALL_TESTS();
    vx::fs::remove_all(root);
    return rc;
}
