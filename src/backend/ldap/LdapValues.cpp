#include "backend/ldap/LdapValues.h"

#include <charconv>
#include <ctime>
#include <lber.h>
#include <vector>

#include "backend/ldap/LdapNames.h"
#include "model/RightsModel.h"

namespace trovalen::ldap {

std::string EffectivePrivilegesRequest(std::string_view object, std::string_view trustee,
                                       std::string_view attribute) {
    std::string out;
    BerElement* ber = ber_alloc_t(LBER_USE_DER);
    if (ber == nullptr)
        return out;
    berval* flat = nullptr;
    if (ber_printf(ber, "ooo", object.data(), static_cast<ber_len_t>(object.size()), trustee.data(),
                   static_cast<ber_len_t>(trustee.size()), attribute.data(),
                   static_cast<ber_len_t>(attribute.size())) != -1 &&
        ber_flatten(ber, &flat) == 0 && flat != nullptr)
        out.assign(flat->bv_val, flat->bv_len);
    ber_bvfree(flat);
    ber_free(ber, 1);
    return out;
}

bool ParseEffectivePrivileges(std::string_view value, uint32_t& rights) {
    rights = 0;
    berval bv{};
    bv.bv_val = const_cast<char*>(value.data());
    bv.bv_len = value.size();
    BerElement* ber = ber_init(&bv);
    if (ber == nullptr)
        return false;
    ber_int_t number = 0;
    ber_len_t length = 0;
    const bool read =
        ber_peek_tag(ber, &length) == LBER_INTEGER && ber_scanf(ber, "i", &number) != LBER_ERROR;
    ber_free(ber, 1);
    if (read)
        rights = static_cast<uint32_t>(number);
    return read;
}

namespace {

constexpr size_t kPostalLines = 6;
constexpr size_t kMaxListItems = 4096;

std::vector<std::string_view> Split(std::string_view text, char sep) {
    std::vector<std::string_view> out;
    size_t start = 0;
    while (out.size() < kMaxListItems) {
        size_t pos = text.find(sep, start);
        out.push_back(text.substr(start, pos == std::string_view::npos ? pos : pos - start));
        if (pos == std::string_view::npos)
            break;
        start = pos + 1;
    }
    return out;
}

template <class T> bool Number(std::string_view text, T& value) {
    if (text.empty())
        return false;
    auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    return ec == std::errc{} && end == text.data() + text.size();
}

// `first#rest` where first is a number.
bool NumberThenText(std::string_view text, uint32_t& number, std::string_view& rest) {
    size_t hash = text.find('#');
    if (hash == std::string_view::npos || !Number(text.substr(0, hash), number))
        return false;
    rest = text.substr(hash + 1);
    return true;
}

// `dn#n1[#n2]`: the DN may itself hold `#`, the numbers follow the last ones.
bool DnThenNumbers(std::string_view text, size_t count, std::string_view& dn,
                   std::vector<uint32_t>& numbers) {
    numbers.assign(count, 0);
    size_t end = text.size();
    for (size_t k = count; k-- > 0;) {
        size_t hash = text.rfind('#', end == 0 ? 0 : end - 1);
        if (hash == std::string_view::npos ||
            !Number(text.substr(hash + 1, end - hash - 1), numbers[k]))
            return false;
        end = hash;
    }
    dn = text.substr(0, end);
    return true;
}

} // namespace

bool ParseGeneralizedTime(std::string_view text, uint32_t& seconds) {
    constexpr size_t kDigits = 14;
    if (text.size() < kDigits)
        return false;
    int v[6] = {};
    const size_t widths[6] = {4, 2, 2, 2, 2, 2};
    size_t pos = 0;
    for (int k = 0; k < 6; ++k) {
        if (!Number(text.substr(pos, widths[k]), v[k]))
            return false;
        pos += widths[k];
    }
    std::string_view rest = text.substr(pos);
    if (!rest.empty() && (rest[0] == '.' || rest[0] == ',')) {
        size_t k = 1;
        while (k < rest.size() && rest[k] >= '0' && rest[k] <= '9')
            ++k;
        rest = rest.substr(k);
    }
    long offset = 0;
    if (rest == "Z") {
        offset = 0;
    } else if (rest.size() == 5 && (rest[0] == '+' || rest[0] == '-')) {
        int hh = 0, mm = 0;
        if (!Number(rest.substr(1, 2), hh) || !Number(rest.substr(3, 2), mm))
            return false;
        offset = (hh * 60L + mm) * 60L * (rest[0] == '+' ? 1 : -1);
    } else {
        return false;
    }
    if (v[1] < 1 || v[1] > 12 || v[2] < 1 || v[2] > 31 || v[3] > 23 || v[4] > 59 || v[5] > 60)
        return false;
    std::tm tm{};
    tm.tm_year = v[0] - 1900;
    tm.tm_mon = v[1] - 1;
    tm.tm_mday = v[2];
    tm.tm_hour = v[3];
    tm.tm_min = v[4];
    tm.tm_sec = v[5];
    long long t = static_cast<long long>(timegm(&tm)) - offset;
    if (t < 0 || t > static_cast<long long>(UINT32_MAX))
        return false;
    seconds = static_cast<uint32_t>(t);
    return true;
}

bool ValueFromLdap(uint32_t syntax, std::string_view attrName, std::string_view text,
                   const TValueMaps& maps, TAttrValue& out, std::string& error) {
    out = TAttrValue{};
    out.Syntax = syntax;
    auto fail = [&](const char* what) {
        error = std::string(attrName) + ": " + what;
        return false;
    };
    auto name = [&](std::string_view dn, std::string& to) {
        if (maps.Dn && maps.Dn(dn, to))
            return true;
        error = std::string(attrName) + ": the name \"" + std::string(dn.substr(0, 200)) +
                "\" is no object of the tree";
        return false;
    };
    std::string_view rest;
    uint32_t number = 0;
    std::vector<uint32_t> numbers;
    switch (syntax) {
    case SYN_DIST_NAME: {
        TValString s;
        if (!name(text, s.Text))
            return false;
        out.Data = std::move(s);
        return true;
    }
    case SYN_CE_STRING:
    case SYN_CI_STRING:
    case SYN_PR_STRING:
    case SYN_NU_STRING:
    case SYN_TEL_NUMBER:
        out.Data = TValString{std::string(text)};
        return true;
    case SYN_CLASS_NAME:
        out.Data = TValString{maps.Class ? maps.Class(text) : std::string(text)};
        return true;
    case SYN_CI_LIST: {
        TValCIList l;
        for (std::string_view item : Split(text, '$'))
            l.Items.emplace_back(item);
        out.Data = std::move(l);
        return true;
    }
    case SYN_BOOLEAN:
        if (text != "TRUE" && text != "FALSE")
            return fail("a boolean is TRUE or FALSE");
        out.Data = TValBoolean{static_cast<uint8_t>(text == "TRUE" ? 1 : 0)};
        return true;
    case SYN_INTEGER:
    case SYN_COUNTER: {
        int32_t n = 0;
        if (!Number(text, n))
            return fail("no 32-bit integer");
        out.Data = TValInteger{n};
        return true;
    }
    case SYN_INTERVAL:
        if (!Number(text, number))
            return fail("no interval in seconds");
        out.Data = TValInterval{number};
        return true;
    case SYN_OCTET_STRING:
        out.Data = TValOctetString{std::string(text)};
        return true;
    case SYN_FAX_NUMBER:
        out.Data = TValFax{std::string(text)};
        return true;
    case SYN_NET_ADDRESS:
        if (!NumberThenText(text, number, rest))
            return fail("a network address is type#address");
        out.Data = TValNetAddress{number, std::string(rest)};
        return true;
    case SYN_EMAIL_ADDRESS:
        if (!NumberThenText(text, number, rest))
            return fail("an e-mail address is type#address");
        out.Data = TValEMail{number, std::string(rest)};
        return true;
    case SYN_PATH: {
        // namespace#volume DN#path: the path follows the last `#` of the volume's DN, and a DN's
        // own `#` is always escaped, so the first unescaped one after the DN ends it.
        if (!NumberThenText(text, number, rest))
            return fail("a path is namespace#volume#path");
        size_t hash = std::string_view::npos;
        for (size_t k = 0; k < rest.size(); ++k) {
            if (rest[k] == '\\') {
                ++k;
                continue;
            }
            if (rest[k] == '#') {
                hash = k;
                break;
            }
        }
        if (hash == std::string_view::npos)
            return fail("a path is namespace#volume#path");
        TValPath p;
        p.NameSpaceType = number;
        if (!name(rest.substr(0, hash), p.VolumeName))
            return false;
        p.Path = std::string(rest.substr(hash + 1));
        out.Data = std::move(p);
        return true;
    }
    case SYN_REPLICA_POINTER: {
        std::string_view dn;
        if (!DnThenNumbers(text, 2, dn, numbers))
            return fail("a replica pointer is server#type#number");
        TValReplicaPointer r;
        if (!name(dn, r.ServerName))
            return false;
        r.ReplicaType = numbers[0];
        r.ReplicaNumber = numbers[1];
        out.Data = std::move(r);
        return true;
    }
    case SYN_OBJECT_ACL: {
        TLdapAcl acl;
        if (!ParseAclValue(text, acl, error))
            return false;
        TValObjectACL v;
        if (acl.Subject[0] == '[')
            v.SubjectName = acl.Subject;
        else if (!name(acl.Subject, v.SubjectName))
            return false;
        v.ProtectedAttrName = acl.ProtectedAttr[0] == '[' || !maps.Attr
                                  ? acl.ProtectedAttr
                                  : maps.Attr(acl.ProtectedAttr);
        v.Privileges = PrivilegesFromLdap(acl, v.ProtectedAttrName == kEntryRights);
        out.Data = std::move(v);
        return true;
    }
    case SYN_PO_ADDRESS: {
        TValPostalAddress p;
        std::vector<std::string_view> lines = Split(text, '$');
        for (size_t k = 0; k < lines.size() && k < kPostalLines; ++k)
            p.Lines[k] = std::string(lines[k]);
        out.Data = std::move(p);
        return true;
    }
    case SYN_TIMESTAMP: {
        std::vector<std::string_view> parts = Split(text, '#');
        uint32_t seconds = 0;
        uint16_t replica = 0, event = 0;
        if (parts.size() != 3 || !Number(parts[0], seconds) || !Number(parts[1], replica) ||
            !Number(parts[2], event))
            return fail("a timestamp is seconds#replica#event");
        out.Data = TValTimestamp{seconds, replica, event};
        return true;
    }
    case SYN_STREAM:
        out.Data = TValStream{};
        return true;
    case SYN_BACK_LINK: {
        if (!NumberThenText(text, number, rest))
            return fail("a back link is id#object");
        TValBackLink b;
        b.RemoteID = number;
        if (!name(rest, b.ObjectName))
            return false;
        out.Data = std::move(b);
        return true;
    }
    case SYN_TIME: {
        uint32_t seconds = 0;
        if (!ParseGeneralizedTime(text, seconds))
            return fail("no generalized time");
        out.Data = TValTime{seconds};
        return true;
    }
    case SYN_TYPED_NAME: {
        std::string_view dn;
        if (!DnThenNumbers(text, 2, dn, numbers))
            return fail("a typed name is object#level#interval");
        TValTypedName t;
        if (!name(dn, t.ObjectName))
            return false;
        t.Level = numbers[0];
        t.Interval = numbers[1];
        out.Data = std::move(t);
        return true;
    }
    case SYN_HOLD: {
        std::string_view dn;
        if (!DnThenNumbers(text, 1, dn, numbers))
            return fail("a hold is object#amount");
        TValHold h;
        if (!name(dn, h.ObjectName))
            return false;
        h.Amount = numbers[0];
        out.Data = std::move(h);
        return true;
    }
    case SYN_UNKNOWN:
        out.Data = TValUnknown{std::string(attrName), SYN_UNKNOWN, std::string(text)};
        return true;
    default:
        out.Data = TValRaw{std::string(text)};
        return true;
    }
}

} // namespace trovalen::ldap
