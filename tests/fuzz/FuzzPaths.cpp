// Path conversions and the split of a start path for the client, over the simulated client with
// the bundled sample tree and a small mount root: any text either resolves or is refused, and a
// UNC path never leads outside the mount root.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <unistd.h>

#include <fuzzer/FuzzedDataProvider.h>

#include "FuzzCheck.h"

#include "backend/sim/SimClient.h"
#include "directory/DSContext.h"
#include "directory/DSNames.h"
#include "util/Platform.h"
#include "util/Util.h"

using namespace trovalen;
namespace fs = std::filesystem;

namespace {

TNWClient*& Client() {
    static TNWClient* client = nullptr;
    return client;
}

const std::string& MountRoot() {
    static const std::string root = [] {
        fs::path mount =
            fs::temp_directory_path() / ("trovalen-fuzz-paths-" + std::to_string(getpid()));
        for (const char* dir : {"CV-FS1/DATA/FINANCE/REPORTS", "CV-FS1/SYS/PUBLIC", "HB-FS1/VOL1"})
            fs::create_directories(mount / dir);
        setenv("TROVALEN_MOUNT", mount.c_str(), 1);
        std::string error;
        auto sim =
            MakeSimClient(std::string(TROVALEN_SOURCE_DIR) + "/data/sample-tree.json", error);
        if (!sim)
            abort();
        // The client lives as long as the process.
        static std::shared_ptr<TSimClient> held = sim;
        Client() = held.get();
        NWHandle primary = NO_PRIMARY_CONN;
        if (InitNetWare(Client(), primary) != 0)
            abort();
        TUiHooks hooks;
        hooks.MessageBox = [](TMsgKind, const std::string&, const std::string&) {};
        U_SetUiHooks(hooks);
        atexit([] {
            std::error_code ec;
            fs::remove_all(U_MountRoot(), ec);
        });
        return mount.string();
    }();
    return root;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string& root = MountRoot();
    FuzzedDataProvider in(data, size);
    int mode = in.ConsumeIntegralInRange(0, 5);
    std::string path = in.ConsumeRemainingBytesAsString();

    FUZZ_CHECK(U_ConvertPath(path, PATH_SHORT_FORM) == path);
    (void)U_ConvertPath(path, mode);
    (void)U_IsUncPath(path);
    (void)U_DisplayName(path);
    (void)U_DirExists(path);

    std::string local = U_UncToLocal(path);
    if (!local.empty()) {
        FUZZ_CHECK(local.compare(0, root.size(), root) == 0);
        FUZZ_CHECK(local.find("/../") == std::string::npos && !U_EndsWith(local, "/.."));
    }

    TNWPath nw;
    TNWPath untouched;
    NWCCODE code = U_PathToNWPath(Client(), path, nw);
    if (code != NW_OK) {
        FUZZ_CHECK(nw.ConnHandle == untouched.ConnHandle && nw.Server.empty() &&
                   nw.Volume.empty() && nw.DirPath.empty());
        FUZZ_CHECK(U_PathToUNC(Client(), path) == path);
    } else {
        std::string unc = U_PathToUNC(Client(), path);
        FUZZ_CHECK(U_StartsWith(unc, "\\\\"));
        // The UNC form names the same place.
        TNWPath again;
        NWCCODE back = U_PathToNWPath(Client(), unc, again);
        if (back != NW_OK)
            std::fprintf(stderr, "server [%s] volume [%s] dir [%s] unc [%s] code %d\n",
                         nw.Server.c_str(), nw.Volume.c_str(), nw.DirPath.c_str(), unc.c_str(),
                         back);
        FUZZ_CHECK(back == NW_OK);
        FUZZ_CHECK(U_SameText(again.Server, nw.Server) && U_SameText(again.Volume, nw.Volume));
    }

    (void)U_DSDotName(path);
    (void)U_DSUndotName(path);
    (void)U_DSTypelessName(path);
    (void)U_DSCombineName(path, path);
    (void)U_IsSpecialName(path);
    return 0;
}
