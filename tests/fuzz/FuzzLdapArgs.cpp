// The LDAP options of a command line, one argument a line: taking them never runs past the
// arguments, every refusal has one message on one line, what is taken holds checked values, and
// no message shows the password.
#include <cstdint>
#include <string>
#include <vector>

#include "FuzzCheck.h"

#include "backend/ldap/LdapArgs.h"
#include "util/Util.h"

using namespace trovalen;
using namespace trovalen::ldap;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string whole(reinterpret_cast<const char*>(data), size);
    std::vector<std::string> args;
    size_t start = 0;
    for (size_t nl; (nl = whole.find('\n', start)) != std::string::npos; start = nl + 1)
        args.push_back(whole.substr(start, nl - start));
    args.push_back(whole.substr(start));

    TLdapArgs out;
    std::string error;
    bool refused = false;
    for (size_t i = 0; i < args.size() && !refused; ++i) {
        size_t before = i;
        TArgTake take = TakeArg(args, i, out, error);
        FUZZ_CHECK(i >= before && i < args.size());
        FUZZ_CHECK(take != TArgTake::NotMine || i == before);
        if (take == TArgTake::Error) {
            FUZZ_CHECK(!error.empty() && error.find('\n') == std::string::npos);
            refused = true;
        }
    }
    if (refused || !CheckArgs(out, error)) {
        FUZZ_CHECK(!error.empty() && error.find('\n') == std::string::npos);
        return 0;
    }
    FUZZ_CHECK(out.TimeoutSeconds >= 1 && out.TimeoutSeconds <= kLdapMaxTimeout);
    if (out.Ldap()) {
        const std::string scheme = U_LowerCase(out.Uri.substr(0, out.Uri.find("://")));
        FUZZ_CHECK(scheme == "ldap" || scheme == "ldaps" || scheme == "ldapi");
        FUZZ_CHECK(out.Uri.size() <= kMaxUriBytes);
    }
    // The password from the environment never shows in a message. A password file is left
    // alone: the input could name a terminal or a pipe that never ends.
    if (out.PasswordFile.empty()) {
        const std::string secret = "fuzz-secret-password";
        TPasswordSource source;
        source.Env = [&](const char*) { return secret; };
        source.Terminal = [] { return false; };
        std::string password;
        error.clear();
        if (ResolvePassword(out, source, password, error))
            FUZZ_CHECK(password == (out.BindDn.empty() ? std::string() : secret));
        FUZZ_CHECK(error.find(secret) == std::string::npos);
    }
    return 0;
}
