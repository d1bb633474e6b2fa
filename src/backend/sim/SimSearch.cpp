// The values objects show, and search filters: parsing the token stream with one fixed
// precedence (parentheses group, NOT binds tightest, then AND, then OR) and evaluating it.
#include "backend/sim/SimInternal.h"
#include "util/Util.h"

#include <functional>

namespace trovalen::sim {

namespace {

int32_t ObjectClassAttr(const TSimWorld& w) {
    return w.Schema.FindAttr("Object Class");
}

// Calls fn for every value the object shows for attr, until fn answers true.
bool AnyValue(const TSimWorld& w, const TSimTree& t, int32_t object, int32_t attr,
              const std::function<bool(const TAttrValue&)>& fn) {
    const TSimObject& o = t.Objects[object];
    if (attr == ObjectClassAttr(w)) {
        for (const auto& name : w.Schema.ObjectClassValues(o.Class, o.Aux))
            if (fn(TAttrValue{SYN_CLASS_NAME, TValString{name}}))
                return true;
        return false;
    }
    if (const TSimAttr* a = t.FindAttr(object, attr)) {
        for (const auto& v : a->Values)
            if (fn(v))
                return true;
        return false;
    }
    if (object != 0 && w.Schema.Attrs[attr].Name == NamingAttr(w, o.Class))
        return fn(TAttrValue{w.Schema.Attrs[attr].Syntax, TValString{o.Rdn}});
    return false;
}

int Order(const std::string& a, const std::string& b) {
    return a < b ? -1 : (a == b ? 0 : 1);
}
int Order(int64_t a, int64_t b) {
    return a < b ? -1 : (a == b ? 0 : 1);
}

bool ByOp(uint32_t op, int order) {
    switch (op) {
    case FTOK_GE:
        return order >= 0;
    case FTOK_LE:
        return order <= 0;
    default:
        return order == 0;
    }
}

// The text of a string-like value.
bool Text(const TAttrValue& v, std::string& out) {
    if (auto s = std::get_if<TValString>(&v.Data)) {
        out = s->Text;
        return true;
    }
    if (auto f = std::get_if<TValFax>(&v.Data)) {
        out = f->TelephoneNumber;
        return true;
    }
    if (auto e = std::get_if<TValEMail>(&v.Data)) {
        out = e->Address;
        return true;
    }
    return false;
}

bool Number(const TAttrValue& v, int64_t& out) {
    if (auto b = std::get_if<TValBoolean>(&v.Data))
        out = b->Value != 0;
    else if (auto i = std::get_if<TValInteger>(&v.Data))
        out = i->Value;
    else if (auto iv = std::get_if<TValInterval>(&v.Data))
        out = iv->Seconds;
    else if (auto tm = std::get_if<TValTime>(&v.Data))
        out = tm->Seconds;
    else if (auto ts = std::get_if<TValTimestamp>(&v.Data))
        out = ts->WholeSeconds;
    else
        return false;
    return true;
}

bool Bytes(const TAttrValue& v, std::string& out) {
    if (auto o = std::get_if<TValOctetString>(&v.Data))
        out = o->Data;
    else if (auto u = std::get_if<TValUnknown>(&v.Data))
        out = u->Value;
    else if (auto r = std::get_if<TValRaw>(&v.Data))
        out = r->Bytes;
    else
        return false;
    return true;
}

bool SameText(const std::string& a, const std::string& b) {
    return U_LowerCase(a) == U_LowerCase(b);
}

bool ListsMatch(const std::vector<std::string>& a, const std::vector<std::string>& b,
                bool ignoreCase) {
    if (a.size() != b.size())
        return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (ignoreCase ? !SameText(a[i], b[i]) : a[i] != b[i])
            return false;
    return true;
}

bool CompareValue(uint32_t syntax, const TAttrValue& have, const TAttrValue& want, uint32_t op) {
    switch (syntax) {
    case SYN_DIST_NAME:
    case SYN_CI_STRING:
    case SYN_PR_STRING:
    case SYN_NU_STRING:
    case SYN_TEL_NUMBER:
    case SYN_CLASS_NAME:
    case SYN_FAX_NUMBER:
    case SYN_EMAIL_ADDRESS:
    case SYN_CE_STRING: {
        std::string a, b;
        if (!Text(have, a) || !Text(want, b))
            return false;
        if (syntax != SYN_CE_STRING) {
            a = U_LowerCase(a);
            b = U_LowerCase(b);
        }
        if (syntax == SYN_DIST_NAME) {
            if (!a.empty() && a[0] == '.')
                a.erase(0, 1);
            if (!b.empty() && b[0] == '.')
                b.erase(0, 1);
        }
        if (op == FTOK_APPROX)
            return WildMatch(b, a, TWildStyle::Filter);
        return ByOp(op, Order(a, b));
    }
    case SYN_BOOLEAN:
    case SYN_INTEGER:
    case SYN_COUNTER:
    case SYN_INTERVAL:
    case SYN_TIME:
    case SYN_TIMESTAMP: {
        int64_t a, b;
        if (!Number(have, a) || !Number(want, b))
            return false;
        return ByOp(op, Order(a, b));
    }
    case SYN_CI_LIST: {
        auto a = std::get_if<TValCIList>(&have.Data);
        auto b = std::get_if<TValCIList>(&want.Data);
        return a && b && ListsMatch(a->Items, b->Items, true);
    }
    case SYN_OCTET_LIST: {
        auto a = std::get_if<TValOctetList>(&have.Data);
        auto b = std::get_if<TValOctetList>(&want.Data);
        return a && b && ListsMatch(a->Items, b->Items, false);
    }
    case SYN_NET_ADDRESS: {
        auto a = std::get_if<TValNetAddress>(&have.Data);
        auto b = std::get_if<TValNetAddress>(&want.Data);
        return a && b && a->AddressType == b->AddressType && a->Address == b->Address;
    }
    case SYN_PATH: {
        auto a = std::get_if<TValPath>(&have.Data);
        auto b = std::get_if<TValPath>(&want.Data);
        return a && b && a->NameSpaceType == b->NameSpaceType &&
               SameText(a->VolumeName, b->VolumeName) && SameText(a->Path, b->Path);
    }
    case SYN_REPLICA_POINTER: {
        auto a = std::get_if<TValReplicaPointer>(&have.Data);
        auto b = std::get_if<TValReplicaPointer>(&want.Data);
        return a && b && SameText(a->ServerName, b->ServerName) &&
               a->ReplicaType == b->ReplicaType && a->ReplicaNumber == b->ReplicaNumber;
    }
    case SYN_OBJECT_ACL: {
        // Same subject and protected attribute, holding at least the rights asked for.
        auto a = std::get_if<TValObjectACL>(&have.Data);
        auto b = std::get_if<TValObjectACL>(&want.Data);
        return a && b && SameText(a->SubjectName, b->SubjectName) &&
               SameText(a->ProtectedAttrName, b->ProtectedAttrName) &&
               (a->Privileges & b->Privileges) == b->Privileges;
    }
    case SYN_PO_ADDRESS: {
        auto a = std::get_if<TValPostalAddress>(&have.Data);
        auto b = std::get_if<TValPostalAddress>(&want.Data);
        if (!a || !b || a->Lines.size() != b->Lines.size())
            return false;
        for (size_t i = 0; i < a->Lines.size(); ++i)
            if (!SameText(a->Lines[i], b->Lines[i]))
                return false;
        return true;
    }
    case SYN_BACK_LINK: {
        auto a = std::get_if<TValBackLink>(&have.Data);
        auto b = std::get_if<TValBackLink>(&want.Data);
        return a && b && SameText(a->ObjectName, b->ObjectName) &&
               (b->RemoteID == 0 || a->RemoteID == b->RemoteID);
    }
    case SYN_TYPED_NAME: {
        auto a = std::get_if<TValTypedName>(&have.Data);
        auto b = std::get_if<TValTypedName>(&want.Data);
        return a && b && SameText(a->ObjectName, b->ObjectName) && a->Level == b->Level &&
               a->Interval == b->Interval;
    }
    case SYN_HOLD: {
        auto a = std::get_if<TValHold>(&have.Data);
        auto b = std::get_if<TValHold>(&want.Data);
        return a && b && SameText(a->ObjectName, b->ObjectName) &&
               ByOp(op, Order(a->Amount, b->Amount));
    }
    case SYN_STREAM:
        return false;
    default: {
        std::string a, b;
        if (!Bytes(have, a) || !Bytes(want, b))
            return false;
        return ByOp(op, Order(a, b));
    }
    }
}

class TParser {
public:
    TParser(const TSimWorld& w, const std::vector<TFilterToken>& tokens)
        : FWorld(w), FTokens(tokens) {}

    bool Parse(TFilterNode& root) {
        if (FTokens.size() > 100000 || !Or(root, 0))
            return false;
        return FPos < FTokens.size() && FTokens[FPos].Token == FTOK_END &&
               FPos + 1 == FTokens.size();
    }

private:
    const TSimWorld& FWorld;
    const std::vector<TFilterToken>& FTokens;
    size_t FPos = 0;

    uint32_t Peek() const { return FPos < FTokens.size() ? FTokens[FPos].Token : FTOK_END; }

    bool Or(TFilterNode& out, int depth) {
        if (depth > 200)
            return false;
        TFilterNode first;
        if (!And(first, depth))
            return false;
        if (Peek() != FTOK_OR) {
            out = std::move(first);
            return true;
        }
        out = TFilterNode{};
        out.Kind = TFilterNode::Or;
        out.Kids.push_back(std::move(first));
        while (Peek() == FTOK_OR) {
            ++FPos;
            TFilterNode next;
            if (!And(next, depth))
                return false;
            out.Kids.push_back(std::move(next));
        }
        return true;
    }

    bool And(TFilterNode& out, int depth) {
        TFilterNode first;
        if (!Not(first, depth))
            return false;
        if (Peek() != FTOK_AND) {
            out = std::move(first);
            return true;
        }
        out = TFilterNode{};
        out.Kind = TFilterNode::And;
        out.Kids.push_back(std::move(first));
        while (Peek() == FTOK_AND) {
            ++FPos;
            TFilterNode next;
            if (!Not(next, depth))
                return false;
            out.Kids.push_back(std::move(next));
        }
        return true;
    }

    bool Not(TFilterNode& out, int depth) {
        if (depth > 200)
            return false;
        if (Peek() == FTOK_NOT) {
            ++FPos;
            out = TFilterNode{};
            out.Kind = TFilterNode::Not;
            out.Kids.emplace_back();
            return Not(out.Kids.back(), depth + 1);
        }
        return Primary(out, depth);
    }

    bool Name(std::string& name) {
        if (Peek() != FTOK_ANAME)
            return false;
        const TFilterToken& tok = FTokens[FPos++];
        auto s = tok.HasValue ? std::get_if<TValString>(&tok.Value.Data) : nullptr;
        if (s == nullptr)
            return false;
        name = s->Text;
        return true;
    }

    bool Primary(TFilterNode& out, int depth) {
        out = TFilterNode{};
        switch (Peek()) {
        case FTOK_LPAREN:
            ++FPos;
            if (!Or(out, depth + 1) || Peek() != FTOK_RPAREN)
                return false;
            ++FPos;
            return true;
        case FTOK_PRESENT: {
            ++FPos;
            std::string name;
            if (!Name(name))
                return false;
            out.Kind = TFilterNode::Present;
            out.Attr = FWorld.Schema.FindAttr(name);
            return true;
        }
        case FTOK_RDN:
        case FTOK_BASECLS: {
            out.Kind = Peek() == FTOK_RDN ? TFilterNode::Rdn : TFilterNode::BaseClass;
            ++FPos;
            return Name(out.Text);
        }
        case FTOK_ANAME: {
            std::string name;
            if (!Name(name))
                return false;
            out.Attr = FWorld.Schema.FindAttr(name);
            if (Peek() == FTOK_PRESENT) {
                ++FPos;
                out.Kind = TFilterNode::Present;
                return true;
            }
            uint32_t op = Peek();
            if (op != FTOK_EQ && op != FTOK_GE && op != FTOK_LE && op != FTOK_APPROX)
                return false;
            ++FPos;
            if (Peek() != FTOK_AVAL || !FTokens[FPos].HasValue)
                return false;
            out.Kind = TFilterNode::Compare;
            out.Op = op;
            out.Value = FTokens[FPos++].Value;
            return true;
        }
        default:
            return false;
        }
    }
};

} // namespace

const char* NamingAttr(const TSimWorld& w, int32_t cls) {
    if (w.Schema.IsA(cls, "Organization"))
        return "O";
    if (w.Schema.IsA(cls, "Organizational Unit"))
        return "OU";
    if (w.Schema.IsA(cls, "Country"))
        return "C";
    if (w.Schema.IsA(cls, "Locality"))
        return "L";
    if (w.Schema.IsA(cls, "Tree Root"))
        return "";
    return "CN";
}

std::vector<int32_t> ObjectAttrs(const TSimWorld& w, const TSimTree& t, int32_t object) {
    const TSimObject& o = t.Objects[object];
    std::vector<int32_t> out{ObjectClassAttr(w)};
    int32_t naming = w.Schema.FindAttr(NamingAttr(w, o.Class));
    if (object != 0 && naming >= 0 && t.FindAttr(object, naming) == nullptr)
        out.push_back(naming);
    for (const auto& a : o.Attrs)
        out.push_back(a.Attr);
    return out;
}

std::vector<TAttrValue> ObjectValues(const TSimWorld& w, const TSimTree& t, int32_t object,
                                     int32_t attr) {
    std::vector<TAttrValue> out;
    AnyValue(w, t, object, attr, [&out](const TAttrValue& v) {
        out.push_back(v);
        return false;
    });
    return out;
}

NWCCODE ParseFilter(const TSimWorld& w, const std::vector<TFilterToken>& tokens,
                    TFilterNode& root) {
    TParser p(w, tokens);
    return p.Parse(root) ? NW_OK : ERR_INVALID_FILTER;
}

bool FilterMatches(const TSimWorld& w, const TSimTree& t, int32_t object, const TFilterNode& f) {
    switch (f.Kind) {
    case TFilterNode::And:
        for (const auto& k : f.Kids)
            if (!FilterMatches(w, t, object, k))
                return false;
        return true;
    case TFilterNode::Or:
        for (const auto& k : f.Kids)
            if (FilterMatches(w, t, object, k))
                return true;
        return false;
    case TFilterNode::Not:
        return !FilterMatches(w, t, object, f.Kids[0]);
    case TFilterNode::Present:
        return f.Attr >= 0 &&
               AnyValue(w, t, object, f.Attr, [](const TAttrValue&) { return true; });
    case TFilterNode::Rdn:
        return object != 0 && WildMatch(U_LowerCase(f.Text), U_LowerCase(t.Objects[object].Rdn),
                                        TWildStyle::Filter);
    case TFilterNode::BaseClass:
        return SameText(w.Schema.Classes[t.Objects[object].Class].Name, f.Text);
    case TFilterNode::Compare: {
        if (f.Attr < 0)
            return false;
        uint32_t syntax = w.Schema.Attrs[f.Attr].Syntax;
        return AnyValue(w, t, object, f.Attr, [&](const TAttrValue& v) {
            return CompareValue(syntax, v, f.Value, f.Op);
        });
    }
    }
    return false;
}

} // namespace trovalen::sim
