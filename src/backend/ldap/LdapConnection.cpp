#include "backend/ldap/LdapConnection.h"

#include <algorithm>
#include <iterator>
#include <ldap.h>
#include <memory>
#include <string_view>

#include "util/Util.h"

namespace trovalen::ldap {

namespace {

LDAP* Ld(void* p) {
    return static_cast<LDAP*>(p);
}

// Scoped holders of what libldap hands out.
struct TMsgFree {
    void operator()(LDAPMessage* m) const { ldap_msgfree(m); }
};
using TMsgHolder = std::unique_ptr<LDAPMessage, TMsgFree>;
struct TControlsFree {
    void operator()(LDAPControl** c) const { ldap_controls_free(c); }
};
using TControlsHolder = std::unique_ptr<LDAPControl*, TControlsFree>;
struct TControlFree {
    void operator()(LDAPControl* c) const { ldap_control_free(c); }
};
using TControlHolder = std::unique_ptr<LDAPControl, TControlFree>;

std::string Diagnostic(LDAP* ld, int code) {
    std::string text = ldap_err2string(code);
    char* msg = nullptr;
    if (ldap_get_option(ld, LDAP_OPT_DIAGNOSTIC_MESSAGE, &msg) == LDAP_OPT_SUCCESS && msg) {
        if (*msg != '\0')
            text += " (" + std::string(msg) + ")";
        ldap_memfree(msg);
    }
    return text;
}

// Why a search below base failed.
std::string SearchFailure(LDAP* ld, int code, const std::string& base) {
    return code == LDAP_NO_SUCH_OBJECT
               ? "\"" + base + "\" does not exist on the LDAP server"
               : "search below \"" + base + "\" failed: " + Diagnostic(ld, code);
}

// Codes after which the connection cannot be trusted to answer again: the server went away, or
// did not answer within the time limit (the answer may still come, out of step).
bool IsLost(int code) {
    return code == LDAP_SERVER_DOWN || code == LDAP_TIMEOUT || code == LDAP_CONNECT_ERROR;
}

// Codes by which a server says it stopped a search at one of its limits.
bool IsLimit(int code) {
    return code == LDAP_SIZELIMIT_EXCEEDED || code == LDAP_TIMELIMIT_EXCEEDED ||
           code == LDAP_ADMINLIMIT_EXCEEDED;
}

// The addresses that search references in an answer point to, joined for a message.
std::string ReferenceUrls(LDAP* ld, LDAPMessage* res) {
    std::string urls;
    for (LDAPMessage* r = ldap_first_reference(ld, res); r != nullptr;
         r = ldap_next_reference(ld, r)) {
        char** refs = nullptr;
        if (ldap_parse_reference(ld, r, &refs, nullptr, 0) != LDAP_SUCCESS)
            continue;
        for (char** u = refs; u != nullptr && *u != nullptr; ++u)
            urls += (urls.empty() ? "" : ", ") + std::string(*u);
        ber_memvfree(reinterpret_cast<void**>(refs));
    }
    return urls;
}

bool IsLdaps(const std::string& uri) {
    constexpr std::string_view kScheme = "ldaps://";
    return U_SameText(std::string_view(uri).substr(0, kScheme.size()), kScheme);
}

} // namespace

const std::vector<std::string>* TLdapEntry::Find(std::string_view attr) const {
    for (const auto& [name, values] : Attrs)
        if (U_SameText(name, attr))
            return &values;
    return nullptr;
}

TLdapConnection::~TLdapConnection() {
    Close();
}

void TLdapConnection::Close() {
    if (FLd != nullptr)
        ldap_unbind_ext_s(Ld(FLd), nullptr, nullptr);
    FLd = nullptr;
}

std::vector<std::string> LdapAddresses(std::string_view field) {
    std::vector<std::string> out;
    for (size_t at = 0; at < field.size();) {
        size_t end = std::min(field.find_first_of(" \t", at), field.size());
        if (end > at)
            out.emplace_back(field.substr(at, end - at));
        at = end + 1;
    }
    return out;
}

bool TLdapConnection::Usable(std::string& error) {
    if (FLd != nullptr && FBroken.empty())
        return true;
    error = FBroken.empty() ? "not connected to an LDAP server" : FBroken;
    FLastCode = LDAP_SERVER_DOWN;
    return false;
}

void TLdapConnection::NoteFailure(int code, const std::string& base) {
    if (!FBroken.empty())
        return;
    if (IsLost(code))
        FBroken = "the connection to " + FUri + " was lost (" + ldap_err2string(code) + ")";
    else if (IsLimit(code))
        FBroken = "the LDAP server " + FUri + " stopped a search below \"" + base +
                  "\" at one of its limits: " + Diagnostic(Ld(FLd), code);
}

bool TLdapConnection::Open(const TLdapOptions& options, std::string& error) {
    Close();
    FBroken.clear();
    FTimeout = options.TimeoutSeconds > 0 ? options.TimeoutSeconds : 10;
    FRequestTimeout = options.RequestTimeoutSeconds > 0 ? options.RequestTimeoutSeconds : FTimeout;
    FRequests = 0;
    const std::vector<std::string> uris = LdapAddresses(options.Uri);
    if (uris.empty()) {
        error = "no LDAP address given";
        return false;
    }
    std::string failures;
    for (const std::string& uri : uris) {
        bool retry = false;
        std::string one;
        if (OpenOne(options, uri, one, retry)) {
            FUri = uri;
            return true;
        }
        if (!retry || uris.size() == 1) {
            error = one;
            return false;
        }
        failures += (failures.empty() ? "" : "; ") + one;
    }
    error = "no LDAP server answered: " + failures;
    return false;
}

bool TLdapConnection::OpenOne(const TLdapOptions& options, const std::string& uri,
                              std::string& error, bool& retry) {
    Close();
    retry = false;
    LDAP* ld = nullptr;
    int rc = ldap_initialize(&ld, uri.c_str());
    if (rc != LDAP_SUCCESS || ld == nullptr) {
        error = "\"" + uri + "\" is no LDAP address (ldap://, ldaps:// or ldapi://)";
        return false;
    }
    FLd = ld;
    int version = LDAP_VERSION3;
    ldap_set_option(ld, LDAP_OPT_PROTOCOL_VERSION, &version);
    ldap_set_option(ld, LDAP_OPT_REFERRALS, LDAP_OPT_OFF);
    timeval tv{FTimeout, 0};
    ldap_set_option(ld, LDAP_OPT_NETWORK_TIMEOUT, &tv);
    ldap_set_option(ld, LDAP_OPT_TIMEOUT, &tv);
    if (!options.CaFile.empty()) {
        ldap_set_option(ld, LDAP_OPT_X_TLS_CACERTFILE, options.CaFile.c_str());
        int isNew = 0;
        if (ldap_set_option(ld, LDAP_OPT_X_TLS_NEWCTX, &isNew) != LDAP_OPT_SUCCESS) {
            error = "TLS with " + uri + " cannot be set up with the CA file " + options.CaFile;
            Close();
            return false;
        }
    }
    if (options.StartTls) {
        ++FRequests;
        rc = ldap_start_tls_s(ld, nullptr, nullptr);
        if (rc != LDAP_SUCCESS) {
            error = "TLS with " + uri + " failed: " + Diagnostic(ld, rc);
            FLastCode = rc;
            retry = IsLost(rc);
            Close();
            return false;
        }
    }
    berval cred{};
    cred.bv_val = const_cast<char*>(options.Password.data());
    cred.bv_len = options.Password.size();
    ++FRequests;
    rc = ldap_sasl_bind_s(ld, options.BindDn.empty() ? nullptr : options.BindDn.c_str(),
                          LDAP_SASL_SIMPLE, &cred, nullptr, nullptr, nullptr);
    FLastCode = rc;
    if (rc == LDAP_SUCCESS) {
        // Once connected, a request may take as long as the request limit allows.
        timeval requests{FRequestTimeout, 0};
        ldap_set_option(ld, LDAP_OPT_TIMEOUT, &requests);
        return true;
    }
    std::string why = Diagnostic(ld, rc);
    // A server reached over ldaps:// that breaks off the handshake leaves the TLS library's
    // reason as the diagnostic; one that cannot be reached leaves none.
    if (rc == LDAP_SERVER_DOWN && IsLdaps(uri) && why != ldap_err2string(rc)) {
        error = "TLS with " + uri + " failed: " + why;
    } else if (IsLost(rc)) {
        error = "cannot reach the LDAP server " + uri + ": " + why;
        retry = true;
    } else if (rc == LDAP_CONFIDENTIALITY_REQUIRED) {
        error = "the LDAP server " + uri +
                " takes this bind only over a protected connection: use ldaps:// or --starttls";
    } else if (rc == LDAP_INVALID_CREDENTIALS) {
        error = "the LDAP server " + uri + " refused the credentials of " +
                (options.BindDn.empty() ? std::string("an anonymous bind") : options.BindDn);
    } else {
        error = "cannot bind to " + uri + ": " + why;
    }
    Close();
    return false;
}

bool TLdapConnection::ExtendedOperation(const std::string& oid, const std::string& request,
                                        int& code, std::string& response, std::string& error) {
    response.clear();
    code = LDAP_OTHER;
    if (!Usable(error))
        return false;
    LDAP* ld = Ld(FLd);
    berval data{};
    data.bv_val = const_cast<char*>(request.data());
    data.bv_len = request.size();
    char* returnedOid = nullptr;
    berval* returned = nullptr;
    ++FRequests;
    int rc = ldap_extended_operation_s(ld, oid.c_str(), &data, nullptr, nullptr, &returnedOid,
                                       &returned);
    if (returnedOid != nullptr)
        ldap_memfree(returnedOid);
    if (returned != nullptr) {
        response.assign(returned->bv_val, returned->bv_len);
        ber_bvfree(returned);
    }
    FLastCode = rc;
    if (IsLost(rc)) {
        NoteFailure(rc, "");
        error = FBroken;
        return false;
    }
    code = rc;
    if (rc != LDAP_SUCCESS)
        error = Diagnostic(ld, rc);
    return true;
}

bool TLdapConnection::AnyEntry(const std::string& base, const std::string& filter, bool& found,
                               std::string& error) {
    found = false;
    if (!Usable(error))
        return false;
    LDAP* ld = Ld(FLd);
    char noAttrs[] = "1.1";
    char* attrs[] = {noAttrs, nullptr};
    timeval tv{FRequestTimeout, 0};
    LDAPMessage* raw = nullptr;
    ++FRequests;
    int rc = ldap_search_ext_s(ld, base.c_str(), LDAP_SCOPE_SUBTREE, filter.c_str(), attrs, 0,
                               nullptr, nullptr, &tv, 1, &raw);
    TMsgHolder res(raw);
    // More than one match answers "size limit exceeded" together with the first.
    if (rc == LDAP_SIZELIMIT_EXCEEDED)
        rc = LDAP_SUCCESS;
    FLastCode = rc;
    if (rc != LDAP_SUCCESS) {
        if (IsLost(rc))
            NoteFailure(rc, base);
        error = FBroken.empty() ? SearchFailure(ld, rc, base) : FBroken;
        return false;
    }
    found = res && ldap_count_entries(ld, res.get()) > 0;
    return true;
}

bool TLdapConnection::Search(const std::string& base, TLdapScope scope, const std::string& filter,
                             const std::vector<std::string>& attrs, std::vector<TLdapEntry>& out,
                             std::string& error) {
    auto keep = [&out](std::vector<TLdapEntry>& page) {
        if (out.empty())
            out = std::move(page);
        else
            out.insert(out.end(), std::make_move_iterator(page.begin()),
                       std::make_move_iterator(page.end()));
    };
    return Pages(base, scope, filter, attrs, keep, false, error);
}

bool TLdapConnection::SearchAhead(const std::string& base, TLdapScope scope,
                                  const std::string& filter, const std::vector<std::string>& attrs,
                                  const TPageSink& sink, std::string& error) {
    return Pages(base, scope, filter, attrs, sink, true, error);
}

bool TLdapConnection::Pages(const std::string& base, TLdapScope scope, const std::string& filter,
                            const std::vector<std::string>& attrs, const TPageSink& sink,
                            bool ahead, std::string& error) {
    if (!Usable(error))
        return false;
    LDAP* ld = Ld(FLd);
    std::vector<char*> attrList;
    for (const std::string& a : attrs)
        attrList.push_back(const_cast<char*>(a.c_str()));
    attrList.push_back(nullptr);
    int ldapScope = scope == TLdapScope::Base       ? LDAP_SCOPE_BASE
                    : scope == TLdapScope::OneLevel ? LDAP_SCOPE_ONELEVEL
                                                    : LDAP_SCOPE_SUBTREE;
    berval cookie{};
    std::string cookieBytes;
    bool paged = scope != TLdapScope::Base;
    while (true) {
        LDAPControl* pageControl = nullptr;
        if (paged) {
            cookie.bv_val = cookieBytes.empty() ? nullptr : cookieBytes.data();
            cookie.bv_len = cookieBytes.size();
            int rc = ldap_create_page_control(ld, FPageSize, &cookie, 0, &pageControl);
            if (rc != LDAP_SUCCESS) {
                error = "cannot page a search: " + Diagnostic(ld, rc);
                return false;
            }
        }
        TControlHolder pageHolder(pageControl);
        LDAPControl* serverControls[] = {pageControl, nullptr};
        timeval tv{FRequestTimeout, 0};
        LDAPMessage* raw = nullptr;
        ++FRequests;
        int rc = ldap_search_ext_s(
            ld, base.c_str(), ldapScope, filter.c_str(), attrs.empty() ? nullptr : attrList.data(),
            0, paged ? serverControls : nullptr, nullptr, &tv, LDAP_NO_LIMIT, &raw);
        TMsgHolder res(raw);
        FLastCode = rc;
        // A server that allows smaller pages than asked for refuses the first one; it is asked
        // again with pages half as large, and the size it took is kept for later searches.
        if (paged && rc == LDAP_ADMINLIMIT_EXCEEDED && cookieBytes.empty() && FPageSize > 1) {
            FPageSize /= 2;
            continue;
        }
        // Part of the tree on another server: what it holds is not read here, and nothing may
        // look complete without it.
        std::string elsewhere = res ? ReferenceUrls(ld, res.get()) : std::string();
        if (rc == LDAP_REFERRAL && elsewhere.empty()) {
            char** refs = nullptr;
            if (res && ldap_parse_result(ld, res.get(), nullptr, nullptr, nullptr, &refs, nullptr,
                                         0) == LDAP_SUCCESS)
                for (char** u = refs; u != nullptr && *u != nullptr; ++u)
                    elsewhere += (elsewhere.empty() ? "" : ", ") + std::string(*u);
            ber_memvfree(reinterpret_cast<void**>(refs));
            if (elsewhere.empty())
                elsewhere = "another server";
        }
        if (!elsewhere.empty()) {
            FLastCode = LDAP_REFERRAL;
            if (ahead) {
                error = "part of the tree below \"" + base + "\" is held by " + elsewhere;
                return false;
            }
            if (FBroken.empty())
                FBroken = "part of the tree below \"" + base + "\" is held by " + elsewhere +
                          "; it was not read";
            error = FBroken;
            return false;
        }
        if (rc != LDAP_SUCCESS) {
            if (!ahead || IsLost(rc))
                NoteFailure(rc, base);
            error = FBroken.empty() ? SearchFailure(ld, rc, base) : FBroken;
            return false;
        }
        std::vector<TLdapEntry> page;
        for (LDAPMessage* e = ldap_first_entry(ld, res.get()); e != nullptr;
             e = ldap_next_entry(ld, e)) {
            TLdapEntry entry;
            // Each attribute list of the entry is read where it stands in the answer, so that
            // an attribute the server lists twice keeps the values of both lists (a look-up by
            // name would find the first list twice).
            BerElement* ber = nullptr;
            berval dn{};
            if (ldap_get_dn_ber(ld, e, &ber, &dn) == LDAP_SUCCESS && dn.bv_val != nullptr)
                entry.Dn.assign(dn.bv_val, dn.bv_len);
            berval attr{};
            BerVarray vals = nullptr;
            while (ber != nullptr &&
                   ldap_get_attribute_ber(ld, e, ber, &attr, &vals) == LDAP_SUCCESS &&
                   attr.bv_val != nullptr) {
                std::vector<std::string> values;
                for (BerVarray v = vals; v != nullptr && v->bv_val != nullptr; ++v)
                    values.emplace_back(v->bv_val, v->bv_len);
                ber_memfree(vals);
                vals = nullptr;
                std::string name(attr.bv_val, attr.bv_len);
                auto same =
                    std::find_if(entry.Attrs.begin(), entry.Attrs.end(),
                                 [&](const auto& kept) { return U_SameText(kept.first, name); });
                if (same == entry.Attrs.end())
                    entry.Attrs.emplace_back(std::move(name), std::move(values));
                else
                    same->second.insert(same->second.end(), std::make_move_iterator(values.begin()),
                                        std::make_move_iterator(values.end()));
            }
            if (ber != nullptr)
                ber_free(ber, 0);
            page.push_back(std::move(entry));
        }
        sink(page);
        if (!paged)
            return true;
        LDAPControl** returned = nullptr;
        int err = LDAP_SUCCESS;
        rc = ldap_parse_result(ld, res.get(), &err, nullptr, nullptr, nullptr, &returned, 0);
        TControlsHolder returnedHolder(returned);
        if (rc != LDAP_SUCCESS || err != LDAP_SUCCESS) {
            FLastCode = rc != LDAP_SUCCESS ? rc : err;
            if (!ahead || IsLost(FLastCode))
                NoteFailure(FLastCode, base);
            error = FBroken.empty()
                        ? "search below \"" + base + "\" failed: " + Diagnostic(ld, FLastCode)
                        : FBroken;
            return false;
        }
        LDAPControl* response =
            returned ? ldap_control_find(LDAP_CONTROL_PAGEDRESULTS, returned, nullptr) : nullptr;
        if (response == nullptr)
            return true; // the server does not page: it answered in one go
        ber_int_t estimate = 0;
        berval next{};
        rc = ldap_parse_pageresponse_control(ld, response, &estimate, &next);
        if (rc != LDAP_SUCCESS) {
            error = "the server's paged answer cannot be read: " + Diagnostic(ld, rc);
            return false;
        }
        cookieBytes.assign(next.bv_val ? next.bv_val : "", next.bv_len);
        ber_memfree(next.bv_val);
        if (cookieBytes.empty())
            return true;
    }
}

} // namespace trovalen::ldap
