// The folder macros that every path value of the installer may contain.
#pragma once

#include <string>
#include <vector>

namespace vx::setup {

class MacroExpander {
  public:
    // Reads the special folders and the temporary folder from the system once.
    MacroExpander();

    void SetInstallerFolder(std::string folder) { installerFolder_ = std::move(folder); }
    void SetLanguage(std::string name) { language_ = std::move(name); }
    void SetDestination(std::string folder) { destination_ = std::move(folder); }
    const std::string& destination() const { return destination_; }
    const std::string& installerFolder() const { return installerFolder_; }

    // Replaces the 25 macros in their fixed order, each on the result of the
    // one before; "\\" collapses before "%Dest%" is inserted, so a doubled
    // backslash that the destination brings in stays.
    std::string Expand(const std::string& text) const;

  private:
    std::vector<std::pair<std::string, std::string>> systemFolders_;
    std::string installerFolder_, language_, destination_;
};

}  // namespace vx::setup
