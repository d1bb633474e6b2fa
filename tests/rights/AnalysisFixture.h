// A simulated client loaded from a test tree, with contexts set up as the front ends do.
#pragma once

#include <algorithm>
#include <filesystem>
#include <gtest/gtest.h>
#include <string>
#include <unistd.h>
#include <vector>

#include "backend/sim/SimClient.h"
#include "backend/sim/SimLoader.h"
#include "common/SimFixture.h"
#include "directory/DSContext.h"
#include "directory/DSNames.h"
#include "directory/DSRead.h"
#include "rights/EffectiveTrustees.h"
#include "rights/ScanRun.h"
#include "util/Platform.h"
#include "util/StringList.h"
#include "util/Util.h"

namespace trovalen::testing {

class AnalysisTest : public SimTest {
protected:
    void Load(const std::string& treeFile) {
        ASSERT_NO_FATAL_FAILURE(Serve(std::string(TROVALEN_TEST_DATA) + "/" + treeFile));
        scratchFolder = mount.string() + "-scratch";
        std::filesystem::create_directories(scratchFolder);
        OpenContext();
    }

    // A context at [Root] of the client's primary tree, with typeless names, as the scans use.
    void OpenContext() {
        EXPECT_EQ(client->NewContext(ctx), 0);
        EXPECT_EQ(U_DSChangeCurrentTreeAndContext(client.get(), ctx, U_GetPrimaryTree(client.get()),
                                                  "[Root]"),
                  0);
        U_DSSetContextFlags(client.get(), ctx, '+', DCV_TYPELESS_NAMES);
    }

    // A scan request over the test's client, connection and context.
    TScanRequest ScanRequest(bool edir, std::initializer_list<std::string> entries = {}) {
        TScanRequest r;
        r.VariantName = "Trovalen";
        r.Client = client.get();
        r.Edir = edir;
        r.ConnHandle = primary;
        r.ScanContext = ctx;
        r.UserContext = ctx;
        r.BrowseContext = ctx;
        r.CurrentTree = U_GetPrimaryTree(client.get());
        for (const auto& e : entries)
            r.Entries.Add(e);
        return r;
    }

    // Serves the same tree through a client class of the test's own (which counts or breaks
    // calls), with a context set up again over it.
    template <class TClient> std::shared_ptr<TClient> ServeWith(const std::string& treeFile) {
        std::string error;
        auto world = sim::LoadTreeFile(std::string(TROVALEN_TEST_DATA) + "/" + treeFile, error);
        EXPECT_TRUE(world) << error;
        if (!world)
            return nullptr;
        auto served = std::make_shared<TClient>(world);
        client = served;
        primary = NO_PRIMARY_CONN;
        EXPECT_EQ(InitNetWare(client.get(), primary), 0);
        OpenContext();
        return served;
    }

    void TearDown() override {
        std::error_code ec;
        std::filesystem::remove_all(scratchFolder, ec);
        SimTest::TearDown();
    }

    // Every object of the primary tree, in the order the directory lists them.
    std::vector<std::string> Objects() {
        TStringList list;
        U_DSListTree(client.get(), ctx, "[Root]", list, true, false, "", 0);
        std::vector<std::string> out;
        for (const auto& item : list)
            if (!item.Text.empty())
                out.push_back(U_DSDotName(item.Text));
        return out;
    }

    // Every directory of every mounted volume, as UNC paths, sorted.
    std::vector<std::string> Directories() {
        std::vector<std::string> out;
        std::string root = mount.string();
        for (const auto& e : std::filesystem::recursive_directory_iterator(root)) {
            if (!e.is_directory())
                continue;
            std::string rel = e.path().string().substr(root.size());
            if (std::count(rel.begin(), rel.end(), '/') < 2)
                continue; // the server folders themselves
            out.push_back("\\" + U_ReplaceStr(rel, "/", "\\", true, true));
        }
        std::sort(out.begin(), out.end());
        return out;
    }

    // Runs the analysis; log lines of every level.
    void Analyse(const std::string& target, uint32_t flags, int threshold = 31) {
        trustees.Clear();
        log.Clear();
        U_EffectiveTrustees(client.get(), ctx, target, threshold, nullptr, trustees, &log, flags);
    }

    bool HasLine(const std::string& line) const { return log.IndexOfExact(line) >= 0; }
    int CountPrefix(const std::string& prefix) const {
        int n = 0;
        for (const auto& l : log)
            n += l.Text.rfind(prefix, 0) == 0 ? 1 : 0;
        return n;
    }
    // The reason lines written right after the given "  Effective:" line.
    std::vector<std::string> ReasonsOf(const std::string& effective) const {
        std::vector<std::string> out;
        int i = log.IndexOfExact(effective);
        if (i < 0)
            return out;
        for (++i; i < log.Count() && log[i].rfind("  ", 0) == 0; ++i) {
            if (log[i].rfind("  Effective: ", 0) == 0)
                break;
            if (log[i].rfind("     * ", 0) == 0)
                out.push_back(log[i].substr(7));
        }
        return out;
    }
    std::string Dump() const { return log.Text("\n"); }

    std::string scratchFolder; // files a test writes for itself
    NWHandle ctx = 0;
    TStringList trustees;
    TStringList log;
};

} // namespace trovalen::testing
