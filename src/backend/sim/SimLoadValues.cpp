// Attribute values of every syntax, octet values in their three forms, and ACL values.
#include "backend/sim/SimLoadInternal.h"

#include <algorithm>
#include <cstdio>

namespace trovalen::sim::load {

std::string TLoader::Octets(const json& v, const std::string& ptr, size_t maxBytes,
                            bool plainIsText) {
    std::string out;
    if (v.is_string()) {
        out = plainIsText ? Str(v, ptr, maxBytes) : HexBytes(Str(v, ptr, maxBytes * 3), ptr);
    } else {
        CheckKeys(v, ptr, {"hex", "text", "layout", "size"});
        int forms = (Opt(v, "hex") ? 1 : 0) + (Opt(v, "text") ? 1 : 0) + (Opt(v, "layout") ? 1 : 0);
        if (forms != 1)
            Fail(ptr, "give exactly one of \"hex\", \"text\" and \"layout\"");
        if (const json* h = Opt(v, "hex"))
            out = HexBytes(Str(*h, ptr + "/hex", maxBytes * 3), ptr + "/hex");
        if (const json* t = Opt(v, "text"))
            out = Str(*t, ptr + "/text", maxBytes);
        if (const json* l = Opt(v, "layout")) {
            std::string lp = ptr + "/layout";
            Expect(*l, json::value_t::array, lp, "an array of fields");
            size_t end = 0;
            for (size_t i = 0; i < l->size(); ++i) {
                const json& f = (*l)[i];
                std::string fp = Join(lp, i);
                CheckKeys(f, fp, {"at", "u8", "u16", "u32", "str", "wstr", "hex", "text"});
                size_t at = Opt(f, "at") ? static_cast<size_t>(Int(f["at"], fp + "/at", 0,
                                                                   static_cast<int64_t>(maxBytes)))
                                         : end;
                std::string bytes;
                int kinds = 0;
                auto number = [&](const char* key, int width) {
                    if (const json* x = Opt(f, key)) {
                        ++kinds;
                        int64_t max = width == 4 ? UINT32_MAX : (width == 2 ? 0xFFFF : 0xFF);
                        auto n = static_cast<uint64_t>(
                            IntOrHex(*x, fp + "/" + key, width == 4 ? INT32_MIN : 0, max));
                        for (int b = 0; b < width; ++b)
                            bytes += static_cast<char>((n >> (8 * b)) & 0xFF);
                    }
                };
                number("u8", 1);
                number("u16", 2);
                number("u32", 4);
                if (const json* x = Opt(f, "str")) {
                    ++kinds;
                    bytes = Str(*x, fp + "/str", maxBytes);
                    bytes += '\0';
                }
                if (const json* x = Opt(f, "wstr")) {
                    ++kinds;
                    for (char16_t c : Utf16(Str(*x, fp + "/wstr", maxBytes))) {
                        bytes += static_cast<char>(c & 0xFF);
                        bytes += static_cast<char>(c >> 8);
                    }
                    bytes += std::string(2, '\0');
                }
                if (const json* x = Opt(f, "hex")) {
                    ++kinds;
                    bytes = HexBytes(Str(*x, fp + "/hex", maxBytes * 3), fp + "/hex");
                }
                if (const json* x = Opt(f, "text")) {
                    ++kinds;
                    bytes = Str(*x, fp + "/text", maxBytes);
                }
                if (kinds != 1)
                    Fail(fp, "a field holds exactly one of u8, u16, u32, str, wstr, hex, text");
                if (at + bytes.size() > maxBytes)
                    Fail(fp,
                         "the value would be longer than " + std::to_string(maxBytes) + " bytes");
                if (out.size() < at + bytes.size())
                    out.resize(at + bytes.size(), '\0');
                std::copy(bytes.begin(), bytes.end(), out.begin() + static_cast<ptrdiff_t>(at));
                end = at + bytes.size();
            }
        }
        if (const json* s = Opt(v, "size")) {
            auto size =
                static_cast<size_t>(Int(*s, ptr + "/size", 0, static_cast<int64_t>(maxBytes)));
            if (size < out.size())
                Fail(ptr + "/size", "the fields need " + std::to_string(out.size()) +
                                        " bytes, more than the size " + std::to_string(size));
            out.resize(size, '\0');
        }
    }
    if (out.size() > maxBytes)
        Fail(ptr, "the value is longer than " + std::to_string(maxBytes) + " bytes");
    return out;
}

void TLoader::ParseAcl(const TSimTree& t, const json& v, const std::string& ptr, TAttrValue& out,
                       TSimAcl& acl) {
    CheckKeys(v, ptr, {"subject", "attribute", "rights"});
    std::string subject = Str(Req(v, "subject", ptr), ptr + "/subject", 1024);
    std::string attr = Str(Req(v, "attribute", ptr), ptr + "/attribute", 128);
    TValObjectACL val;
    if (subject == "[Public]") {
        acl.Subject = SUBJ_PUBLIC;
        val.SubjectName = subject;
    } else if (subject == "[This]") {
        acl.Subject = SUBJ_THIS;
        val.SubjectName = subject;
    } else if (subject == "[Inheritance Mask]") {
        acl.Subject = SUBJ_IRM;
        val.SubjectName = subject;
    } else if (subject == "[Supervisor]") {
        acl.Subject = SUBJ_SUPERVISOR;
        val.SubjectName = subject;
    } else {
        acl.Subject = ObjectRef(t, Req(v, "subject", ptr), ptr + "/subject", "subject");
        val.SubjectName = t.Objects[acl.Subject].FullName;
    }
    int family;
    if (attr == "[Entry Rights]") {
        acl.Protected = PROT_ENTRY;
        family = FAMILY_ENTRY;
    } else if (attr == "[All Attributes Rights]") {
        acl.Protected = PROT_ALL_ATTRS;
        family = FAMILY_ATTR;
    } else {
        acl.Protected = FWorld.Schema.FindAttr(attr);
        if (acl.Protected < 0)
            Fail(ptr + "/attribute", "\"" + attr +
                                         "\" is no attribute (nor \"[Entry Rights]\" or "
                                         "\"[All Attributes Rights]\"); define it in \"schema\"");
        attr = FWorld.Schema.Attrs[acl.Protected].Name;
        family = FAMILY_ATTR;
    }
    val.ProtectedAttrName = attr;
    const json& r = Req(v, "rights", ptr);
    if (r.is_string()) {
        std::string text = Str(r, ptr + "/rights", 64);
        std::string error;
        if (!NumberText(text, ptr + "/rights", acl.Privileges) &&
            !ParseRightsText(text, family, acl.Privileges, error))
            Fail(ptr + "/rights", error + " (" + attr + ")");
    } else {
        acl.Privileges = static_cast<uint32_t>(Int(r, ptr + "/rights", 0, UINT32_MAX));
    }
    val.Privileges = acl.Privileges;
    out.Syntax = SYN_OBJECT_ACL;
    out.Data = std::move(val);
}

void TLoader::ParseValue(const TSimTree& t, uint32_t syntax, const json& v, const std::string& ptr,
                         TAttrValue& out, std::string* stream) {
    out.Syntax = syntax;
    auto name = [&](const json& x, const std::string& p) {
        return t.Objects[ObjectRef(t, x, p)].FullName;
    };
    auto u32 = [&](const json& obj, const char* key, const std::string& p, bool required) {
        const json* x = required ? &Req(obj, key, p) : Opt(obj, key);
        return x ? static_cast<uint32_t>(IntOrHex(*x, p + "/" + key, 0, UINT32_MAX)) : 0u;
    };
    switch (syntax) {
    case SYN_DIST_NAME:
        out.Data = TValString{name(v, ptr)};
        break;
    case SYN_CE_STRING:
    case SYN_CI_STRING:
    case SYN_PR_STRING:
    case SYN_NU_STRING:
    case SYN_TEL_NUMBER:
    case SYN_CLASS_NAME:
        out.Data = TValString{Str(v, ptr)};
        if (syntax == SYN_NU_STRING && std::get<TValString>(out.Data).Text.find_first_not_of(
                                           "0123456789 ") != std::string::npos)
            Fail(ptr, "a Numeric String holds digits and blanks only");
        break;
    case SYN_CI_LIST: {
        Expect(v, json::value_t::array, ptr, "an array of strings");
        TValCIList l;
        for (size_t i = 0; i < v.size(); ++i)
            l.Items.push_back(Str(v[i], Join(ptr, i)));
        out.Data = std::move(l);
        break;
    }
    case SYN_BOOLEAN:
        out.Data = TValBoolean{static_cast<uint8_t>(Bool(v, ptr) ? 1 : 0)};
        break;
    case SYN_INTEGER:
    case SYN_COUNTER:
        out.Data = TValInteger{static_cast<int32_t>(Int(v, ptr, INT32_MIN, INT32_MAX))};
        break;
    case SYN_OCTET_STRING:
        out.Data = TValOctetString{Octets(v, ptr, kMaxOctetBytes, false)};
        break;
    case SYN_FAX_NUMBER:
        out.Data = TValFax{Str(v, ptr)};
        break;
    case SYN_NET_ADDRESS: {
        CheckKeys(v, ptr, {"type", "hex", "ip", "port"});
        TValNetAddress a;
        a.AddressType = u32(v, "type", ptr, true);
        if (const json* h = Opt(v, "hex")) {
            if (Opt(v, "ip"))
                Fail(ptr, "give \"hex\" or \"ip\", not both");
            a.Address = HexBytes(Str(*h, ptr + "/hex", 512), ptr + "/hex");
        } else {
            std::string ip = Str(Req(v, "ip", ptr), ptr + "/ip", 15);
            unsigned b[4];
            char extra;
            if (std::sscanf(ip.c_str(), "%u.%u.%u.%u%c", &b[0], &b[1], &b[2], &b[3], &extra) != 4 ||
                b[0] > 255 || b[1] > 255 || b[2] > 255 || b[3] > 255)
                Fail(ptr + "/ip", "\"" + ip + "\" is no IPv4 address");
            auto port =
                static_cast<uint32_t>(Opt(v, "port") ? Int(v["port"], ptr + "/port", 0, 65535) : 0);
            std::string ipBytes{static_cast<char>(b[0]), static_cast<char>(b[1]),
                                static_cast<char>(b[2]), static_cast<char>(b[3])};
            std::string portBytes{static_cast<char>(port >> 8), static_cast<char>(port & 0xFF)};
            // UDP and TCP addresses put the port first; the IP types put it last.
            if (a.AddressType == 8 || a.AddressType == 9)
                a.Address = portBytes + ipBytes;
            else
                a.Address = ipBytes + portBytes;
        }
        out.Data = std::move(a);
        break;
    }
    case SYN_OCTET_LIST: {
        Expect(v, json::value_t::array, ptr, "an array of octet values");
        TValOctetList l;
        for (size_t i = 0; i < v.size(); ++i)
            l.Items.push_back(Octets(v[i], Join(ptr, i), kMaxOctetBytes, false));
        out.Data = std::move(l);
        break;
    }
    case SYN_EMAIL_ADDRESS:
        CheckKeys(v, ptr, {"type", "address"});
        out.Data =
            TValEMail{u32(v, "type", ptr, false), Str(Req(v, "address", ptr), ptr + "/address")};
        break;
    case SYN_PATH:
        CheckKeys(v, ptr, {"nameSpace", "volume", "path"});
        out.Data =
            TValPath{u32(v, "nameSpace", ptr, false), name(Req(v, "volume", ptr), ptr + "/volume"),
                     Str(Req(v, "path", ptr), ptr + "/path", 1024)};
        break;
    case SYN_REPLICA_POINTER:
        CheckKeys(v, ptr, {"server", "type", "number"});
        out.Data = TValReplicaPointer{name(Req(v, "server", ptr), ptr + "/server"),
                                      u32(v, "type", ptr, true), u32(v, "number", ptr, false)};
        break;
    case SYN_OBJECT_ACL: {
        TSimAcl acl;
        ParseAcl(t, v, ptr, out, acl);
        break;
    }
    case SYN_PO_ADDRESS: {
        Expect(v, json::value_t::array, ptr, "an array of up to six lines");
        if (v.size() > 6)
            Fail(ptr, "a postal address has at most six lines");
        TValPostalAddress a;
        for (size_t i = 0; i < v.size(); ++i)
            a.Lines[i] = Str(v[i], Join(ptr, i), 1024);
        out.Data = std::move(a);
        break;
    }
    case SYN_TIMESTAMP:
        if (v.is_object()) {
            CheckKeys(v, ptr, {"time", "replica", "event"});
            out.Data = TValTimestamp{
                Time(Req(v, "time", ptr), ptr + "/time"),
                static_cast<uint16_t>(
                    Opt(v, "replica") ? Int(v["replica"], ptr + "/replica", 0, 65535) : 0),
                static_cast<uint16_t>(Opt(v, "event") ? Int(v["event"], ptr + "/event", 0, 65535)
                                                      : 0)};
        } else {
            out.Data = TValTimestamp{Time(v, ptr), 0, 0};
        }
        break;
    case SYN_STREAM:
        *stream = Octets(v, ptr, kMaxStreamBytes, true);
        out.Data = TValStream{};
        break;
    case SYN_BACK_LINK:
        CheckKeys(v, ptr, {"remoteId", "object"});
        out.Data = TValBackLink{u32(v, "remoteId", ptr, true),
                                name(Req(v, "object", ptr), ptr + "/object")};
        break;
    case SYN_TIME:
        out.Data = TValTime{Time(v, ptr)};
        break;
    case SYN_TYPED_NAME:
        CheckKeys(v, ptr, {"object", "level", "interval"});
        out.Data = TValTypedName{name(Req(v, "object", ptr), ptr + "/object"),
                                 u32(v, "level", ptr, true), u32(v, "interval", ptr, true)};
        break;
    case SYN_HOLD:
        CheckKeys(v, ptr, {"object", "amount"});
        out.Data =
            TValHold{name(Req(v, "object", ptr), ptr + "/object"), u32(v, "amount", ptr, true)};
        break;
    case SYN_INTERVAL:
        out.Data = TValInterval{static_cast<uint32_t>(Int(v, ptr, 0, UINT32_MAX))};
        break;
    case SYN_UNKNOWN: {
        CheckKeys(v, ptr, {"attribute", "syntax", "hex", "text", "layout", "size"});
        json octet = v;
        octet.erase("attribute");
        octet.erase("syntax");
        TValUnknown u;
        u.AttrName = Opt(v, "attribute") ? Str(v["attribute"], ptr + "/attribute", 128) : "";
        u.Syntax =
            Opt(v, "syntax") ? static_cast<uint32_t>(Int(v["syntax"], ptr + "/syntax", 0, 255)) : 0;
        u.Value = Octets(octet, ptr, kMaxOctetBytes, false);
        out.Data = std::move(u);
        break;
    }
    default:
        out.Data = TValRaw{Octets(v, ptr, kMaxOctetBytes, false)};
        break;
    }
}

} // namespace trovalen::sim::load
