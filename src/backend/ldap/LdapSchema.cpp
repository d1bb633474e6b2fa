#include "backend/ldap/LdapSchema.h"

#include <algorithm>
#include <cctype>
#include <charconv>

#include "backend/ldap/LdapNames.h"
#include "model/NWClient.h"
#include "util/Util.h"

namespace trovalen::ldap {

namespace {

constexpr int32_t kMaxNdsSyntax = 1000;

// One token of a definition: a word, a quoted string, or the words of a parenthesized list.
struct TToken {
    bool Quoted = false;
    std::vector<std::string> Words; // one for a word or a string
};

bool Tokenize(std::string_view text, std::vector<TToken>& out, std::string& error) {
    size_t i = 0;
    auto blanks = [&] {
        while (i < text.size() && std::isspace(static_cast<unsigned char>(text[i])))
            ++i;
    };
    auto word = [&](std::string& w, bool& quoted) {
        quoted = text[i] == '\'';
        if (quoted) {
            size_t end = text.find('\'', i + 1);
            if (end == std::string_view::npos)
                return false;
            w = std::string(text.substr(i + 1, end - i - 1));
            i = end + 1;
            return true;
        }
        size_t start = i;
        while (i < text.size() && !std::isspace(static_cast<unsigned char>(text[i])) &&
               text[i] != '(' && text[i] != ')' && text[i] != '\'')
            ++i;
        w = std::string(text.substr(start, i - start));
        return !w.empty();
    };
    blanks();
    if (i >= text.size() || text[i] != '(') {
        error = "a definition begins with \"(\"";
        return false;
    }
    ++i;
    while (true) {
        blanks();
        if (i >= text.size()) {
            error = "the definition does not end with \")\"";
            return false;
        }
        if (text[i] == ')') {
            ++i;
            blanks();
            if (i != text.size()) {
                error = "text after the closing \")\"";
                return false;
            }
            return true;
        }
        TToken tok;
        if (text[i] == '(') {
            ++i;
            while (true) {
                blanks();
                if (i >= text.size()) {
                    error = "a list does not end with \")\"";
                    return false;
                }
                if (text[i] == ')') {
                    ++i;
                    break;
                }
                if (text[i] == '$') {
                    ++i;
                    continue;
                }
                if (text[i] == '(') {
                    error = "nested lists";
                    return false;
                }
                std::string w;
                bool quoted = false;
                if (!word(w, quoted)) {
                    error = "an unterminated quoted string";
                    return false;
                }
                tok.Words.push_back(std::move(w));
            }
        } else {
            std::string w;
            if (!word(w, tok.Quoted)) {
                error = "an unterminated quoted string";
                return false;
            }
            tok.Words.push_back(std::move(w));
        }
        out.push_back(std::move(tok));
    }
}

} // namespace

bool ParseSchemaDefinition(std::string_view text, TSchemaDefinition& def, std::string& error,
                           bool needName) {
    def = TSchemaDefinition{};
    if (text.size() > kMaxSchemaDefinitionBytes) {
        error = "a schema definition is longer than " + std::to_string(kMaxSchemaDefinitionBytes) +
                " bytes";
        return false;
    }
    std::vector<TToken> tokens;
    if (!Tokenize(text, tokens, error)) {
        error = "malformed schema definition: " + error;
        return false;
    }
    // A numeric OID: digits and dots, a digit first.
    if (!tokens.empty() && !tokens[0].Quoted && tokens[0].Words.size() == 1) {
        const std::string& first = tokens[0].Words[0];
        if (std::isdigit(static_cast<unsigned char>(first[0])) &&
            first.find_first_not_of("0123456789.") == std::string::npos)
            def.Oid = first;
    }
    for (size_t k = 0; k + 1 < tokens.size(); ++k) {
        if (tokens[k].Quoted || tokens[k].Words.size() != 1)
            continue;
        const std::string& key = tokens[k].Words[0];
        const std::vector<std::string>& value = tokens[k + 1].Words;
        if (value.empty())
            continue;
        if (key == "NAME" && def.Name.empty()) {
            def.Name = value[0];
            for (const std::string& name : value)
                if (!name.empty())
                    def.Names.push_back(name);
        } else if (key == "SUP" && def.Sup.empty())
            def.Sup = value[0];
        else if (key == "SYNTAX")
            def.Syntax = value[0].substr(0, value[0].find('{'));
        else if (key == "X-NDS_NAME")
            def.DirectoryName = value[0];
        else if (key == "X-NDS_NOT_CONTAINER")
            def.NotContainer = value[0] == "1";
        else if (key == "X-NDS_SYNTAX") {
            int32_t n = -1;
            auto [end, ec] = std::from_chars(value[0].data(), value[0].data() + value[0].size(), n);
            if (ec == std::errc{} && end == value[0].data() + value[0].size() && n >= 0 &&
                n <= kMaxNdsSyntax)
                def.NdsSyntax = n;
        }
    }
    if (def.Name.empty() && needName) {
        error = "malformed schema definition: no NAME";
        return false;
    }
    if (def.Oid.empty() && !needName) {
        error = "malformed schema definition: no OID";
        return false;
    }
    return true;
}

uint32_t SyntaxOfLdapOid(std::string_view oid) {
    struct TOid {
        std::string_view Suffix;
        uint32_t Syntax;
    };
    // The directory's own syntaxes: the last arc is the syntax number.
    static constexpr std::string_view kDirectoryArc = "2.16.840.1.113719.1.1.5.1.";
    if (oid.substr(0, kDirectoryArc.size()) == kDirectoryArc) {
        std::string_view digits = oid.substr(kDirectoryArc.size());
        int32_t n = -1;
        auto [end, ec] = std::from_chars(digits.data(), digits.data() + digits.size(), n);
        if (ec == std::errc{} && end == digits.data() + digits.size() && n >= 0 &&
            n <= kMaxNdsSyntax)
            return static_cast<uint32_t>(n);
    }
    static constexpr std::string_view kPrefix = "1.3.6.1.4.1.1466.115.121.1.";
    static constexpr TOid kOids[] = {
        {"12", SYN_DIST_NAME},  {"27", SYN_INTEGER},      {"7", SYN_BOOLEAN},
        {"24", SYN_TIME},       {"40", SYN_OCTET_STRING}, {"5", SYN_OCTET_STRING},
        {"38", SYN_CLASS_NAME}, {"50", SYN_TEL_NUMBER},   {"36", SYN_NU_STRING},
        {"44", SYN_PR_STRING},  {"26", SYN_CI_STRING},    {"15", SYN_CI_STRING},
    };
    if (oid.substr(0, kPrefix.size()) == kPrefix)
        for (const TOid& o : kOids)
            if (oid.substr(kPrefix.size()) == o.Suffix)
                return o.Syntax;
    return SYN_CI_STRING;
}

void TLdapSchema::Load(const std::vector<std::string>& attributeTypes,
                       const std::vector<std::string>& objectClasses,
                       const std::vector<std::string>& ldapSyntaxes) {
    *this = TLdapSchema{};
    std::vector<TSchemaDefinition> attrDefs;
    std::map<std::string, size_t> byName;
    std::string error;
    // The directory syntax of each LDAP syntax that states one.
    std::map<std::string, uint32_t> syntaxByOid;
    for (const std::string& text : ldapSyntaxes) {
        TSchemaDefinition def;
        if (syntaxByOid.size() >= kMaxSchemaDefinitions ||
            !ParseSchemaDefinition(text, def, error, false)) {
            ++FSkipped;
            continue;
        }
        if (def.NdsSyntax >= 0)
            syntaxByOid.emplace(def.Oid, static_cast<uint32_t>(def.NdsSyntax));
    }
    for (const std::string& text : attributeTypes) {
        TSchemaDefinition def;
        if (attrDefs.size() >= kMaxSchemaDefinitions || !ParseSchemaDefinition(text, def, error)) {
            ++FSkipped;
            continue;
        }
        for (const std::string& name : def.Names)
            byName.emplace(U_LowerCase(name), attrDefs.size());
        attrDefs.push_back(std::move(def));
    }
    for (const TSchemaDefinition& def : attrDefs) {
        TSchemaAttr a;
        a.Ldap = def.Name;
        a.Directory = def.DirectoryName;
        if (a.Directory.empty())
            a.Directory = std::string(BuiltInDirectoryAttrName(def.Name));
        if (a.Directory.empty())
            a.Directory = def.Name;
        if (def.NdsSyntax >= 0) {
            a.Syntax = static_cast<uint32_t>(def.NdsSyntax);
        } else {
            // The syntax may come from the attribute this one is derived from.
            const TSchemaDefinition* cur = &def;
            for (int hops = 0; cur->Syntax.empty() && !cur->Sup.empty() && hops < 16; ++hops) {
                auto it = byName.find(U_LowerCase(cur->Sup));
                if (it == byName.end())
                    break;
                cur = &attrDefs[it->second];
            }
            auto stated = syntaxByOid.find(cur->Syntax);
            a.Syntax = stated != syntaxByOid.end() ? stated->second : SyntaxOfLdapOid(cur->Syntax);
        }
        // The ACL values are what the analysis reads: whatever syntax a server gives them, they
        // are read as ACL values.
        if (U_SameText(a.Ldap, "ACL") || U_SameText(a.Ldap, "inheritedACL"))
            a.Syntax = SYN_OBJECT_ACL;
        for (const std::string& name : def.Names)
            FAttrByLdap.emplace(U_LowerCase(name), FAttrs.size());
        FAttrByDir.emplace(U_LowerCase(a.Directory), FAttrs.size());
        FAttrs.push_back(std::move(a));
    }
    static constexpr std::string_view kContainerClasses[] = {
        "Organization", "Organizational Unit", "Country", "Locality", "Tree Root", "domain"};
    for (const std::string& text : objectClasses) {
        TSchemaDefinition def;
        if (FClasses.size() >= kMaxSchemaDefinitions || !ParseSchemaDefinition(text, def, error)) {
            ++FSkipped;
            continue;
        }
        TSchemaClass c;
        c.Ldap = def.Name;
        c.Directory = def.DirectoryName;
        if (c.Directory.empty()) {
            c.Directory = std::string(BuiltInDirectoryClassName(def.Name));
            if (c.Directory.empty())
                c.Directory = def.Name;
            c.Container = std::find(std::begin(kContainerClasses), std::end(kContainerClasses),
                                    c.Directory) != std::end(kContainerClasses);
        } else {
            c.Container = !def.NotContainer;
        }
        FClassByLdap.emplace(U_LowerCase(c.Ldap), FClasses.size());
        FClassByDir.emplace(U_LowerCase(c.Directory), FClasses.size());
        FClasses.push_back(std::move(c));
    }
}

const TSchemaAttr* TLdapSchema::AttrByLdap(std::string_view name) const {
    auto it = FAttrByLdap.find(U_LowerCase(name));
    return it == FAttrByLdap.end() ? nullptr : &FAttrs[it->second];
}

const TSchemaClass* TLdapSchema::ClassByLdap(std::string_view name) const {
    auto it = FClassByLdap.find(U_LowerCase(name));
    return it == FClassByLdap.end() ? nullptr : &FClasses[it->second];
}

const TSchemaAttr* TLdapSchema::AttrByDirectory(std::string_view name) const {
    auto it = FAttrByDir.find(U_LowerCase(name));
    return it == FAttrByDir.end() ? nullptr : &FAttrs[it->second];
}

const TSchemaClass* TLdapSchema::ClassByDirectory(std::string_view name) const {
    auto it = FClassByDir.find(U_LowerCase(name));
    return it == FClassByDir.end() ? nullptr : &FClasses[it->second];
}

std::string TLdapSchema::DirectoryAttrName(std::string_view ldapName) const {
    if (const TSchemaAttr* a = AttrByLdap(ldapName))
        return a->Directory;
    std::string_view builtIn = BuiltInDirectoryAttrName(ldapName);
    return std::string(builtIn.empty() ? ldapName : builtIn);
}

std::string TLdapSchema::DirectoryClassName(std::string_view ldapName) const {
    if (const TSchemaClass* c = ClassByLdap(ldapName))
        return c->Directory;
    std::string_view builtIn = BuiltInDirectoryClassName(ldapName);
    return std::string(builtIn.empty() ? ldapName : builtIn);
}

std::string TLdapSchema::LdapAttrName(std::string_view directoryName) const {
    if (const TSchemaAttr* a = AttrByDirectory(directoryName))
        return a->Ldap;
    if (const TSchemaAttr* a = AttrByLdap(directoryName))
        return a->Ldap;
    return std::string(BuiltInLdapAttrName(directoryName));
}

std::string TLdapSchema::LdapClassName(std::string_view directoryName) const {
    if (const TSchemaClass* c = ClassByDirectory(directoryName))
        return c->Ldap;
    if (const TSchemaClass* c = ClassByLdap(directoryName))
        return c->Ldap;
    return std::string(BuiltInLdapClassName(directoryName));
}

} // namespace trovalen::ldap
