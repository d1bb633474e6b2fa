// One connection to an LDAP server: connect (with a time limit), StartTLS, simple bind, and
// searches that always page (simple paged results control) so that a server's size limit never
// cuts a result short. Only reads: there is no add, modify, delete or rename here.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <utility>
#include <vector>

namespace trovalen::ldap {

struct TLdapOptions {
    std::string Uri; // ldap://, ldaps:// or ldapi://
    std::string BindDn;
    std::string Password; // never logged, never stored
    std::string CaFile;
    bool StartTls = false;
    int TimeoutSeconds = 10; // connect and bind limit
    // Limit of one search or other request once connected; 0: as TimeoutSeconds. A search of a
    // large tree on a slow server takes longer than a connection may.
    int RequestTimeoutSeconds = 0;
};

struct TLdapEntry {
    std::string Dn;
    std::vector<std::pair<std::string, std::vector<std::string>>> Attrs; // values as bytes

    const std::vector<std::string>* Find(std::string_view attr) const;
};

enum class TLdapScope { Base, OneLevel, Subtree };

// The addresses of an address field: several may be given, separated by blanks or tabs.
std::vector<std::string> LdapAddresses(std::string_view field);

constexpr uint32_t kDefaultPageSize = 500;

class TLdapConnection {
public:
    TLdapConnection() = default;
    ~TLdapConnection();
    TLdapConnection(const TLdapConnection&) = delete;
    TLdapConnection& operator=(const TLdapConnection&) = delete;

    // Connects and binds (anonymously without a bind DN). Several addresses separated by blanks
    // are tried in turn, each with its own time limit, until one answers; a server that answers
    // and refuses the bind is the answer. On failure error holds one message that says what went
    // wrong: unreachable, refused credentials, TLS.
    bool Open(const TLdapOptions& options, std::string& error);
    void Close();
    bool IsOpen() const { return FLd != nullptr; }

    // Searches page by page until the server has no more. attrs empty = all user attributes.
    // A base that does not exist answers false with code ERR_NO_SUCH_OBJECT_LDAP.
    bool Search(const std::string& base, TLdapScope scope, const std::string& filter,
                const std::vector<std::string>& attrs, std::vector<TLdapEntry>& out,
                std::string& error);
    // The entries of one page of a search, handed over as they come.
    using TPageSink = std::function<void(std::vector<TLdapEntry>& page)>;
    // A search that reads ahead of what is asked: as Search, each page handed to sink as it
    // comes (so that a large answer is never held whole). A server limit or a referral only
    // fails this search and leaves the connection usable for the reads that follow, which meet
    // such an answer themselves if it concerns them; a lost connection is lost all the same.
    bool SearchAhead(const std::string& base, TLdapScope scope, const std::string& filter,
                     const std::vector<std::string>& attrs, const TPageSink& sink,
                     std::string& error);
    // Whether any entry at or below base matches filter. Asks for one entry only (size limit 1),
    // so a large tree answers as fast as a small one when it holds a match.
    bool AnyEntry(const std::string& base, const std::string& filter, bool& found,
                  std::string& error);
    // An extended operation: the request value as bytes; the server's result code in code and
    // its response value in response. false (with error) only when no answer came.
    bool ExtendedOperation(const std::string& oid, const std::string& request, int& code,
                           std::string& response, std::string& error);
    // The LDAP result code of the last failed request (0 after success).
    int LastCode() const { return FLastCode; }
    // Why the connection can no longer be used for a whole answer, empty while it can: the
    // server went away or stopped answering within the time limit (then no further request is
    // sent: each would wait the whole limit again), or a server limit cut a search short.
    const std::string& Broken() const { return FBroken; }
    // Requests sent since the connection opened (every page counts).
    uint64_t Requests() const { return FRequests; }
    void SetPageSize(uint32_t size) { FPageSize = size == 0 ? 1 : size; }

private:
    // One address: connect and bind. retry tells whether the next address is worth a try.
    bool OpenOne(const TLdapOptions& options, const std::string& uri, std::string& error,
                 bool& retry);
    // Notes a failed request's code: a lost connection or a server limit breaks the connection.
    void NoteFailure(int code, const std::string& base);
    // Whether a request may be sent; false with the reason (not connected, or broken) otherwise.
    bool Usable(std::string& error);
    // The paged search of Search and SearchAhead; ahead: limits and referrals break nothing.
    bool Pages(const std::string& base, TLdapScope scope, const std::string& filter,
               const std::vector<std::string>& attrs, const TPageSink& sink, bool ahead,
               std::string& error);

    void* FLd = nullptr; // LDAP*
    std::string FUri;    // the address that answered
    std::string FBroken;
    int FTimeout = 10;        // connecting and binding
    int FRequestTimeout = 10; // each request once connected
    int FLastCode = 0;
    uint64_t FRequests = 0;
    uint32_t FPageSize = kDefaultPageSize;
};

constexpr int ERR_NO_SUCH_OBJECT_LDAP = 32; // LDAP noSuchObject

} // namespace trovalen::ldap
