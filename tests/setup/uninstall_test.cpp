// The uninstaller's engine on Linux: what an installation listed goes, what
// the user added stays.
#include <gtest/gtest.h>

#include "platform/posix/registry_file.h"
#include "setup/engine/installer.h"
#include "setup/engine/uninstaller.h"
#include "tests/setup/setup_fixture.h"

namespace vx::test {
namespace {

struct UninstallTest : SetupFixture {
    std::string dest;
    void SetUp() override {
        SetupFixture::SetUp();
        dest = (root / "dest").string();
        WriteText(installer / "English.eil", "[language]\n30=Remove %s\n31=Really remove %s?\n");
        WriteText(installer / "setup.dat", "uninstaller");
        WriteText(installer / "files/top.txt", "t");
        WriteText(installer / "files/a/one.txt", "1");
        WriteText(installer / "files/a/b/two.txt", "2");
        WriteText(installer / "files/c/three.txt", "3");
        fs::create_directories(installer / "files/empty");
        WriteText(installer / "single.txt", "s");
        WriteText(installer / "setup.ei1",
                  "[setup1]\nAppName=Vex Test 1.0\nSourceFolder=%Installer%files\nCreateUninst=1\n"
                  "RegUninst=1\nOthCount=1\nRegCount=2\nLnkCount=1\n"
                  "[Oth1]\nSource=%Installer%single.txt\nDest=%Dest%\\docs\\single.txt\n"
                  "[Reg1]\nRoot=HKEY_LOCAL_MACHINE\nKey=SOFTWARE\\VexTest\nValue=A\nData=x\n"
                  "[Reg2]\nRoot=HKEY_CURRENT_USER\nKey=Software\\VexTest\nValue=B\nType=1\nData=1\n"
                  "[Lnk1]\nLinkName=%Dest%\\top.lnk\nFileName=%Dest%\\top.txt\n"
                  "[un_exe]\nCount=1\nexe1=rm " +
                      dest + "/marker\n");
        // A value of the user's beside ours.
        platform::RegistryFile reg;
        platform::RegistryValue mine;
        mine.name = "Mine";
        mine.text = "keep";
        reg.Set(platform::kCurrentUser, "Software\\VexTest", mine);
        reg.Save(registry.string());

        setup::Installer inst(InstallerFolder());
        inst.Load("English");
        setup::InstallObserver quiet;
        inst.Install(dest, quiet);
        inst.FinishLog(quiet);
        WriteText(dest + "/marker", "");
    }
};

TEST_F(UninstallTest, RemovesWhatWasInstalledAndNothingElse) {
    WriteText(dest + "/c/user.txt", "mine");
    setup::Uninstaller u(dest + "/");
    ASSERT_TRUE(u.LogExists());
    EXPECT_EQ(u.Text(1), "Remove Vex Test 1.0");
    const setup::UninstallResult result = u.Run();
    EXPECT_TRUE(result.failures.empty()) << result.failures.front();
    EXPECT_FALSE(fs::exists(dest + "/marker"));  // the "exe" command ran
    EXPECT_EQ(ReadText(dest + "/c/user.txt"), "mine");
    EXPECT_EQ(result.kept, std::vector<std::string>{dest + "\\c"});
    for (const char* gone :
         {"top.txt", "top.lnk", "docs", "a", "empty", "c/three.txt", "Uninstall.ini"})
        EXPECT_FALSE(fs::exists(dest + "/" + gone)) << gone;

    platform::RegistryFile reg;
    reg.Load(registry.string());
    EXPECT_EQ(reg.Find(platform::kLocalMachine, "SOFTWARE\\VexTest", "A"), nullptr);
    EXPECT_EQ(reg.Find(platform::kCurrentUser, "Software\\VexTest", "B"), nullptr);
    EXPECT_NE(reg.Find(platform::kCurrentUser, "Software\\VexTest", "Mine"), nullptr);
    EXPECT_FALSE(reg.IsEmptyKey(platform::kLocalMachine, "SOFTWARE\\VexTest"));  // removed
    EXPECT_EQ(reg.Find(platform::kLocalMachine,
                       std::string(setup::kUninstallKeyParent) + "Vex_Test_1_0", "DisplayName"),
              nullptr);

    // The program goes, and the folder stays while the user's file is in it.
    EXPECT_TRUE(u.RemoveProgramAndFolder(dest + "/Uninstall.exe"));
    EXPECT_FALSE(fs::exists(dest + "/Uninstall.exe"));
    EXPECT_TRUE(fs::exists(dest + "/c/user.txt"));
}

TEST_F(UninstallTest, EmptiedFolderGoesWithTheProgram) {
    setup::Uninstaller u(dest + "/");
    EXPECT_TRUE(u.Run().kept.empty());
    EXPECT_TRUE(u.RemoveProgramAndFolder(dest + "/Uninstall.exe"));
    EXPECT_FALSE(fs::exists(dest));
}

}  // namespace
}  // namespace vx::test
