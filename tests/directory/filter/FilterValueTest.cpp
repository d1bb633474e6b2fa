// Comparison values written as text, converted into the client's records for each syntax.
#include <gtest/gtest.h>

#include "directory/DSFilter.h"
#include "model/RightsModel.h"

namespace trovalen {
namespace {

template <typename T> T Convert(uint32_t syntax, const std::string& text) {
    TAttrValue v;
    NWCCODE code = U_DSFilterValue(syntax, text, v);
    EXPECT_EQ(code, NW_OK) << text;
    EXPECT_EQ(v.Syntax, syntax);
    const T* data = std::get_if<T>(&v.Data);
    EXPECT_NE(data, nullptr) << text;
    return data != nullptr ? *data : T{};
}

NWCCODE Code(uint32_t syntax, const std::string& text) {
    TAttrValue v;
    return U_DSFilterValue(syntax, text, v);
}

TEST(FilterValue, TextSyntaxes) {
    for (uint32_t syntax : {1u, 2u, 3u, 4u, 5u, 10u, 20u})
        EXPECT_EQ(Convert<TValString>(syntax, ".R&D.acme").Text, ".R&D.acme");
    EXPECT_EQ(Convert<TValFax>(SYN_FAX_NUMBER, "+49 30 1234").TelephoneNumber, "+49 30 1234");
    TValEMail mail = Convert<TValEMail>(SYN_EMAIL_ADDRESS, "joe@acme.com");
    EXPECT_EQ(mail.Type, 0u);
    EXPECT_EQ(mail.Address, "joe@acme.com");
    // A NUL would cut the string the client receives short.
    EXPECT_EQ(Code(SYN_CI_STRING, std::string("ab\0cd", 5)), ERR_NOT_CONVERTIBLE);
}

TEST(FilterValue, ValuesLongerThanTheValueAreaAreRefused) {
    EXPECT_EQ(Code(SYN_CI_STRING, std::string(2046, 'x')), NW_OK);
    EXPECT_EQ(Code(SYN_CI_STRING, std::string(2047, 'x')), ERR_NOT_CONVERTIBLE);
    EXPECT_EQ(Code(SYN_OCTET_STRING, "0x" + std::string(4000, 'A')), ERR_NOT_CONVERTIBLE);
}

TEST(FilterValue, Boolean) {
    for (const char* yes : {"T", "y", "true", "YES"})
        EXPECT_EQ(Convert<TValBoolean>(SYN_BOOLEAN, yes).Value, 1) << yes;
    for (const char* no : {"F", "no", "1", "", "yess"})
        EXPECT_EQ(Convert<TValBoolean>(SYN_BOOLEAN, no).Value, 0) << no;
}

TEST(FilterValue, Numbers) {
    EXPECT_EQ(Convert<TValInteger>(SYN_INTEGER, "0").Value, 0);
    EXPECT_EQ(Convert<TValInteger>(SYN_COUNTER, "2147483647").Value, 2147483647);
    EXPECT_EQ(Convert<TValInterval>(SYN_INTERVAL, "3600").Seconds, 3600u);
    for (const char* bad : {"", "x", "12x", "1.5", "-1", "2147483648", "99999999999999999999"})
        EXPECT_EQ(Code(SYN_INTEGER, bad), ERR_NOT_CONVERTIBLE) << bad;
}

TEST(FilterValue, OctetString) {
    EXPECT_EQ(Convert<TValOctetString>(SYN_OCTET_STRING, "0x0A0bFF").Data, "\x0A\x0B\xFF");
    // Not hexadecimal: the text's own characters.
    EXPECT_EQ(Convert<TValOctetString>(SYN_OCTET_STRING, "0xZZ").Data, "0xZZ");
    EXPECT_EQ(Convert<TValOctetString>(SYN_OCTET_STRING, "0xABC").Data, "0xABC");
    EXPECT_EQ(Convert<TValOctetString>(SYN_OCTET_STRING, "plain").Data, "plain");
    EXPECT_EQ(Convert<TValOctetString>(SYN_OCTET_STRING, "").Data, "");
}

TEST(FilterValue, Path) {
    for (const char* text : {"(4) SYS:PUBLIC", "4#SYS:PUBLIC"}) {
        TValPath p = Convert<TValPath>(SYN_PATH, text);
        EXPECT_EQ(p.NameSpaceType, 4u) << text;
        EXPECT_EQ(p.VolumeName, "SYS") << text;
        EXPECT_EQ(p.Path, "PUBLIC") << text;
    }
    TValPath p = Convert<TValPath>(SYN_PATH, "SYS:APPS\\DATA");
    EXPECT_EQ(p.NameSpaceType, 0u);
    EXPECT_EQ(p.VolumeName, "SYS");
    EXPECT_EQ(p.Path, "APPS\\DATA");
    p = Convert<TValPath>(SYN_PATH, "x#VOL1:");
    EXPECT_EQ(p.NameSpaceType, 0u);
    EXPECT_EQ(p.VolumeName, "VOL1");
    EXPECT_EQ(Convert<TValPath>(SYN_PATH, "VOL1").VolumeName, "VOL1");
}

TEST(FilterValue, ObjectACL) {
    TValObjectACL acl = Convert<TValObjectACL>(SYN_OBJECT_ACL, ".Admin.ACME#[Entry Rights]#BCDRA");
    EXPECT_EQ(acl.SubjectName, ".Admin.ACME");
    EXPECT_EQ(acl.ProtectedAttrName, "[Entry Rights]");
    EXPECT_EQ(acl.Privileges, U_StrToRights("BCDRA", rtEntry));
    // The letters are read with the family of the protected attribute: C is Compare here.
    acl = Convert<TValObjectACL>(SYN_OBJECT_ACL, "[Public]#Title#CR");
    EXPECT_EQ(acl.Privileges, DS_ATTR_COMPARE | DS_ATTR_READ);
    for (const char* bad : {"", "a#b", "a#b#c#d", "a#b#c#d#e#f#g"})
        EXPECT_EQ(Code(SYN_OBJECT_ACL, bad), ERR_NOT_CONVERTIBLE) << bad;
}

TEST(FilterValue, TypedName) {
    TValTypedName tn = Convert<TValTypedName>(SYN_TYPED_NAME, ".Joe.ACME#3#60");
    EXPECT_EQ(tn.ObjectName, ".Joe.ACME");
    EXPECT_EQ(tn.Level, 3u);
    EXPECT_EQ(tn.Interval, 60u);
    for (const char* bad : {".Joe#3", ".Joe#x#60", ".Joe#3#-1", "a#1#2#3#4#5#6"})
        EXPECT_EQ(Code(SYN_TYPED_NAME, bad), ERR_NOT_CONVERTIBLE) << bad;
}

TEST(FilterValue, TimesThatDoNotReadAreRefused) {
    EXPECT_EQ(Code(SYN_TIMESTAMP, "not a date"), ERR_NOT_CONVERTIBLE);
    EXPECT_EQ(Code(SYN_TIME, ""), ERR_NOT_CONVERTIBLE);
}

TEST(FilterValue, SyntaxesWithoutFilterValues) {
    for (uint32_t syntax : {0u, 6u, 12u, 13u, 16u, 18u, 21u, 23u, 26u, 28u, 99u})
        EXPECT_EQ(Code(syntax, "x"), ERR_SYNTAX_NOT_FILTERABLE) << syntax;
}

} // namespace
} // namespace trovalen
