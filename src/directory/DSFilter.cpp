#include "directory/DSFilter.h"

#include <cstdint>
#include <exception>
#include <string_view>

#include "directory/DSContext.h"
#include "directory/DSHandles.h"
#include "directory/DSValues.h"
#include "model/RightsModel.h"
#include "util/Platform.h"
#include "util/Util.h"

namespace trovalen {

namespace {

const std::string kCRLF = "\r\n";
const std::string kDefaultFilter = "(Object Class#PRESENT#)";

// The client's value area for one comparison value; a NUL follows string values.
constexpr size_t kValueArea = 2047;
constexpr uint32_t kMaxPerCall = 50;

// The client buffers and the filter of one search, freed with it.
struct TSearchResources {
    TClientBuf FilterBuf;
    TClientBuf ResultBuf;
    TClientFilter Filter;
};

std::string TrimTabsBlanks(std::string_view s) {
    return U_TrimRightChars(U_TrimLeftChars(s, "\t "), "\t ");
}

// A plain decimal number with an optional sign; false when the text is not one.
bool ReadDecimal(std::string_view text, int64_t& value) {
    size_t i = 0;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
        negative = text[i] == '-';
        ++i;
    }
    if (i >= text.size())
        return false;
    int64_t v = 0;
    for (; i < text.size(); ++i) {
        if (text[i] < '0' || text[i] > '9')
            return false;
        v = v * 10 + (text[i] - '0');
        if (v > 0xFFFFFFFFll)
            v = 0x100000000ll; // saturate: out of every range the callers accept
    }
    value = negative ? -v : v;
    return true;
}

bool ReadUnsigned(std::string_view text, int64_t max, uint32_t& value) {
    int64_t v = 0;
    if (!ReadDecimal(TrimTabsBlanks(text), v) || v < 0 || v > max)
        return false;
    value = static_cast<uint32_t>(v);
    return true;
}

bool IsStringSyntax(uint32_t syntax) {
    return (syntax >= SYN_DIST_NAME && syntax <= SYN_NU_STRING) || syntax == SYN_TEL_NUMBER ||
           syntax == SYN_CLASS_NAME;
}

TAttrValue TextValue(uint32_t syntax, const std::string& text) {
    TAttrValue v;
    v.Syntax = syntax;
    v.Data = TValString{text};
    return v;
}

// Feeds tokens into one client filter; the first failing code sticks.
class TFilterWriter {
public:
    TFilterWriter(TNWClient* client, NWHandle ctx, TSearchResources& res)
        : Client(client), Ctx(ctx), Res(res) {}

    NWCCODE Code = NW_OK;

    bool Open() {
        if (Res.Filter.Held)
            return true;
        Res.Filter = TClientFilter(Client, Ctx);
        Code = Res.Filter.Code;
        return Res.Filter.Held;
    }

    bool Token(uint32_t token, const TAttrValue* value = nullptr, uint32_t syntax = 0) {
        if (Code != NW_OK)
            return false;
        if (!Open())
            return false;
        Code = Client->AddFilterToken(Res.Filter.Handle, token, value, syntax);
        return Code == NW_OK;
    }

    bool Name(const std::string& name, uint32_t syntax) {
        TAttrValue v = TextValue(syntax, name);
        return Token(FTOK_ANAME, &v, syntax);
    }

    bool Fail(NWCCODE code) {
        Code = code;
        return false;
    }

    // One comparison. literal: the value is taken as it stands ("*" is no presence test).
    bool Comparison(const std::string& attrIn, const std::string& op, const std::string& value,
                    bool literal);

    // One translated line; an empty line is skipped.
    bool Line(const std::string& lineIn);

private:
    TNWClient* Client;
    NWHandle Ctx;
    TSearchResources& Res;
};

} // namespace

// Converts a comparison value written as text into the client's record for the syntax.
// Returns 0, -702 (not convertible) or -623 (the syntax takes no filter values).
NWCCODE U_DSFilterValue(uint32_t syntax, const std::string& text, TAttrValue& value) {
    value = TAttrValue{};
    value.Syntax = syntax;
    if (text.size() >= kValueArea)
        return ERR_NOT_CONVERTIBLE;
    if (IsStringSyntax(syntax)) {
        // The client takes a NUL-terminated string: a NUL inside would cut the value short.
        if (text.find('\0') != std::string::npos)
            return ERR_NOT_CONVERTIBLE;
        value.Data = TValString{text};
        return NW_OK;
    }
    switch (syntax) {
    case SYN_BOOLEAN: {
        std::string u = U_UpperCase(text);
        TValBoolean b;
        b.Value = (u == "T" || u == "Y" || u == "TRUE" || u == "YES") ? 1 : 0;
        value.Data = b;
        return NW_OK;
    }
    case SYN_INTEGER:
    case SYN_COUNTER:
    case SYN_INTERVAL: {
        int64_t n = 0;
        if (!ReadDecimal(text, n) || n < 0 || n > 2147483647)
            return ERR_NOT_CONVERTIBLE;
        if (syntax == SYN_INTERVAL)
            value.Data = TValInterval{static_cast<uint32_t>(n)};
        else
            value.Data = TValInteger{static_cast<int32_t>(n)};
        return NW_OK;
    }
    case SYN_OCTET_STRING: {
        TValOctetString o;
        if (U_StartsWith(text, "0x")) {
            std::string bytes(text.size() / 2 + 1, '\0');
            int count = static_cast<int>(bytes.size());
            if (U_HexToBytes(text, count, reinterpret_cast<uint8_t*>(bytes.data()))) {
                bytes.resize(static_cast<size_t>(count));
                o.Data = bytes;
                value.Data = o;
                return NW_OK;
            }
        }
        o.Data = text;
        value.Data = o;
        return NW_OK;
    }
    case SYN_FAX_NUMBER:
        value.Data = TValFax{text};
        return NW_OK;
    case SYN_EMAIL_ADDRESS: {
        TValEMail e;
        e.Type = 0;
        e.Address = text;
        value.Data = e;
        return NW_OK;
    }
    case SYN_PATH: {
        std::string t = U_TrimLeftChars(text, "( ");
        U_Replace(t, ") ", "#", true, false);
        std::string volumePart, path;
        U_SplitAt(t, ":", volumePart, path);
        TValPath p;
        if (U_Pos("#", volumePart) > 0) {
            std::string ns, volume;
            U_SplitAt(volumePart, "#", ns, volume);
            uint32_t n = 0;
            p.NameSpaceType = ReadUnsigned(ns, 0xFFFFFFFFll, n) ? n : 0;
            p.VolumeName = volume;
        } else {
            p.VolumeName = volumePart;
        }
        p.Path = path;
        value.Data = p;
        return NW_OK;
    }
    case SYN_OBJECT_ACL: {
        if (U_CountOf(text, "#") != 2)
            return ERR_NOT_CONVERTIBLE;
        TArrayOfString parts(3);
        U_SplitToArray(text, "#", parts);
        TValObjectACL acl;
        acl.SubjectName = parts[0];
        acl.ProtectedAttrName = parts[1];
        acl.Privileges = U_StrToRights(parts[2], U_RightsTypeOfAttr(parts[1]));
        value.Data = acl;
        return NW_OK;
    }
    case SYN_TIMESTAMP:
    case SYN_TIME: {
        double x = 0;
        uint32_t seconds = 0;
        if (!U_TextToDateTime(text, x) || !U_DateTimeToUnix(true, x, seconds))
            return ERR_NOT_CONVERTIBLE;
        if (syntax == SYN_TIME) {
            value.Data = TValTime{seconds};
        } else {
            TValTimestamp ts;
            ts.WholeSeconds = seconds;
            value.Data = ts;
        }
        return NW_OK;
    }
    case SYN_TYPED_NAME: {
        if (U_CountOf(text, "#") != 2)
            return ERR_NOT_CONVERTIBLE;
        TArrayOfString parts(3);
        U_SplitToArray(text, "#", parts);
        TValTypedName tn;
        tn.ObjectName = parts[0];
        if (!ReadUnsigned(parts[1], 0xFFFFFFFFll, tn.Level) ||
            !ReadUnsigned(parts[2], 0xFFFFFFFFll, tn.Interval))
            return ERR_NOT_CONVERTIBLE;
        value.Data = tn;
        return NW_OK;
    }
    default:
        // Case Ignore List (6) included: a list has no single-text form that would compare
        // reliably, so such a comparison is refused rather than answered wrongly.
        return ERR_SYNTAX_NOT_FILTERABLE;
    }
}

namespace {

bool TFilterWriter::Comparison(const std::string& attrIn, const std::string& opIn,
                               const std::string& value, bool literal) {
    std::string attr = attrIn;
    std::string op = opIn;
    if (U_SameText(attr, "Base Class")) {
        if (value == "*")
            return Fail(ERR_INVALID_FILTER);
        std::string cls = value;
        if (U_SameText(cls, "o"))
            cls = "Organization";
        else if (U_SameText(cls, "ou"))
            cls = "Organizational Unit";
        return Token(FTOK_BASECLS) && Name(cls, SYN_CLASS_NAME);
    }
    if ((U_SameText(attr, "Name") || U_SameText(attr, "RDN")) && op == "=") {
        if (value == "*")
            return Fail(ERR_INVALID_FILTER);
        return Token(FTOK_RDN) && Name(value, SYN_DIST_NAME);
    }
    if (U_SameText(attr, "Aux Class"))
        attr = "Object Class";
    uint32_t syntax = 0;
    NWCCODE code = Client->AttrSyntax(Ctx, attr, syntax);
    if (code != NW_OK)
        return Fail(code);
    if (!literal && op == "=" && value == "*")
        op = "#PRESENT#";
    if (op == "#PRESENT#")
        return Token(FTOK_PRESENT) && Name(attr, syntax);
    uint32_t opToken = 0;
    if (op == "=" || op == "#EQ#")
        opToken = FTOK_EQ;
    else if (op == ">=" || op == "#GE#")
        opToken = FTOK_GE;
    else if (op == "<=" || op == "#LE#")
        opToken = FTOK_LE;
    else if (op == "#APPROX#")
        opToken = FTOK_APPROX;
    else
        return Fail(ERR_INVALID_FILTER);
    TAttrValue record;
    code = U_DSFilterValue(syntax, value, record);
    if (code != NW_OK)
        return Fail(code);
    return Name(attr, syntax) && Token(opToken) && Token(FTOK_AVAL, &record, syntax);
}

bool TFilterWriter::Line(const std::string& lineIn) {
    std::string line = TrimTabsBlanks(lineIn);
    if (line.empty())
        return true;
    if (!Open())
        return false;
    if (line == "(")
        return Token(FTOK_LPAREN);
    if (line == ")")
        return Token(FTOK_RPAREN);
    if (line == "#AND#")
        return Token(FTOK_AND);
    if (line == "#OR#")
        return Token(FTOK_OR);
    if (line == "#NOT#")
        return Token(FTOK_NOT);
    static const char* const kOperators[] = {"<=", "#LE#", ">=",       "#GE#",
                                             "=",  "#EQ#", "#APPROX#", "#PRESENT#"};
    for (const char* op : kOperators) {
        int p = U_Pos(op, line);
        if (p > 0) {
            std::string attr = TrimTabsBlanks(line.substr(0, static_cast<size_t>(p - 1)));
            std::string value = TrimTabsBlanks(
                line.substr(static_cast<size_t>(p - 1) + std::string_view(op).size()));
            return Comparison(attr, op, value, false);
        }
    }
    static const char* const kNegations[] = {"!=", "#NE#", "<>"};
    for (const char* op : kNegations) {
        int p = U_Pos(op, line);
        if (p > 0) {
            std::string attr = TrimTabsBlanks(line.substr(0, static_cast<size_t>(p - 1)));
            std::string value = TrimTabsBlanks(
                line.substr(static_cast<size_t>(p - 1) + std::string_view(op).size()));
            return Token(FTOK_LPAREN) && Token(FTOK_NOT) && Comparison(attr, "=", value, false) &&
                   Token(FTOK_RPAREN);
        }
    }
    int p = U_Pos("#NOTPRESENT#", line);
    if (p > 0) {
        std::string attr = TrimTabsBlanks(line.substr(0, static_cast<size_t>(p - 1)));
        return Token(FTOK_LPAREN) && Token(FTOK_NOT) && Comparison(attr, "=", "*", false) &&
               Token(FTOK_RPAREN);
    }
    return Fail(ERR_INVALID_FILTER);
}

// Ends the filter, hands it to the client and collects the names of the objects found.
NWCCODE RunSearch(TNWClient* client, NWHandle ctx, const std::string& base, int scope,
                  TFilterWriter& writer, TSearchResources& res, TStringList& list,
                  const std::string& format) {
    if (!writer.Token(FTOK_END))
        return writer.Code;
    NWCCODE code = client->PutFilter(ctx, res.FilterBuf.Handle, res.Filter.Handle);
    res.Filter.Disown(); // consumed by the client, even on failure
    if (code != NW_OK)
        return code;

    int32_t iteration = -1;
    do {
        U_ProcessMessages();
        uint32_t searched = 0;
        code = client->SearchObjects(ctx, base, scope, res.FilterBuf.Handle, true, iteration,
                                     kMaxPerCall, searched, res.ResultBuf.Handle);
        if (code != NW_OK)
            break;
        uint32_t count = 0;
        code = client->ObjectCount(ctx, res.ResultBuf.Handle, count);
        if (code != NW_OK)
            break;
        for (uint32_t i = 0; i < count; ++i) {
            U_ProcessMessages();
            std::string name;
            uint32_t attrCount = 0;
            TObjectSummary summary;
            NWCCODE next = client->NextObject(ctx, res.ResultBuf.Handle, name, attrCount, summary);
            if (next != NW_OK) {
                U_NWShowError(client, next, "");
                continue;
            }
            list.Add(U_ReplaceStr(format, "#NAME#", name, true, true), 1);
        }
    } while (iteration != -1);
    return code;
}

// Allocates the filter and result buffers and prepares the filter buffer.
NWCCODE PrepareSearch(TNWClient* client, NWHandle ctx, TSearchResources& res) {
    res.FilterBuf = TClientBuf(client, DEFAULT_MESSAGE_LEN);
    if (!res.FilterBuf.Held)
        return res.FilterBuf.Code;
    res.ResultBuf = TClientBuf(client, MAX_MESSAGE_LEN);
    if (!res.ResultBuf.Held)
        return res.ResultBuf.Code;
    return client->InitBuf(ctx, DSV_SEARCH_FILTER, res.FilterBuf.Handle);
}

} // namespace

TStringList U_DSNormalizeFilter(const std::string& filter) {
    static const std::pair<const char*, const char*> kSteps[] = {
        {"(", "\r\n(\r\n"},
        {")", "\r\n)\r\n"},
        {"#AND#", "\r\n#AND#\r\n"},
        {"&&", "\r\n#AND#\r\n"},
        {"&", "\r\n#AND#\r\n"},
        {"#OR#", "\r\n#OR#\r\n"},
        {"||", "\r\n#OR#\r\n"},
        {"|", "\r\n#OR#\r\n"},
        {"#NOT#", "\r\n#NOT#\r\n"},
        {"!=", "#NE#"},
        {"!", "\r\n#NOT#\r\n"},
        {"\r\n ", "\r\n"},
        {" \r\n", "\r\n"},
        {"\r\n\r\n", "\r\n"},
        {"\r\nAND\r\n", "\r\n#AND#\r\n"},
        {"\r\nOR\r\n", "\r\n#OR#\r\n"},
        {"\r\nNOT\r\n", "\r\n#NOT#\r\n"},
    };
    std::string text = filter;
    for (const auto& [find, replacement] : kSteps)
        U_Replace(text, find, replacement, true, true);
    TStringList lines;
    U_AddTextLines(text, lines);
    return lines;
}

NWCCODE U_DSSearch(TNWClient* client, NWHandle ctx, const std::string& base,
                   const std::string& filterIn, TStringList& list, int scope,
                   const std::string& format) {
    if (U_CountOf(filterIn, "(") != U_CountOf(filterIn, ")"))
        return ERR_INVALID_FILTER;
    if (client == nullptr)
        return ERR_CLIENT_NOT_STARTED;
    // A filter of nothing but blanks asks for nothing in particular, like an empty one.
    std::string filter = U_TrimBlank(filterIn).empty() ? kDefaultFilter : filterIn;

    TSearchResources res;
    TFilterWriter writer(client, ctx, res);
    bool translating = true;
    try {
        NWCCODE code = PrepareSearch(client, ctx, res);
        if (code != NW_OK)
            return code;
        for (const TStringItem& line : U_DSNormalizeFilter(filter)) {
            if (!writer.Line(line.Text))
                return writer.Code;
        }
        translating = false;
        return RunSearch(client, ctx, base, scope, writer, res, list, format);
    } catch (const std::exception&) {
        // Whatever was found so far stays in the list; never report success for a search that
        // did not run to its end.
        if (writer.Code != NW_OK)
            return writer.Code;
        return translating ? ERR_NOT_CONVERTIBLE : ERR_BAD_VERB;
    }
}

NWCCODE U_DSFilteredSearch(TNWClient* client, NWHandle ctx, const std::string& base,
                           const std::string& filter, TStringList& list, int scope) {
    return U_DSSearch(client, ctx, base, filter, list, scope, "#NAME#");
}

NWCCODE U_DSSearchEqual(TNWClient* client, NWHandle ctx, const std::string& base,
                        const std::string& attr, const std::string& value, TStringList& list,
                        int scope) {
    if (client == nullptr)
        return ERR_CLIENT_NOT_STARTED;
    TSearchResources res;
    TFilterWriter writer(client, ctx, res);
    bool translating = true;
    try {
        NWCCODE code = PrepareSearch(client, ctx, res);
        if (code != NW_OK)
            return code;
        if (!writer.Token(FTOK_LPAREN) || !writer.Comparison(attr, "=", value, true) ||
            !writer.Token(FTOK_RPAREN))
            return writer.Code;
        translating = false;
        return RunSearch(client, ctx, base, scope, writer, res, list, "#NAME#");
    } catch (const std::exception&) {
        if (writer.Code != NW_OK)
            return writer.Code;
        return translating ? ERR_NOT_CONVERTIBLE : ERR_BAD_VERB;
    }
}

} // namespace trovalen
