#include "UiFixture.h"

#include <QApplication>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "directory/DSContext.h"
#include "settings/Ini.h"
#include "ui/QtHooks.h"
#include "util/Export.h"
#include "util/Platform.h"

namespace trovalen::test {

namespace fs = std::filesystem;

const char kSmallTree[] = R"({
  "format": 1,
  "trees": [
    {"name": "ACME_TREE", "objects": [
      {"name": "[Root]", "class": "Tree Root"},
      {"name": "ACME", "class": "Organization",
       "acl": [{"subject": ".Admin.ACME", "attribute": "[Entry Rights]", "rights": "BCDRAI"}]},
      {"name": "Admin.ACME", "class": "User"},
      {"name": "SALES.ACME", "class": "Organizational Unit"},
      {"name": "EAST.SALES.ACME", "class": "Organizational Unit"},
      {"name": "Joe.SALES.ACME", "class": "User"},
      {"name": "Amy.SALES.ACME", "class": "User"},
      {"name": "Bea.EAST.SALES.ACME", "class": "User"},
      {"name": "FS1.ACME", "class": "NCP Server"},
      {"name": "FS1_SYS.ACME", "class": "Volume"}
    ]},
    {"name": "OTHER_TREE", "objects": [
      {"name": "O2", "class": "Organization"},
      {"name": "Bob.O2", "class": "User"},
      {"name": "FS2.O2", "class": "NCP Server"},
      {"name": "FS2_VOL1.O2", "class": "Volume"}
    ]}
  ],
  "servers": [
    {"name": "FS1", "tree": "ACME_TREE", "object": ".FS1.ACME",
     "volumes": [{"name": "SYS", "object": ".FS1_SYS.ACME",
       "trustees": {".Admin.ACME": "RWCEAFMS"},
       "dirs": {"APPS": {"irm": "R    F  ", "trustees": {".Joe.SALES.ACME": "RWCEF"},
                         "dirs": {"DATA": {}, "TOOLS": {"dirs": {"BIN": {}}}}},
                "HOME": {}}}]},
    {"name": "FS2", "tree": "OTHER_TREE", "object": ".FS2.O2",
     "volumes": [{"name": "VOL1", "object": ".FS2_VOL1.O2", "dirs": {"X": {}}}]}
  ],
  "connections": [{"server": "FS1", "user": ".Admin.ACME", "primary": true},
                  {"server": "FS2", "user": ".Bob.O2"}]
})";

void TUiFixture::SetUp() {
    std::string tmpl = (fs::temp_directory_path() / "trovalen-ui-XXXXXX").string();
    ASSERT_NE(mkdtemp(tmpl.data()), nullptr);
    Dir = tmpl;
    MountDir = Dir + "/mnt";
    for (const char* sub : {"/config", "/home", "/mnt", "/bin", "/run"})
        fs::create_directories(Dir + sub);
    setenv("XDG_CONFIG_HOME", (Dir + "/config").c_str(), 1);
    setenv("HOME", (Dir + "/home").c_str(), 1);
    setenv("TROVALEN_MOUNT", MountDir.c_str(), 1);
    setenv("XDG_RUNTIME_DIR", (Dir + "/run").c_str(), 1);
    unsetenv("TROVALEN_TREE");
    U_SetProgramFile(Dir + "/bin/trovalen");
    U_SetCommandLine({});

    U_InstallQtHooks();
    TUiHooks hooks = U_QtUiHooks();
    hooks.MessageBox = [this](TMsgKind, const std::string&, const std::string& text) {
        Messages.push_back(text);
    };
    U_SetUiHooks(hooks);
    U_SetShellLauncher([this](const TShellCommand& command) {
        Launched.push_back(command);
        return TShellResult{ShellOk, {}};
    });
}

void TUiFixture::TearDown() {
    U_SetShellLauncher(nullptr);
    Client.reset();
    while (QApplication::overrideCursor() != nullptr)
        QApplication::restoreOverrideCursor();
    std::error_code ec;
    fs::remove_all(Dir, ec);
}

void TUiFixture::UseTree(const std::string& json) {
    std::string file;
    if (!json.empty()) {
        file = Dir + "/tree.json";
        std::ofstream(file) << json;
    }
    std::string error;
    Client = MakeSimClient(file, error);
    ASSERT_TRUE(Client) << error;
}

std::unique_ptr<TMainForm> TUiFixture::Start(const TStartConfig& config,
                                             const std::vector<std::string>& parameters) {
    U_SetCommandLine(parameters);
    auto form = std::make_unique<TMainForm>(config, Client.get());
    form->Save().SaveFileDialog = [](const std::string&) { return std::optional<std::string>(); };
    return form;
}

void TUiFixture::Close(std::unique_ptr<TMainForm>& form) {
    form->close();
    form.reset();
}

std::string TUiFixture::SettingsFileName() const {
    return U_IniFileName("ini", true);
}

std::unique_ptr<TIniFile> TUiFixture::Settings() const {
    return std::make_unique<TIniFile>(SettingsFileName());
}

std::string TUiFixture::SettingsText() const {
    std::ifstream in(SettingsFileName(), std::ios::binary);
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

void TUiFixture::WriteSettings(const std::string& text) const {
    fs::create_directories(fs::path(SettingsFileName()).parent_path());
    std::ofstream(SettingsFileName(), std::ios::binary) << text;
}

} // namespace trovalen::test
