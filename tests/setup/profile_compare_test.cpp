// Our INI reader and writer against the system's private-profile functions:
// under Wine the platform calls are the system's, so every read and every
// written file must come out the same.  (On Linux both sides are ours.)
#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

#include "platform/install.h"
#include "platform/posix/profile_file.h"

namespace vx {
namespace {

const char* const kFiles[] = {
    "[Main]\r\nName=plain\r\n  Spaced  =  around value  \r\nquoted=\"in quotes\"\r\n"
    "single='x'\r\nhalf=\"open\r\nmixed=\"a'\r\nbare\r\nempty=\r\n=nokey\r\n",
    "top=before sections\n[a]\nk=first\n[A]\nk=second\nj=only in second\n[ b ]\nk=b\n",
    "[n]\nd=42\nneg=-17\nplus=+5\nhex=0x1F\nbin=0b101\noct=0o17\nlead=  7\ntrail=12abc\n"
    "junk=abc\nbig=4294967297\nq=\"8\"\nsp=\t9\n",
    "[dup]\nk=1\nk=2\n[case]\nKEY=upper\n\n\n[last]\nx=y",
    "no section at all\nk=v\n",
};

struct Probe {
    const char* section;
    const char* key;
};
const Probe kProbes[] = {
    {"Main", "Name"},  {"main", "SPACED"}, {"Main", "quoted"}, {"Main", "single"}, {"Main", "half"},
    {"Main", "mixed"}, {"Main", "bare"},   {"Main", "empty"},  {"Main", ""},       {"Main", "none"},
    {"", "top"},       {"a", "k"},         {"a", "j"},         {" b ", "k"},       {"b", "k"},
    {"n", "d"},        {"n", "neg"},       {"n", "plus"},      {"n", "hex"},       {"n", "bin"},
    {"n", "oct"},      {"n", "lead"},      {"n", "trail"},     {"n", "junk"},      {"n", "big"},
    {"n", "q"},        {"n", "sp"},        {"dup", "k"},       {"case", "key"},    {"last", "x"},
    {"", "k"},         {"none", "k"},
};

std::string Folder() {
    return platform::TempFolder();
}

std::string ReadAll(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

TEST(ProfileCompare, ReadsLikeTheSystem) {
    int index = 0;
    for (const char* text : kFiles) {
        const std::string path = Folder() + "vx-profile-" + std::to_string(index++) + ".ini";
        std::ofstream(path, std::ios::binary) << text;
        platform::ProfileFile ours;
        ASSERT_TRUE(ours.Load(path));
        for (const Probe& p : kProbes) {
            SCOPED_TRACE(std::string("file ") + std::to_string(index - 1) + " [" + p.section +
                         "] " + p.key);
            EXPECT_EQ(ours.ReadString(p.section, p.key, "dflt"),
                      platform::ReadIniString(path, p.section, p.key, "dflt"));
            EXPECT_EQ(ours.ReadInt(p.section, p.key, -99),
                      platform::ReadIniInt(path, p.section, p.key, -99));
        }
        std::remove(path.c_str());
    }
}

TEST(ProfileCompare, LongValuesTruncateAlike) {
    const std::string path = Folder() + "vx-profile-long.ini";
    std::ofstream(path, std::ios::binary)
        << "[s]\nk=\"" << std::string(2100, 'y') << "\"\nj=" << std::string(2047, 'z') << "\n";
    platform::ProfileFile ours;
    ours.Load(path);
    EXPECT_EQ(ours.ReadString("s", "k", ""), platform::ReadIniString(path, "s", "k", ""));
    EXPECT_EQ(ours.ReadString("s", "j", ""), platform::ReadIniString(path, "s", "j", ""));
    std::remove(path.c_str());
}

TEST(ProfileCompare, WritesLikeTheSystem) {
    const std::string start = "[b]\r\nx = 1\r\n\r\n; note\r\n[a]\r\ny=2\r\n";
    const std::string system = Folder() + "vx-profile-system.ini";
    const std::string ours = Folder() + "vx-profile-ours.ini";
    std::ofstream(system, std::ios::binary) << start;
    const std::pair<const char*, const char*> writes[][2] = {
        {{"A", "z"}, {"3", ""}},  {{"B", "X"}, {"9", ""}},         {{"c", "k"}, {"v w", ""}},
        {{"a", "y"}, {"22", ""}}, {{"files", "1"}, {"C:\\x", ""}},
    };
    platform::ProfileFile file;
    std::ofstream(ours, std::ios::binary) << start;
    for (const auto& w : writes) {
        ASSERT_TRUE(platform::WriteIniString(system, w[0].first, w[0].second, w[1].first));
        file.Load(ours);
        file.Set(w[0].first, w[0].second, w[1].first);
        ASSERT_TRUE(file.Save(ours));
    }
    // A new file.
    const std::string fresh = Folder() + "vx-profile-fresh.ini";
    std::remove(fresh.c_str());
    ASSERT_TRUE(platform::WriteIniString(fresh, "uninstall", "RegCount", "0"));
    ASSERT_TRUE(platform::WriteIniString(fresh, "files", "1", "C:\\a b"));
    platform::ProfileFile made;
    made.Set("uninstall", "RegCount", "0");
    made.Set("files", "1", "C:\\a b");
    EXPECT_EQ(ReadAll(system), ReadAll(ours));
    EXPECT_EQ(ReadAll(fresh), made.Text());
    for (const std::string& p : {system, ours, fresh})
        std::remove(p.c_str());
}

}  // namespace
}  // namespace vx
