/* A slapd extended-operation plugin for tests only: it answers the directory's
 * getEffectivePrivileges operation from a table the test writes, so that the LDAP client's real
 * request is decoded by a server and its answers used as a directory server's would be.
 *
 * slapd.conf: plugin extendedop FILE.so trovalen_effective_init TABLE
 * TABLE: one line per answer, "object<TAB>trustee<TAB>attribute<TAB>rights", names as typeless
 * names in lower case ("mara.sales.corvale", "[public]"), attributes as LDAP names in lower case.
 * A request that the table does not answer gets noSuchObject; one that cannot be decoded gets
 * protocolError. */
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <lber.h>

extern "C" {
#include <slapi-plugin.h>
}

#define REQUEST_OID "2.16.840.1.113719.1.27.100.33"
#define RESPONSE_OID "2.16.840.1.113719.1.27.100.34"
#define MAX_KEY 2048

static char gRequestOid[] = REQUEST_OID;
static char gResponseOid[] = RESPONSE_OID;
static char* gOids[] = {gRequestOid, nullptr};

struct TAnswer {
    char* key; /* "object\ttrustee\tattribute" */
    long rights;
};

static TAnswer* gAnswers = nullptr;
static size_t gCount = 0;

static int CompareAnswers(const void* a, const void* b) {
    return std::strcmp(static_cast<const TAnswer*>(a)->key, static_cast<const TAnswer*>(b)->key);
}

/* The typeless name of a DN in lower case: the values of its parts, joined by dots; a pseudo
 * trustee in brackets stays as it is. False when it does not fit. */
static int TypelessName(const struct berval* dn, char* out, size_t size) {
    size_t n = 0, i = 0;
    int inValue = dn->bv_len > 0 && dn->bv_val[0] == '[';
    while (i < dn->bv_len) {
        char c = dn->bv_val[i++];
        if (!inValue) {
            if (c == '=')
                inValue = 1;
            continue;
        }
        if (c == ',') {
            inValue = 0;
            c = '.';
        } else if (c == '\\' && i < dn->bv_len) {
            c = dn->bv_val[i++];
        }
        if (n + 1 >= size)
            return 0;
        out[n++] = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    }
    out[n] = '\0';
    return 1;
}

static int Lower(const struct berval* text, char* out, size_t size) {
    if (text->bv_len + 1 > size)
        return 0;
    for (size_t i = 0; i < text->bv_len; ++i)
        out[i] = static_cast<char>(std::tolower(static_cast<unsigned char>(text->bv_val[i])));
    out[text->bv_len] = '\0';
    return 1;
}

static int Refuse(Slapi_PBlock* pb, int code, const char* why) {
    slapi_send_ldap_result(pb, code, nullptr, const_cast<char*>(why), 0, nullptr);
    return SLAPI_PLUGIN_EXTENDED_SENT_RESULT;
}

static int EffectivePrivileges(Slapi_PBlock* pb) {
    struct berval* request = nullptr;
    slapi_pblock_get(pb, SLAPI_EXT_OP_REQ_VALUE, &request);
    if (request == nullptr)
        return Refuse(pb, LDAP_PROTOCOL_ERROR, "no request value");
    /* Three OCTET STRINGs one after the other, with no SEQUENCE around them. */
    BerElement* ber = ber_init(request);
    struct berval object, trustee, attribute;
    ber_tag_t tag =
        ber == nullptr ? LBER_ERROR : ber_scanf(ber, "mmm", &object, &trustee, &attribute);
    char key[3 * MAX_KEY + 3];
    char a[MAX_KEY], b[MAX_KEY], c[MAX_KEY];
    int ok = tag != LBER_ERROR && TypelessName(&object, a, sizeof a) &&
             TypelessName(&trustee, b, sizeof b) && Lower(&attribute, c, sizeof c);
    if (ber != nullptr)
        ber_free(ber, 1);
    if (!ok)
        return Refuse(pb, LDAP_PROTOCOL_ERROR, "the request is not three octet strings");
    snprintf(key, sizeof key, "%s\t%s\t%s", a, b, c);
    TAnswer probe = {key, 0};
    auto* found = gCount == 0 ? nullptr
                              : static_cast<TAnswer*>(std::bsearch(
                                    &probe, gAnswers, gCount, sizeof *gAnswers, CompareAnswers));
    if (found == nullptr)
        return Refuse(pb, LDAP_NO_SUCH_OBJECT, "no answer for this object, trustee and attribute");

    BerElement* out = ber_alloc_t(LBER_USE_DER);
    struct berval* value = nullptr;
    if (out == nullptr || ber_printf(out, "i", static_cast<ber_int_t>(found->rights)) == -1 ||
        ber_flatten(out, &value) != 0) {
        if (out != nullptr)
            ber_free(out, 1);
        return Refuse(pb, LDAP_OTHER, "the TAnswer cannot be encoded");
    }
    ber_free(out, 1);
    slapi_pblock_set(pb, SLAPI_EXT_OP_RET_OID, gResponseOid);
    slapi_pblock_set(pb, SLAPI_EXT_OP_RET_VALUE, value);
    return LDAP_SUCCESS;
}

static int LoadTable(const char* path) {
    FILE* f = fopen(path, "r");
    if (f == nullptr)
        return -1;
    char line[3 * MAX_KEY + 32];
    size_t capacity = 0;
    while (fgets(line, sizeof line, f) != nullptr) {
        char* tab = strrchr(line, '\t');
        if (tab == nullptr)
            continue;
        *tab = '\0';
        if (gCount == capacity) {
            capacity = capacity == 0 ? 1024 : capacity * 2;
            auto* grown =
                static_cast<TAnswer*>(std::realloc(gAnswers, capacity * sizeof *gAnswers));
            if (grown == nullptr)
                break;
            gAnswers = grown;
        }
        gAnswers[gCount].key = strdup(line);
        gAnswers[gCount].rights = strtol(tab + 1, nullptr, 10);
        if (gAnswers[gCount].key != nullptr)
            ++gCount;
    }
    fclose(f);
    qsort(gAnswers, gCount, sizeof *gAnswers, CompareAnswers);
    return 0;
}

extern "C" int trovalen_effective_init(Slapi_PBlock* pb) {
    int argc = 0;
    char** argv = nullptr;
    slapi_pblock_get(pb, SLAPI_PLUGIN_ARGC, &argc);
    slapi_pblock_get(pb, SLAPI_PLUGIN_ARGV, &argv);
    if (argc < 1 || argv == nullptr || LoadTable(argv[0]) != 0)
        return -1;
    static char version[] = SLAPI_PLUGIN_VERSION_01;
    slapi_pblock_set(pb, SLAPI_PLUGIN_VERSION, version);
    slapi_pblock_set(pb, SLAPI_PLUGIN_EXT_OP_OIDLIST, gOids);
    slapi_pblock_set(pb, SLAPI_PLUGIN_EXT_OP_FN, reinterpret_cast<void*>(&EffectivePrivileges));
    return 0;
}
