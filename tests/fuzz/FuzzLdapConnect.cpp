// The directory connection's fields read from a settings file as anyone may have written it:
// loading and checking never fail, the password never comes from the file, fields that the
// checks accept give usable options, and saving them reads back the same.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <unistd.h>

#include "FuzzCheck.h"

#include "backend/ldap/LdapConnectSettings.h"
#include "settings/IniFile.h"
#include "util/Util.h"

using namespace trovalen;

namespace {

std::string ScratchFile(const char* which) {
    const char* dir = access("/dev/shm", W_OK) == 0 ? "/dev/shm" : "/tmp";
    return std::string(dir) + "/trovalen-fuzz-ldapconnect-" + which + "-" +
           std::to_string(getpid()) + ".ini";
}

void WriteRaw(const std::string& name, const uint8_t* data, size_t size) {
    FILE* f = fopen(name.c_str(), "wb");
    if (f == nullptr)
        abort();
    fwrite(data, 1, size, f);
    fclose(f);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const std::string input = ScratchFile("in");
    static const std::string output = ScratchFile("out");
    WriteRaw(input, data, size);

    TLdapConnectSettings fields;
    fields.Password = "typed";
    {
        TIniFile ini(input);
        fields.Load(ini);
    }
    FUZZ_CHECK(fields.Password.empty());
    std::vector<TLdapFieldError> errors = fields.Validate();
    for (const TLdapFieldError& e : errors)
        FUZZ_CHECK(!e.Message.empty());
    if (errors.empty()) {
        TLdapClientOptions options = fields.Options();
        FUZZ_CHECK(!options.Connection.Uri.empty());
        FUZZ_CHECK(options.Connection.TimeoutSeconds >= 1 &&
                   options.Connection.TimeoutSeconds <= kLdapMaxTimeout);
        FUZZ_CHECK(options.TreeName.size() <= kLdapTreeNameMax);

        unlink(output.c_str());
        TIniFile out(output);
        out.SetDurable(false);
        fields.Save(out);
        TLdapConnectSettings back;
        back.Load(out);
        FUZZ_CHECK(back.Uri == U_TrimBlank(fields.Uri));
        FUZZ_CHECK(back.BindDn == U_TrimBlank(fields.BindDn));
        FUZZ_CHECK(back.StartTls == fields.StartTls);
        FUZZ_CHECK(back.CaFile == U_TrimBlank(fields.CaFile));
        FUZZ_CHECK(back.Base == U_TrimBlank(fields.Base));
        FUZZ_CHECK(back.TreeName == U_TrimBlank(fields.TreeName));
        FUZZ_CHECK(back.Timeout == U_TrimBlank(fields.Timeout));
        FUZZ_CHECK(back.Validate().empty());
        unlink(output.c_str());
    }
    unlink(input.c_str());
    return 0;
}
