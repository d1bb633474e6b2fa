// The LDIF reader: records as ldapsearch writes them, folded, base64, with CRLF ends, comments
// and its trailer; and one message with the line for each malformed text.
#include <gtest/gtest.h>

#include "convert/LdifReader.h"

using namespace trovalen::convert;

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
    ASSERT_EQ(notes.size(), 1u);
    EXPECT_NE(notes[0].find("o=C"), std::string::npos) << notes[0];
    EXPECT_NE(notes[0].find("skipped"), std::string::npos) << notes[0];
}

// A text that lacks part of what was written is read as far as it goes; each gap is named with
// its line, and a value or name on a line the text ends inside is left out, never kept short.
TEST(LdifReader, GapsNameWhatTheTextLacks) {
    const std::string head = "# extended LDIF\n#\n# LDAPv3\n#\n\n";
    // Two entries, the last one open for more values, then closed by a blank line.
    const std::string opened = "dn: o=A\nobjectClass: organization\n\n"
                               "dn: cn=B,o=A\nobjectClass: inetOrgPerson\nsn: B\n";
    const std::string entries = opened + "\n";
    const std::string tail = "# search result\nsearch: 2\nresult: 0 Success\n\n"
                             "# numResponses: 3\n";
    struct TCase {
        std::string Text;
        size_t Records;
        size_t LastValues; // values of the last record
        std::string Gap;   // empty: none
    } cases[] = {
        {head + entries + tail + "# numEntries: 2\n", 2, 2, ""},
        {entries, 2, 2, ""},
        {opened + "description: folded\n value\n", 2, 3, ""},
        // The count at the end says what the search sent.
        {head + entries + tail + "# numEntries: 3\n", 2, 2,
         "line 18: \"# numEntries: 3\" says the search sent 3 entries; the text holds 2"},
        {head + entries + tail + "# numEntries: 1\n", 2, 2,
         "sent 1 entry; the text holds 2 entries"},
        {head + entries + tail + "# numEntries: many\n", 2, 2, "line 18: \"# numEntries: many\""},
        {head + entries + tail + "# numEntries: 2", 2, 2,
         "line 18: the text ends inside a comment"},
        // ldapsearch's first lines promise closing lines; a text without them was cut between
        // lines.
        {head + entries, 2, 2, "line 12: the text ends here without the closing lines"},
        {head + "dn: o=A\nobjectClass: organization\n", 1, 1, "without the closing lines"},
        {head + entries + "# search result\nsearch: 2\nresult: 4 Size limit exceeded\n", 2, 2,
         "line 15: the search ended with \"4 Size limit exceeded\""},
        // The text ends inside a line: a value, a folded value, base64 of a valid length, a name.
        {opened + "description: cut\n short", 2, 2, "line 7: the text ends inside this line"},
        {opened + "description:: QUJD", 2, 2, "\"description:: QUJD\" of \"cn=B,o=A\" is left out"},
        {"dn: o=A\nobjectClass: organization\n\ndn:: Y249QixvPU", 1, 1,
         "line 4: the text ends inside this line"},
        {"dn: o=A\nobjectClass: organization\n\ndn: cn=B,o", 1, 1,
         "\"dn: cn=B,o\" is left out, as it may be cut short"},
        {"dn: o=A\r\nobjectClass: organization\r", 1, 0, "line 2: the text ends inside"},
    };
    for (const TCase& c : cases) {
        TLdifReader reader(c.Text);
        std::vector<TLdifRecord> records;
        TLdifRecord r;
        while (reader.Next(r))
            records.push_back(r);
        EXPECT_EQ(reader.Error(), "") << c.Text;
        EXPECT_EQ(records.size(), c.Records) << c.Text;
        if (!records.empty()) {
            EXPECT_EQ(records.back().Values.size(), c.LastValues) << c.Text;
        }
        const std::vector<std::string>& gaps = reader.Gaps();
        if (c.Gap.empty()) {
            EXPECT_TRUE(gaps.empty()) << c.Text << " -> " << gaps[0];
        } else {
            ASSERT_EQ(gaps.size(), 1u) << c.Text << " -> " << ::testing::PrintToString(gaps);
            EXPECT_NE(gaps[0].find(c.Gap), std::string::npos) << c.Text << " -> " << gaps[0];
        }
    }
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
        {"dn: o=A\ndescription:: QUJDRA=\n\n", "line 2: the value of description is no valid"},
        {"dn: o=A\ndescription:: QUJD\n RA\n\n", "line 2: the value of description is no valid"},
        {"dn: o=A\ndescription:: QUJD*A==\n", "line 2: the value of description is no valid"},
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
