// Rights masks of the three families (file system, eDirectory entry rights, eDirectory attribute
// rights), their letters, the one-line text form of an ACL value and the operations the analysis
// performs on masks and ACL values. Pure logic: no directory access, no state.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace trovalen {

using TRightsType = uint8_t;
constexpr TRightsType rtFileSystem = 0;
constexpr TRightsType rtEntry = 1;
constexpr TRightsType rtAttribute = 2;

// File-system trustee rights.
constexpr uint32_t FS_READ = 0x0001;
constexpr uint32_t FS_WRITE = 0x0002;
constexpr uint32_t FS_OPEN = 0x0004; // no letter
constexpr uint32_t FS_CREATE = 0x0008;
constexpr uint32_t FS_ERASE = 0x0010;
constexpr uint32_t FS_ACCESS_CONTROL = 0x0020;
constexpr uint32_t FS_FILE_SCAN = 0x0040;
constexpr uint32_t FS_MODIFY = 0x0080;
constexpr uint32_t FS_SUPERVISOR = 0x0100;
constexpr uint32_t FS_ALL_RIGHTS = 0x01FF;

// eDirectory entry rights.
constexpr uint32_t DS_ENTRY_BROWSE = 0x01;
constexpr uint32_t DS_ENTRY_ADD = 0x02;
constexpr uint32_t DS_ENTRY_DELETE = 0x04;
constexpr uint32_t DS_ENTRY_RENAME = 0x08;
constexpr uint32_t DS_ENTRY_SUPERVISOR = 0x10;

// eDirectory attribute rights.
constexpr uint32_t DS_ATTR_COMPARE = 0x01;
constexpr uint32_t DS_ATTR_READ = 0x02;
constexpr uint32_t DS_ATTR_WRITE = 0x04;
constexpr uint32_t DS_ATTR_SELF = 0x08;
constexpr uint32_t DS_ATTR_SUPERVISOR = 0x20;
constexpr uint32_t DS_ATTR_ALL_RIGHTS = 0x2F;

// Inheritance control of eDirectory ACL values: set = inherited for attribute rights, clear =
// inherited for entry rights.
constexpr uint32_t DS_INHERIT_CTL = 0x40;

// Names that stand in ACL values and trustee lists as they are; compared case-sensitively.
inline constexpr std::string_view kEntryRights = "[Entry Rights]";
inline constexpr std::string_view kAllAttributesRights = "[All Attributes Rights]";
inline constexpr std::string_view kInheritanceMask = "[Inheritance Mask]";
inline constexpr std::string_view kThis = "[This]";
inline constexpr std::string_view kRoot = "[Root]";
inline constexpr std::string_view kPublic = "[Public]";
inline constexpr std::string_view kSupervisor = "[Supervisor]";

// One ACL value, parsed.
struct TACL {
    std::string Rights;   // the letters between the brackets, blanks kept
    std::string AttrName; // protected attribute
    std::string Subject;  // trustee
    TRightsType RightsType = rtFileSystem;
    uint32_t Privileges = 0;

    bool operator==(const TACL&) const = default;
};

std::string U_RightsToStr(uint32_t mask, TRightsType family);
uint32_t U_StrToRights(std::string_view text, TRightsType family);
TRightsType U_RightsTypeOfAttr(std::string_view attrName);
std::string U_JoinACL(std::string_view rights, std::string_view subject, std::string_view attr);
std::string U_FormatACL(uint32_t mask, std::string_view subject, std::string_view attr);
TACL U_ParseACL(std::string_view text);
// Whether text has the form U_FormatACL writes ("[RIGHTS] subject / attribute"). A value a
// directory hands out in another form (a malformed ACL value kept as it stood) has not.
bool U_IsACLText(std::string_view text);
std::string U_ACLRightsText(std::string_view text);
std::string U_ACLSubject(std::string_view text);
bool U_IsInheritable(uint32_t privileges, TRightsType family);
uint32_t U_AddImpliedRights(uint32_t privileges, TRightsType family);
int U_IRMScope(std::string_view attrName);
// Whether the IRM value filters the target value.
bool U_IRMCovers(const TACL& irm, const TACL& target);
void U_ApplyIRM(const TACL& irm, TACL& target);
bool U_HasRights(std::string_view letters);
int U_CompareACL(std::string_view a, std::string_view b);
int U_CompareDottedNames(std::string_view a, std::string_view b);

// Two ACL values with equal subject and attribute merge into one with the OR of both masks.
// Returns false (and leaves target alone) when they do not share subject and attribute.
bool U_MergeACL(TACL& target, const TACL& other);
// Computed and reported letters agree when they match once every "I" and blank is removed.
bool U_SameRightsLetters(std::string_view a, std::string_view b);

} // namespace trovalen
