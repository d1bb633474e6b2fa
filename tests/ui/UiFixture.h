// A private world for each window test: its own configuration, home and mount folders, its own
// program file name, captured message boxes and shell launches, and a simulated client.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "backend/sim/SimClient.h"
#include "settings/IniFile.h"
#include "ui/MainForm.h"
#include "util/Shell.h"

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

// A tree with two trees, two servers and a few folders.
extern const char kSmallTree[];

} // namespace trovalen::test
