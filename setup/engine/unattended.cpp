#include "setup/engine/unattended.h"

#include "setup/engine/installer.h"
#include "setup/engine/text.h"

namespace vx::setup {

namespace {

class ReportingObserver : public InstallObserver {
  public:
    explicit ReportingObserver(std::ostream& out) : out_(out) {}
    void Failed(const std::string& message) override {
        out_ << "setup: " << message << '\n';
        ++failures;
    }
    int failures = 0;

  private:
    std::ostream& out_;
};

}  // namespace

SetupOptions ParseSetupOptions(const std::vector<std::string>& args) {
    SetupOptions o;
    for (const std::string& a : args) {
        if (EqualNoCase(a, "/SILENT")) {
            o.silent = true;
        } else if (StartsWithNoCase(a, "/LANG=")) {
            o.hasLanguage = true;
            o.language = a.substr(6);
        } else if (StartsWithNoCase(a, "/DIR=")) {
            o.hasDestination = true;
            o.destination = a.substr(5);
        } else {
            o.unknown.push_back(a);
        }
    }
    return o;
}

int RunUnattended(const std::string& installerFolder, const SetupOptions& options,
                  std::ostream& messages) {
    for (const std::string& a : options.unknown) {
        messages << "setup: unknown argument " << a << " (use /SILENT, /LANG=name, /DIR=folder)\n";
        return kNotInstalled;
    }
    Installer installer(installerFolder);
    if (!installer.ScriptExists()) {
        messages << "setup: the installation script " << installerFolder
                 << "setup.ei1 is missing\n";
        return kNotInstalled;
    }
    std::string language = options.language;
    if (!options.hasLanguage) {
        const std::vector<std::string> languages = installer.Languages();
        if (!languages.empty()) language = languages.front();
    }
    if (!installer.LanguageExists(language)) {
        messages << "setup: the language file " << installerFolder << language
                 << ".eil is missing\n";
        return kNotInstalled;
    }
    installer.Load(language);
    if (installer.Refused()) {
        messages << "setup: " << installer.Text(10, installer.script().appName) << '\n';
        return kNotInstalled;
    }
    const std::string destination =
        options.hasDestination ? options.destination : installer.script().destFolder;
    if (destination.empty()) {
        messages << "setup: no destination folder (use /DIR=folder)\n";
        return kNotInstalled;
    }
    ReportingObserver observer(messages);
    installer.Install(destination, observer);
    installer.FinishLog(observer);
    return observer.failures ? kActionFailed : kInstalled;
}

}  // namespace vx::setup
