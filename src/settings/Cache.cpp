#include "settings/Cache.h"

#include "settings/Ini.h"
#include "util/FileIO.h"
#include "util/Platform.h"
#include "util/SignalCleanup.h"

#include <unistd.h>

namespace trovalen {

TCache::TCache() {
    std::string error;
    FFileName = U_CreatePrivateTempFile("~", ".ini", error);
    if (FFileName.empty()) {
        U_MessageBox(TMsgKind::Warning, "Unable to create the object cache: " + error);
        return;
    }
    // Nobody else needs the file: a window ended by a signal removes it too.
    U_RemoveOnSignal(FFileName);
    FIni = std::make_unique<TIniFile>(FFileName);
    // The cache is thrown away at the end of the run: no need to force it to the disk.
    FIni->SetDurable(false);
    FIni->SetShared(false);
}

TCache::~TCache() {
    FIni.reset();
    if (!FFileName.empty()) {
        unlink(FFileName.c_str());
        U_ForgetOnSignal(FFileName);
    }
}

void TCache::WriteValue(const std::string& section, const std::string& key,
                        const std::string& value) {
    if (FIni)
        U_IniWriteStr(*FIni, section, key, value);
}

std::string TCache::ReadValue(const std::string& section, const std::string& key) const {
    return FIni ? U_IniReadStrCached(*FIni, section, key, std::string()) : std::string();
}

} // namespace trovalen
