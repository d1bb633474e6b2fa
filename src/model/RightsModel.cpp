#include "model/RightsModel.h"

#include "util/Util.h"

namespace trovalen {

namespace {

struct TLetter {
    char Letter;
    uint32_t Bit;
};

constexpr TLetter kFsLetters[] = {{'R', FS_READ},   {'W', FS_WRITE},          {'C', FS_CREATE},
                                  {'E', FS_ERASE},  {'A', FS_ACCESS_CONTROL}, {'F', FS_FILE_SCAN},
                                  {'M', FS_MODIFY}, {'S', FS_SUPERVISOR}};
constexpr TLetter kEntryLetters[] = {{'B', DS_ENTRY_BROWSE},
                                     {'C', DS_ENTRY_ADD},
                                     {'D', DS_ENTRY_DELETE},
                                     {'R', DS_ENTRY_RENAME},
                                     {'A', DS_ENTRY_SUPERVISOR}};
constexpr TLetter kAttrLetters[] = {{'C', DS_ATTR_COMPARE},
                                    {'R', DS_ATTR_READ},
                                    {'W', DS_ATTR_WRITE},
                                    {'S', DS_ATTR_SELF},
                                    {'A', DS_ATTR_SUPERVISOR}};

template <size_t N>
void AppendLetters(std::string& out, uint32_t mask, const TLetter (&letters)[N]) {
    for (const auto& l : letters)
        out.push_back((mask & l.Bit) ? l.Letter : ' ');
}

template <size_t N> uint32_t ReadLetters(std::string_view text, const TLetter (&letters)[N]) {
    uint32_t mask = 0;
    for (const auto& l : letters)
        if (text.find(l.Letter) != std::string_view::npos)
            mask |= l.Bit;
    return mask;
}

bool Contains(std::string_view s, std::string_view sub) {
    return s.find(sub) != std::string_view::npos;
}

// The part of s before the first occurrence of sep, or s when it has none.
std::string_view Before(std::string_view s, std::string_view sep) {
    auto p = s.find(sep);
    return p == std::string_view::npos ? s : s.substr(0, p);
}

// The part of s after the first occurrence of sep, or s when it has none.
std::string_view After(std::string_view s, std::string_view sep) {
    auto p = s.find(sep);
    return p == std::string_view::npos ? s : s.substr(p + sep.size());
}

int Sign(int v) {
    return v < 0 ? -1 : (v > 0 ? 1 : 0);
}

} // namespace

std::string U_RightsToStr(uint32_t mask, TRightsType family) {
    std::string out = "[";
    switch (family) {
    case rtFileSystem:
        AppendLetters(out, mask, kFsLetters);
        break;
    case rtEntry:
        AppendLetters(out, mask, kEntryLetters);
        out.push_back((mask & DS_INHERIT_CTL) ? ' ' : 'I');
        break;
    case rtAttribute:
        AppendLetters(out, mask, kAttrLetters);
        out.push_back((mask & DS_INHERIT_CTL) ? 'I' : ' ');
        break;
    default:
        break;
    }
    out.push_back(']');
    return out;
}

uint32_t U_StrToRights(std::string_view text, TRightsType family) {
    std::string digits = U_DeleteChars(text, " ");
    // A text that reads as a number is the mask itself. A negative number is no mask at all: it
    // gives no rights rather than whatever its letters would spell.
    constexpr int32_t kNotNumber = 0;
    int32_t number = U_StrToIntDef(digits, kNotNumber);
    if (number > 0)
        return static_cast<uint32_t>(number);
    if (number < 0)
        return 0;
    switch (family) {
    case rtFileSystem:
        return ReadLetters(text, kFsLetters);
    case rtEntry:
        return ReadLetters(text, kEntryLetters) | (Contains(text, "I") ? 0 : DS_INHERIT_CTL);
    case rtAttribute:
        return ReadLetters(text, kAttrLetters) | (Contains(text, "I") ? DS_INHERIT_CTL : 0);
    default:
        return 0;
    }
}

TRightsType U_RightsTypeOfAttr(std::string_view attrName) {
    if (Contains(attrName, kEntryRights) || Contains(attrName, kInheritanceMask))
        return rtEntry;
    return rtAttribute;
}

std::string U_JoinACL(std::string_view rights, std::string_view subject, std::string_view attr) {
    std::string r(rights);
    if (!Contains(r, "["))
        r = "[" + r + "]";
    return r + " " + std::string(subject) + " / " + std::string(attr);
}

std::string U_FormatACL(uint32_t mask, std::string_view subject, std::string_view attr) {
    return U_JoinACL(U_RightsToStr(mask, U_RightsTypeOfAttr(attr)), subject, attr);
}

TACL U_ParseACL(std::string_view text) {
    TACL acl;
    acl.Rights = std::string(After(Before(text, "] "), "["));
    acl.Subject = std::string(Before(After(text, "] "), " / "));
    std::string_view attr = After(text, " / ");
    while (!attr.empty() && attr.front() == '"')
        attr.remove_prefix(1);
    while (!attr.empty() && attr.back() == '"')
        attr.remove_suffix(1);
    acl.AttrName = std::string(attr);
    acl.RightsType = U_RightsTypeOfAttr(acl.AttrName);
    acl.Privileges = U_StrToRights(acl.Rights, acl.RightsType);
    return acl;
}

bool U_IsACLText(std::string_view text) {
    if (text.empty() || text.front() != '[')
        return false;
    size_t close = text.find("] ");
    return close != std::string_view::npos && text.find(" / ", close) != std::string_view::npos;
}

std::string U_ACLRightsText(std::string_view text) {
    return std::string(After(Before(text, "]"), "["));
}

std::string U_ACLSubject(std::string_view text) {
    std::string subject(After(Before(text, " /"), "] "));
    if (U_StartsWith(subject, "[") || subject.empty() || subject[0] == '.')
        return subject;
    return "." + subject;
}

bool U_IsInheritable(uint32_t privileges, TRightsType family) {
    switch (family) {
    case rtAttribute:
        return (privileges & DS_INHERIT_CTL) != 0;
    case rtEntry:
        return (privileges & DS_INHERIT_CTL) == 0;
    default:
        return false;
    }
}

uint32_t U_AddImpliedRights(uint32_t privileges, TRightsType family) {
    uint32_t added = 0;
    if (family == rtEntry) {
        if (privileges & DS_ENTRY_SUPERVISOR)
            added |= 0x0F;
    } else if (family == rtAttribute) {
        if (privileges & DS_ATTR_WRITE)
            added |= DS_ATTR_SELF;
        if (privileges & DS_ATTR_READ)
            added |= DS_ATTR_COMPARE;
        if (privileges & DS_ATTR_SUPERVISOR)
            added |= 0x0F;
    }
    return privileges | added;
}

int U_IRMScope(std::string_view attrName) {
    if (Contains(attrName, kEntryRights))
        return 1;
    if (Contains(attrName, kAllAttributesRights))
        return 2;
    return 9;
}

bool U_IRMCovers(const TACL& irm, const TACL& target) {
    int s = U_IRMScope(irm.AttrName);
    int t = U_IRMScope(target.AttrName);
    return (s == 1 && t == 1) || (s == 2 && (t == 2 || t == 9)) ||
           (s == 9 && irm.AttrName == target.AttrName);
}

void U_ApplyIRM(const TACL& irm, TACL& target) {
    if (!U_IRMCovers(irm, target))
        return;
    std::string keep = irm.Rights + "I";
    for (char& c : target.Rights)
        if (keep.find(c) == std::string::npos)
            c = ' ';
}

bool U_HasRights(std::string_view letters) {
    return letters.find_first_not_of(' ') != std::string_view::npos;
}

int U_CompareACL(std::string_view a, std::string_view b) {
    if (a == b)
        return 0;
    auto subject = [](std::string_view t) { return U_UpperCase(Before(After(t, "] "), " / ")); };
    int r = U_CompareDottedNames(subject(a), subject(b));
    if (r != 0)
        return r;
    return Sign(After(a, " / ").compare(After(b, " / ")));
}

int U_CompareDottedNames(std::string_view a, std::string_view b) {
    if (a == b)
        return 0;
    auto split = [](std::string_view s) {
        std::vector<std::string_view> parts;
        size_t start = 0;
        while (true) {
            size_t dot = s.find('.', start);
            if (dot == std::string_view::npos) {
                parts.push_back(s.substr(start));
                break;
            }
            parts.push_back(s.substr(start, dot - start));
            start = dot + 1;
        }
        return parts;
    };
    auto pa = split(a);
    auto pb = split(b);
    size_t ia = pa.size();
    size_t ib = pb.size();
    while (ia > 0 && ib > 0) {
        --ia;
        --ib;
        int r = Sign(pa[ia].compare(pb[ib]));
        if (r != 0)
            return r;
    }
    return ia > 0 ? 1 : 0;
}

bool U_MergeACL(TACL& target, const TACL& other) {
    if (target.Subject != other.Subject || target.AttrName != other.AttrName)
        return false;
    target = U_ParseACL(
        U_FormatACL(target.Privileges | other.Privileges, target.Subject, target.AttrName));
    return true;
}

bool U_SameRightsLetters(std::string_view a, std::string_view b) {
    return U_DeleteChars(a, "I ") == U_DeleteChars(b, " I");
}

} // namespace trovalen
