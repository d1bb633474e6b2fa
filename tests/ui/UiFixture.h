// A private world for each window test: its own configuration, home and mount folders, its own
// program file name, captured message boxes and shell launches, and a simulated client.
#pragma once

#include <gtest/gtest.h>

#include <QListWidget>

#include <memory>
#include <string>
#include <vector>

#include "backend/sim/SimClient.h"
#include "settings/IniFile.h"
#include "ui/CompareCommand.h"
#include "ui/MainForm.h"
#include "ui/SaveCommands.h"
#include "ui/Widgets.h"
#include "util/Shell.h"
#include "util/StringList.h"

namespace trovalen::test {

class TUiFixture : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    // A client over the tree file text (empty: the bundled sample tree), started afresh.
    void UseTree(const std::string& json);
    // Creates the window (as the program's start does) with these command-line parameters.
    std::unique_ptr<TMainForm> Start(const TStartConfig& config,
                                     const std::vector<std::string>& parameters = {});
    // Closes the window as the user does and destroys it.
    static void Close(std::unique_ptr<TMainForm>& form);

    std::string SettingsFileName() const;
    // A fresh reader of the per-user settings file.
    std::unique_ptr<TIniFile> Settings() const;
    std::string SettingsText() const;
    void WriteSettings(const std::string& text) const;

    static TStartConfig FileConfig() { return TStartConfig{4, true, false}; }
    static TStartConfig EdirConfig() { return TStartConfig{1, false, true}; }

    std::string Dir;
    std::string MountDir;
    std::vector<std::string> Messages;
    std::vector<TShellCommand> Launched;
    std::shared_ptr<TSimClient> Client;
};

// A control of the window (or a dialog) by its object name; a test failure when there is none.
template <typename T> T* Child(QObject& parent, const char* name) {
    T* w = parent.findChild<T*>(name);
    EXPECT_NE(w, nullptr) << name;
    return w;
}

// Whether a line of the pane holds text.
inline bool Contains(const TStringList& lines, const std::string& text) {
    for (const auto& line : lines)
        if (line.Text.find(text) != std::string::npos)
            return true;
    return false;
}

inline std::vector<std::string> Texts(QListWidget* list) {
    std::vector<std::string> out;
    for (int i = 0; i < list->count(); ++i)
        out.push_back(S(list->item(i)->text()));
    return out;
}

// A tree with two trees, two servers and a few folders.
extern const char kSmallTree[];

} // namespace trovalen::test
