// Settings files as anyone may have written them: every read comes back, and a write keeps every
// value of the other sections readable as it was.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <string>
#include <unistd.h>

#include <fuzzer/FuzzedDataProvider.h>

#include "FuzzCheck.h"

#include "settings/IniFile.h"
#include "util/StringList.h"
#include "util/Util.h"

using namespace trovalen;

namespace {

const std::string& ScratchFile() {
    static const std::string name = [] {
        const char* dir = access("/dev/shm", W_OK) == 0 ? "/dev/shm" : "/tmp";
        return std::string(dir) + "/trovalen-fuzz-ini-" + std::to_string(getpid()) + ".ini";
    }();
    return name;
}

void WriteRaw(const std::string& content) {
    FILE* f = fopen(ScratchFile().c_str(), "wb");
    if (f == nullptr)
        abort();
    fwrite(content.data(), 1, content.size(), f);
    fclose(f);
}

// Every section's "key=value" lines as the reader sees them.
std::map<std::string, std::vector<std::string>> Snapshot(const TIniFile& ini) {
    std::map<std::string, std::vector<std::string>> out;
    TStringList sections;
    ini.ReadSections(sections);
    for (const TStringItem& section : sections) {
        TStringList lines;
        ini.ReadSectionValues(section.Text, lines);
        out[section.Text] = lines.Strings();
    }
    return out;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzedDataProvider in(data, size);
    std::string section = in.ConsumeRandomLengthString(40);
    std::string key = in.ConsumeRandomLengthString(40);
    std::string value = in.ConsumeRandomLengthString(3000);
    std::string content = in.ConsumeRemainingBytesAsString();
    WriteRaw(content);

    TIniFile ini(ScratchFile());
    ini.SetDurable(false);
    auto before = Snapshot(ini);
    for (const auto& [name, lines] : before) {
        FUZZ_CHECK(ini.SectionExists(name));
        TStringList keys;
        ini.ReadSection(name, keys);
        FUZZ_CHECK(static_cast<size_t>(keys.Count()) == lines.size());
        for (const TStringItem& k : keys) {
            FUZZ_CHECK(ini.ValueExists(name, k.Text));
            FUZZ_CHECK(ini.ReadString(name, k.Text, "").size() <= IniMaxValueLength * 4);
            (void)ini.ReadInteger(name, k.Text, 7);
        }
    }

    // A value stored in its quoted form reads back exactly (within the length a read gives).
    bool fits = value.find_first_of("\r\n") == std::string::npos &&
                U_IniValueFromStored(U_Quoted(value)) == value;
    try {
        ini.WriteString(section, key, fits ? U_Quoted(value) : value);
    } catch (const EIniError&) {
        FUZZ_CHECK(!TIniFile::IsValidKey(key) ||
                   section.find_first_of("]\r\n") != std::string::npos);
        unlink(ScratchFile().c_str());
        return 0;
    }
    FUZZ_CHECK(TIniFile::IsValidKey(key));
    if (fits)
        FUZZ_CHECK(ini.ReadString(section, key, "\x01") == value);
    else
        FUZZ_CHECK(ini.ReadString(section, key, "\x01") != "\x01");

    // Every other section reads as before.
    TIniFile again(ScratchFile());
    auto after = Snapshot(again);
    std::string written = U_TrimRightChars(U_TrimLeftChars(section, " \t"), " \t");
    for (const auto& [name, lines] : before) {
        if (U_SameText(name, written))
            continue;
        auto it = after.find(name);
        FUZZ_CHECK(it != after.end() && it->second == lines);
    }
    unlink(ScratchFile().c_str());
    return 0;
}
