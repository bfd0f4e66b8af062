// The install engine on Linux, with the stand-in special folders, registry
// and INI reader: macros, script reading, the actions, the uninstall log.
#include <gtest/gtest.h>

#include "platform/install.h"
#include "platform/posix/profile_file.h"
#include "platform/posix/registry_file.h"
#include "setup/engine/installer.h"
#include "setup/engine/macros.h"
#include "setup/engine/unattended.h"
#include "tests/setup/setup_fixture.h"

namespace vx::test {
namespace {

using setup::Installer;

struct Recorder : setup::InstallObserver {
    void Status(const std::string& text) override { statuses.push_back(text); }
    void Failed(const std::string& message) override { failures.push_back(message); }
    std::vector<std::string> statuses, failures;
};

std::string LanguageFile() {
    std::string text = "[language]\n";
    for (int n = 1; n <= 36; ++n)
        text += std::to_string(n) + "=T" + std::to_string(n) + " %s\n";
    return text;
}

using MacroTest = SetupFixture;

TEST_F(MacroTest, EveryFolderMacroInItsPlace) {
    const struct {
        const char* macro;
        const char* folder;
    } cases[] = {
        {"%Program Files%", "Program Files"},
        {"%Windows%", "Windows"},
        {"%Desktop%", "Desktop"},
        {"%Programs%", "Programs"},
        {"%Favorites%", "Favorites"},
        {"%Startup%", "Startup"},
        {"%Recent%", "Recent"},
        {"%Sendto%", "SendTo"},
        {"%Start%", "Start Menu"},
        {"%Documents%", "Documents"},
        {"%Fonts%", "Fonts"},
        {"%Templates%", "Templates"},
        {"%All Start%", "All Start Menu"},
        {"%All Programs%", "All Programs"},
        {"%All Startup%", "All Startup"},
        {"%All Desktop%", "All Desktop"},
        {"%AppData%", "AppData"},
        {"%System%", "System"},
        {"%Profile%", "Profile"},
        {"%Common Files%", "Common Files"},
    };
    setup::MacroExpander m;
    for (const auto& c : cases)
        EXPECT_EQ(m.Expand(std::string("<") + c.macro + ">"),
                  "<" + (shell / c.folder).string() + ">")
            << c.macro;
}

TEST_F(MacroTest, CaseTempInstallerLanguageAndDestination) {
    setup::MacroExpander m;
    m.SetInstallerFolder("C:\\Setup\\");
    m.SetLanguage("Deutsch");
    m.SetDestination("D:\\Apps\\");
    EXPECT_EQ(m.Expand("%program files%\\x"), ProgramFiles() + "\\x");
    EXPECT_EQ(m.Expand("%INSTALLER%\\setup.dat"), "C:\\Setup\\setup.dat");
    EXPECT_EQ(m.Expand("%Dest%\\x"), "D:\\Apps\\\\x");  // the destination's backslash stays
    EXPECT_EQ(m.Expand("%Lang%.eil"), "Deutsch.eil");
    EXPECT_EQ(m.Expand("a\\\\b\\\\\\\\c"), "a\\b\\\\c");
    EXPECT_EQ(m.Expand("no macro here \\ 100%"), "no macro here \\ 100%");
    EXPECT_EQ(m.Expand("%Temp%").back(), '/');
    // Without the stand-in folders the system has none: empty expansions.
    unsetenv("VEX_SHELL_FOLDERS");
    EXPECT_EQ(setup::MacroExpander().Expand("[%Desktop%]"), "[]");
}

TEST_F(MacroTest, ReplacedTextIsNotScannedForEarlierMacros) {
    setup::MacroExpander m;
    m.SetInstallerFolder("%Windows%\\");
    m.SetDestination("%Installer%");
    EXPECT_EQ(m.Expand("%Installer%"), "%Windows%\\");
    EXPECT_EQ(m.Expand("%Dest%"), "%Installer%");
}

using ProfileTest = SetupFixture;

TEST_F(ProfileTest, ReadsByTheSystemRules) {
    const std::string file = (root / "t.ini").string();
    WriteText(file,
              "top=before any section\r\n"
              "  [Main]  \r\n"
              "  Name  =  spaced value  \r\n"
              "quoted=\"in quotes\"\n"
              "single='x'\n"
              "half=\"open\n"
              "bare\n"
              "num= -12\n"
              "hex=0x1F\n"
              "junk=abc\n"
              "empty=\n"
              "[main]\n"
              "later=second section of the same name\n"
              "k=v\n");
    using platform::ReadIniInt;
    using platform::ReadIniString;
    EXPECT_EQ(ReadIniString(file, "MAIN", "name", "-"), "spaced value");
    EXPECT_EQ(ReadIniString(file, "Main", "quoted", "-"), "in quotes");
    EXPECT_EQ(ReadIniString(file, "Main", "single", "-"), "x");
    EXPECT_EQ(ReadIniString(file, "Main", "half", "-"), "\"open");
    EXPECT_EQ(ReadIniString(file, "Main", "bare", "-"), "-");
    EXPECT_EQ(ReadIniString(file, "Main", "later", "-"), "-");
    EXPECT_EQ(ReadIniString(file, "Main", "missing", "fallback"), "fallback");
    EXPECT_EQ(ReadIniString(file, "", "top", "-"), "before any section");
    EXPECT_EQ(ReadIniInt(file, "Main", "num", 5), -12);
    EXPECT_EQ(ReadIniInt(file, "Main", "hex", 5), 31);
    EXPECT_EQ(ReadIniInt(file, "Main", "junk", 5), 0);
    EXPECT_EQ(ReadIniInt(file, "Main", "empty", 5), 5);
    EXPECT_EQ(ReadIniInt(file, "Main", "missing", 7), 7);
    EXPECT_EQ(ReadIniString((root / "none.ini").string(), "a", "b", "d"), "d");
}

TEST_F(ProfileTest, LongValuesStopAt2047Characters) {
    const std::string file = (root / "long.ini").string();
    WriteText(file, "[s]\nk=" + std::string(3000, 'x') + "\n");
    EXPECT_EQ(platform::ReadIniString(file, "s", "k", "").size(), 2047u);
}

TEST_F(ProfileTest, WritesReplaceInPlaceAndAppendInOrder) {
    const std::string file = (root / "w.ini").string();
    WriteText(file, "[b]\nx = 1\n\n; note\n[a]\ny=2\n");
    EXPECT_TRUE(platform::WriteIniString(file, "A", "z", "3"));
    EXPECT_TRUE(platform::WriteIniString(file, "B", "X", "9"));
    EXPECT_TRUE(platform::WriteIniString(file, "c", "k", "v"));
    EXPECT_EQ(ReadText(file), "[b]\r\nx=9\r\n; note\r\n[a]\r\ny=2\r\nz=3\r\n[c]\r\nk=v\r\n");
    EXPECT_FALSE(
        platform::WriteIniString((root / "no/such/folder.ini").string(), "s", "k", "v"));
}

struct InstallTest : SetupFixture {
    void Script(const std::string& text) { WriteText(installer / "setup.ei1", text); }
    void SetUp() override {
        SetupFixture::SetUp();
        WriteText(installer / "English.eil", LanguageFile());
        WriteText(installer / "setup.dat", "uninstaller");
    }
    std::string Log(const std::string& dest) { return ReadText(dest + "\\Uninstall.ini"); }
};

TEST_F(InstallTest, LanguagesAreSortedWithoutRegardToCase) {
    WriteText(installer / "deutsch.eil", "");
    WriteText(installer / "Zulu.eil", "");
    WriteText(installer / "notes.txt", "");
    EXPECT_EQ(Installer(InstallerFolder()).Languages(),
              (std::vector<std::string>{"deutsch", "English", "Zulu"}));
}

TEST_F(InstallTest, ScriptDefaultsAndTexts) {
    Script(
        "[setup1]\nAppName=Vex\nDestFolder=%Program Files%\\Vex\nOthCount=0\n[Oth1]\n"
        "Source=%Installer%setup.dat\nDest=%Dest%\\copy.dat\n");
    Installer inst(InstallerFolder());
    inst.Load("English");
    EXPECT_TRUE(inst.script().editDest);
    EXPECT_FALSE(inst.script().createUninst);
    EXPECT_EQ(inst.script().destFolder, ProgramFiles() + "\\Vex");
    EXPECT_EQ(inst.destination(), ProgramFiles() + "\\Vex");
    EXPECT_EQ(inst.Text(4, "Vex"), "T4 Vex");
    EXPECT_EQ(inst.BrowsedDestination("/other"), "/other\\Vex");
    Recorder r;
    const std::string dest = (root / "dest").string();
    inst.Install(dest, r);
    EXPECT_FALSE(Exists(dest + "\\copy.dat"));  // OthCount 0: Oth1 is not read
    EXPECT_TRUE(r.failures.empty());
}

TEST_F(InstallTest, OnlyNtRefusesByValue) {
    Installer inst(InstallerFolder());
    for (auto [value, refused] : {std::pair{0, false}, {1, true}, {2, false}, {3, true}}) {
        Script("[setup1]\nOnlyNT=" + std::to_string(value) + "\n");
        inst.Load("English");
        EXPECT_EQ(inst.Refused(), refused) << value;
    }
}

TEST_F(InstallTest, MissingFilesGiveEmptyTexts) {
    Installer inst(InstallerFolder());
    inst.Load("Klingon");
    EXPECT_EQ(inst.Text(9), "");
    EXPECT_EQ(inst.script().othCount, 0);
    EXPECT_TRUE(inst.script().editDest);
}

TEST_F(InstallTest, WholeInstallAndItsLogInOrder) {
    WriteText(installer / "files/sub/a.txt", "A");
    WriteText(installer / "extra.txt", "E");
    Script(
        "[setup1]\nAppName=My App 1.0\nLinkName=Example\nSite=http://example.org/\n"
        "DestFolder=%Program Files%\\My App\\\nSourceFolder=%Installer%files\n"
        "CreateUninst=1\nRegUninst=1\nOthCount=1\nIniCount=1\nRegCount=3\nLnkCount=1\n"
        "[Oth1]\nSource=%Installer%extra.txt\nDest=%Dest%\\docs\\extra.txt\n"
        "[Ini1]\nFile=%Dest%\\app.ini\nSection=Paths\nValue=Home\nData=%Dest%\n"
        "[Reg1]\nRoot=HKEY_LOCAL_MACHINE\nKey=SOFTWARE\\Vex Test\nValue=Path\nData=%Dest%\n"
        "[Reg2]\nRoot=hkey_local_machine\nKey=SOFTWARE\\Vex Test\nValue=Count\nType=1\nData=42\n"
        "[Reg3]\nRoot=Other\nKey=Software\\Vex Test\nValue=Blob\nType=2\nData=AB\n"
        "[Lnk1]\nLinkName=%Dest%\\Readme.lnk\nFileName=%Dest%\\sub\\a.txt\nIndex=2\n"
        "[un_exe]\nCount=1\nexe1=rm %Dest%/marker\n");
    Installer inst(InstallerFolder());
    inst.Load("English");
    Recorder r;
    // Typed with a trailing backslash: the actions see it without.
    const std::string dest = ProgramFiles() + "\\My App";
    inst.Install(inst.destination(), r);
    inst.FinishLog(r);
    EXPECT_TRUE(r.failures.empty()) << r.failures.front();

    EXPECT_EQ(ReadText(dest + "\\sub\\a.txt"), "A");
    EXPECT_EQ(ReadText(dest + "\\docs\\extra.txt"), "E");
    EXPECT_EQ(ReadText(dest + "\\Uninstall.exe"), "uninstaller");
    EXPECT_EQ(platform::ReadIniString(dest + "\\app.ini", "Paths", "Home", ""), dest);
    EXPECT_NE(ReadText(dest + "\\Readme.lnk").find("Target=" + dest + "\\sub\\a.txt"),
              std::string::npos);

    platform::RegistryFile reg;
    ASSERT_TRUE(reg.Load(registry.string()));
    const auto* path = reg.Find(platform::kLocalMachine, "SOFTWARE\\Vex Test", "Path");
    const auto* count = reg.Find(platform::kLocalMachine, "SOFTWARE\\Vex Test", "Count");
    const auto* blob = reg.Find(platform::kCurrentUser, "Software\\Vex Test", "Blob");
    ASSERT_TRUE(path && count && blob);
    EXPECT_EQ(path->text, dest);
    EXPECT_EQ(count->dword, 42u);
    EXPECT_EQ(blob->bytes, (std::vector<uint8_t>{'A', 'B'}));
    const std::string entry = std::string(setup::kUninstallKeyParent) + "My_App_1_0";
    const auto* display = reg.Find(platform::kLocalMachine, entry, "DisplayName");
    const auto* command = reg.Find(platform::kLocalMachine, entry, "UninstallString");
    ASSERT_TRUE(display && command);
    EXPECT_EQ(display->text, "My App 1.0");
    EXPECT_EQ(command->text, dest + "\\Uninstall.exe");
    EXPECT_EQ(reg.Find(platform::kLocalMachine, entry, "Publisher")->text, "http://example.org/");

    std::string language;
    for (int n = 1; n <= 7; ++n)
        language += std::to_string(n) + "=T" + std::to_string(29 + n) + " %s\r\n";
    EXPECT_EQ(Log(dest),
              "[folders]\r\n1=" + dest +
                  "\\sub\r\nCount=1\r\n"
                  "[files]\r\n1=" +
                  dest + "\\sub\\a.txt\r\n2=" + dest + "\\docs\\extra.txt\r\n3=" + dest +
                  "\\Readme.lnk\r\nCount=3\r\n"
                  "[Reg1]\r\nRoot=HKEY_LOCAL_MACHINE\r\nKey=SOFTWARE\\Vex Test\r\nValue=Path\r\n"
                  "[Reg2]\r\nRoot=hkey_local_machine\r\nKey=SOFTWARE\\Vex Test\r\nValue=Count\r\n"
                  "[Reg3]\r\nRoot=Other\r\nKey=Software\\Vex Test\r\nValue=Blob\r\n"
                  "[uninstall]\r\nRegCount=3\r\nLinkText=Example\r\nLinkUrl=http://example.org/\r\n"
                  "AppName=My App 1.0\r\n"
                  "[Ocx]\r\nCount=0\r\n"
                  "[language]\r\n" +
                  language + "[exe]\r\nCount=1\r\nexe1=rm " + dest + "/marker\r\n");
}

TEST_F(InstallTest, TreeCopyWithAndWithoutOverwrite) {
    WriteText(installer / "files/keep.txt", "new");
    WriteText(installer / "files/d1/d2/deep.txt", "deep");
    WriteText(installer / "files/d1/x.txt", "x");
    const std::string dest = (root / "dest").string();
    for (bool overwrite : {false, true}) {
        fs::remove_all(dest);
        WriteText(dest + "/keep.txt", "old");
        Script("[setup1]\nSourceFolder=%Installer%files\\\nCreateUninst=1\nOverwrite=" +
               std::to_string(overwrite) + "\n");
        Installer inst(InstallerFolder());
        inst.Load("English");
        Recorder r;
        inst.Install(dest, r);
        inst.FinishLog(r);
        EXPECT_TRUE(r.failures.empty());
        EXPECT_EQ(ReadText(dest + "/keep.txt"), overwrite ? "new" : "old");
        EXPECT_EQ(ReadText(dest + "/d1/d2/deep.txt"), "deep");
        EXPECT_EQ(ReadText(dest + "/d1/x.txt"), "x");
        // Every tree file is listed, the kept one too, numbered in copy order.
        platform::ProfileFile log;
        ASSERT_TRUE(log.Load(dest + "/Uninstall.ini"));
        EXPECT_EQ(log.ReadInt("files", "Count", -1), 3);
        EXPECT_EQ(log.ReadInt("folders", "Count", -1), 2);
        std::vector<std::string> listed;
        for (int k = 1; k <= 3; ++k)
            listed.push_back(log.ReadString("files", std::to_string(k), ""));
        std::sort(listed.begin(), listed.end());
        EXPECT_EQ(listed, (std::vector<std::string>{dest + "\\d1\\d2\\deep.txt",
                                                    dest + "\\d1\\x.txt", dest + "\\keep.txt"}));
        EXPECT_EQ(log.ReadString("folders", "1", ""), dest + "\\d1");
        EXPECT_EQ(log.ReadString("folders", "2", ""), dest + "\\d1\\d2");
        // The status line names each file.
        EXPECT_EQ(std::count(r.statuses.begin(), r.statuses.end(), "T20 deep.txt"), 1);
    }
}

TEST_F(InstallTest, SingleFilesAndShortcutsNumberAfterTheTree) {
    WriteText(installer / "one.txt", "1");
    const std::string dest = (root / "dest").string();
    WriteText(dest + "/existing.txt", "old");
    Script(
        "[setup1]\nCreateUninst=1\nOthCount=3\nLnkCount=1\n"
        "[Oth1]\nSource=%Installer%one.txt\nDest=%Dest%\\a.txt\n"
        "[Oth2]\nSource=%Installer%one.txt\nDest=%Dest%\\existing.txt\n"
        "[Oth3]\nSource=%Installer%one.txt\nDest=%Dest%\\b.txt\n"
        "[Lnk1]\nLinkName=%Dest%\\links\\one.lnk\nFileName=%Dest%\\a.txt\n");
    Installer inst(InstallerFolder());
    inst.Load("English");
    Recorder r;
    inst.Install(dest, r);
    inst.FinishLog(r);
    EXPECT_TRUE(r.failures.empty());
    EXPECT_EQ(ReadText(dest + "/existing.txt"), "1");  // replaced, but not listed
    platform::ProfileFile log;
    ASSERT_TRUE(log.Load(dest + "/Uninstall.ini"));
    EXPECT_EQ(log.ReadString("files", "1", ""), dest + "\\a.txt");
    EXPECT_EQ(log.ReadString("files", "2", ""), dest + "\\b.txt");
    EXPECT_EQ(log.ReadString("files", "3", ""), dest + "\\links\\one.lnk");
    EXPECT_EQ(log.ReadInt("files", "Count", -1), 3);
    EXPECT_TRUE(fs::exists(dest + "/links/one.lnk"));
    // No registry section: RegCount 0 and the exe Count 0 still written.
    EXPECT_EQ(log.Find("uninstall", "RegCount"), "0");
    EXPECT_EQ(log.Find("exe", "Count"), "0");
}

TEST_F(InstallTest, UninstallKeyName) {
    EXPECT_EQ(setup::UninstallKeyName("My App 1.0"), "My_App_1_0");
}

TEST_F(InstallTest, BadInputIsReportedAndTheRestGoesOn) {
    const std::string dest = (root / "dest").string();
    WriteText(installer / "one.txt", "1");
    WriteText(dest + "/readonly.txt", "locked");
    fs::permissions(P(dest + "/readonly.txt"), fs::perms::owner_read);
    Script(
        "[setup1]\nSourceFolder=%Installer%nothere\nOverwrite=1\nOthCount=2\nRegCount=2\n"
        "[Oth1]\nSource=%Installer%one.txt\nDest=%Dest%\\readonly.txt\n"
        "[Oth2]\nSource=%Installer%one.txt\nDest=%Dest%\\fine.txt\n"
        "[Reg1]\nKey=Software\\Vex\nValue=N\nType=1\nData=12abc\n"
        "[Reg2]\nKey=Software\\Vex\nValue=S\nData=ok\n");
    Installer inst(InstallerFolder());
    inst.Load("English");
    Recorder r;
    inst.Install(dest, r);
    ASSERT_EQ(r.failures.size(), 3u);
    EXPECT_NE(r.failures[0].find("does not exist"), std::string::npos);
    EXPECT_NE(r.failures[1].find("readonly.txt"), std::string::npos);
    EXPECT_NE(r.failures[2].find("not a number"), std::string::npos);
    EXPECT_EQ(ReadText(dest + "/readonly.txt"), "locked");
    EXPECT_EQ(ReadText(dest + "/fine.txt"), "1");
    platform::RegistryFile reg;
    reg.Load(registry.string());
    EXPECT_EQ(reg.Find(platform::kCurrentUser, "Software\\Vex", "N"), nullptr);
    EXPECT_NE(reg.Find(platform::kCurrentUser, "Software\\Vex", "S"), nullptr);
}

TEST_F(InstallTest, DestinationInsideTheSourceIsRefused) {
    WriteText(installer / "files/a.txt", "a");
    Script("[setup1]\nSourceFolder=%Installer%files\n");
    Installer inst(InstallerFolder());
    inst.Load("English");
    Recorder r;
    inst.Install((installer / "files/copy").string(), r);
    ASSERT_EQ(r.failures.size(), 1u);
    EXPECT_FALSE(fs::exists(installer / "files/copy/a.txt"));
}

TEST_F(InstallTest, DestinationThatCannotBeCreated) {
    WriteText(root / "file", "not a folder");
    WriteText(installer / "files/a.txt", "a");
    Script("[setup1]\nSourceFolder=%Installer%files\nCreateUninst=1\n");
    Installer inst(InstallerFolder());
    inst.Load("English");
    Recorder r;
    inst.Install((root / "file/dest").string(), r);
    inst.FinishLog(r);
    EXPECT_GE(r.failures.size(), 3u);  // the folder, the file, the uninstaller, the log
    EXPECT_NE(r.failures.front().find("cannot create the destination"), std::string::npos);
}

TEST_F(InstallTest, UnattendedFailsClearlyWithoutScriptOrLanguage) {
    std::ostringstream out;
    setup::SetupOptions o = setup::ParseSetupOptions({"/silent", "/LANG=English", "/DIR=/x"});
    EXPECT_TRUE(o.silent);
    EXPECT_EQ(o.destination, "/x");
    EXPECT_EQ(setup::RunUnattended(InstallerFolder(), o, out), setup::kNotInstalled);
    EXPECT_NE(out.str().find("setup.ei1 is missing"), std::string::npos);
    Script("[setup1]\nAppName=X\n");
    o.language = "Esperanto";
    out.str("");
    EXPECT_EQ(setup::RunUnattended(InstallerFolder(), o, out), setup::kNotInstalled);
    EXPECT_NE(out.str().find("Esperanto.eil is missing"), std::string::npos);
    o.language = "English";
    o.destination = (root / "d").string();
    EXPECT_EQ(setup::RunUnattended(InstallerFolder(), o, out), setup::kInstalled);
    EXPECT_TRUE(fs::is_directory(root / "d"));
}

}  // namespace
}  // namespace vx::test
