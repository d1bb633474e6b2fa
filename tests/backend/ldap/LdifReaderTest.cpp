// The LDIF reader: records as ldapsearch writes them, folded, base64, with CRLF ends, comments
// and its trailer; and one message with the line for each malformed text.
#include <gtest/gtest.h>

#include "backend/ldap/LdifReader.h"

using namespace trovalen::ldap;

namespace {

std::vector<TLdifRecord> ReadAll(const std::string& text, std::string& error,
                                 std::vector<std::string>* notes = nullptr) {
    TLdifReader reader(text);
    std::vector<TLdifRecord> out;
    TLdifRecord r;
    while (reader.Next(r))
        out.push_back(r);
    error = reader.Error();
    if (notes != nullptr)
        *notes = reader.Notes();
    return out;
}

TEST(LdifReader, RecordsAsLdapsearchWritesThem) {
    // "cn=J\xC3\xB6rg,o=A" and "caf\xC3\xA9" in base64; a folded comment, a folded value, CRLF.
    std::string text = "version: 1\r\n"
                       "\r\n"
                       "# extended LDIF, a comment\r\n"
                       " that goes on\r\n"
                       "dn:: Y249SsO2cmcsbz1B\r\n"
                       "objectClass: inetOrgPerson\r\n"
                       "description: one long\r\n"
                       "  value\r\n"
                       "title::Y2Fmw6k=\r\n"
                       "userCertificate;binary:: AAEC\r\n"
                       "empty:\r\n"
                       "\r\n"
                       "\r\n"
                       "dn: o=B\n"
                       "changetype: add\n"
                       "o: B\n"
                       "\n"
                       "dn: o=C\n"
                       "changetype: modify\n"
                       "replace: o\n"
                       "o: C\n"
                       "-\n"
                       "\n"
                       "# search result\n"
                       "search: 2\n"
                       "result: 4 Size limit exceeded\n"
                       "\n"
                       "# numResponses: 3\n";
    std::string error;
    std::vector<std::string> notes;
    auto records = ReadAll(text, error, &notes);
    ASSERT_TRUE(error.empty()) << error;
    ASSERT_EQ(records.size(), 2u);
    const TLdifRecord& r = records[0];
    EXPECT_EQ(r.Dn, "cn=J\xC3\xB6rg,o=A");
    EXPECT_EQ(r.Line, 5u);
    ASSERT_EQ(r.Values.size(), 5u);
    EXPECT_EQ(r.Values[1].Value, "one long value");
    EXPECT_EQ(r.Values[1].Line, 7u);
    EXPECT_EQ(r.Values[2].Value, "caf\xC3\xA9");
    EXPECT_TRUE(r.Values[2].Base64);
    EXPECT_EQ(r.Values[3].Attr, "userCertificate");
    EXPECT_EQ(r.Values[3].Options, "binary");
    EXPECT_EQ(r.Values[3].Value, std::string("\0\1\2", 3));
    EXPECT_EQ(r.Values[4].Value, "");
    EXPECT_EQ(r.Find("OBJECTCLASS").size(), 1u);
    EXPECT_EQ(records[1].Dn, "o=B");
    ASSERT_EQ(records[1].Values.size(), 1u) << "changetype: add reads as a content record";
    ASSERT_EQ(notes.size(), 2u);
    EXPECT_NE(notes[0].find("o=C"), std::string::npos) << notes[0];
    EXPECT_NE(notes[0].find("skipped"), std::string::npos) << notes[0];
    EXPECT_NE(notes[1].find("Size limit exceeded"), std::string::npos) << notes[1];
}

TEST(LdifReader, MalformedTextsNameTheirLine) {
    struct TCase {
        const char* Text;
        const char* Message;
    } cases[] = {
        {"dn: o=A\nobjectClass organization\n", "line 2: \"objectClass organization\" is no"},
        {"dn:: Y249\xff\n", "line 1: the value of dn is no valid base64"},
        {"dn:: Y24=9\n", "no valid base64"},
        {"dn:: Y24\n", "no valid base64"},
        {"objectClass: top\n", "line 1: a record begins with \"dn:\""},
        {"version: 1\n\no: A\n", "line 3: a record begins with \"dn:\""},
        {"dn: o=A\njpegPhoto:< file:///etc/passwd\n",
         "line 2: the value of jpegPhoto is named by a URL"},
        {"version: 2\n", "line 1: LDIF version 2 is not known"},
        {" o=A\n", "line 1: a continued line"},
        {"dn: o=A\ndn: o=B\n", "line 2: a second \"dn:\""},
        {"dn: o=A\ncn;: x\n", "line 2: \"cn;\" has a malformed option"},
        {"dn: o=A\nc n: x\n", "line 2: \"c n\" is no attribute type"},
        {"dn: o=A\n: x\n", "line 2:"},
        {"dn;x: o=A\n", "line 1: a record begins with \"dn:\""},
    };
    for (const TCase& c : cases) {
        std::string error;
        ReadAll(c.Text, error);
        EXPECT_NE(error.find(c.Message), std::string::npos) << c.Text << " -> " << error;
    }
}

TEST(LdifReader, Base64Table) {
    struct TCase {
        const char* Text;
        bool Ok;
        const char* Bytes;
    } cases[] = {
        {"", true, ""},        {"QQ==", true, "A"},        {"QUI=", true, "AB"},
        {"QUJD", true, "ABC"}, {"QUJDRA==", true, "ABCD"}, {"QQ=", false, ""},
        {"Q===", false, ""},   {"QQ==QUJD", false, ""},    {"QU=D", false, ""},
        {"QUJD ", false, ""},  {"QU\nJ", false, ""},
    };
    for (const TCase& c : cases) {
        std::string out;
        EXPECT_EQ(DecodeBase64(c.Text, out), c.Ok) << c.Text;
        if (c.Ok) {
            EXPECT_EQ(out, c.Bytes) << c.Text;
        }
    }
}

TEST(LdifReader, AFaultEndsReading) {
    TLdifReader reader("dn: o=A\n\nbroken\n\ndn: o=B\n");
    TLdifRecord r;
    EXPECT_TRUE(reader.Next(r));
    EXPECT_FALSE(reader.Next(r));
    EXPECT_FALSE(reader.Error().empty());
    EXPECT_FALSE(reader.Next(r)) << "no record after a fault";
}

} // namespace
