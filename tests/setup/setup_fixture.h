// A temporary installer folder, special folders and registry for the install
// engine's tests on Linux.
#pragma once

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

namespace vx::test {

namespace fs = std::filesystem;

// Paths as the engine writes them may hold '\\' separators.
inline fs::path P(const fs::path& path) {
    std::string p = path.string();
    for (char& c : p)
        if (c == '\\') c = '/';
    return p;
}

inline bool Exists(const fs::path& path) {
    return fs::exists(P(path));
}

inline void WriteText(const fs::path& where, const std::string& text) {
    const fs::path path = P(where);
    fs::create_directories(path.parent_path());
    std::ofstream(path, std::ios::binary) << text;
}

inline std::string ReadText(const fs::path& path) {
    std::ifstream in(P(path), std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

struct SetupFixture : ::testing::Test {
    fs::path root, installer, shell, registry;

    void SetUp() override {
        root = fs::temp_directory_path() /
               ("vx-setup-" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) +
                "-" + ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(root);
        installer = root / "installer";
        shell = root / "shell";
        registry = root / "registry.txt";
        fs::create_directories(installer);
        fs::create_directories(shell / "Program Files");
        setenv("VEX_SHELL_FOLDERS", shell.c_str(), 1);
        setenv("VEX_REGISTRY", registry.c_str(), 1);
    }
    void TearDown() override {
        unsetenv("VEX_SHELL_FOLDERS");
        unsetenv("VEX_REGISTRY");
        fs::remove_all(root);
    }
    std::string InstallerFolder() const { return installer.string() + "/"; }
    // The destination under the stand-in "Program Files", as the engine writes it.
    std::string ProgramFiles() const { return (shell / "Program Files").string(); }
};

}  // namespace vx::test
