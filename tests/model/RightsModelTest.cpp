#include "model/RightsModel.h"

#include <gtest/gtest.h>

using namespace trovalen;

TEST(RightsLetters, WritesEachFamilyAtFullWidth) {
    EXPECT_EQ(U_RightsToStr(0x1FF, rtFileSystem), "[RWCEAFMS]");
    EXPECT_EQ(U_RightsToStr(0x41, rtFileSystem), "[R    F  ]");
    EXPECT_EQ(U_RightsToStr(0, rtFileSystem), "[        ]");
    EXPECT_EQ(U_RightsToStr(0x01, rtEntry), "[B    I]");
    EXPECT_EQ(U_RightsToStr(0x41, rtEntry), "[B     ]");
    EXPECT_EQ(U_RightsToStr(0x42, rtAttribute), "[ R   I]");
    EXPECT_EQ(U_RightsToStr(0x2F, rtAttribute), "[CRWSA ]");
    EXPECT_EQ(U_RightsToStr(0xFFFF, 5), "[]");
}

TEST(RightsLetters, ReadsLettersBack) {
    EXPECT_EQ(U_StrToRights("B    I", rtEntry), 0x01u);
    EXPECT_EQ(U_StrToRights("B     ", rtEntry), 0x41u);
    EXPECT_EQ(U_StrToRights("", rtEntry), 0x40u);
    EXPECT_EQ(U_StrToRights("", rtAttribute), 0u);
    EXPECT_EQ(U_StrToRights("r", rtFileSystem), 0u) << "lower-case letters do not count";
    EXPECT_EQ(U_StrToRights("[SMFAECWR]", rtFileSystem), 0x1FBu) << "order does not matter";
    EXPECT_EQ(U_StrToRights("CRWSAI", rtAttribute), 0x6Fu);
    EXPECT_EQ(U_StrToRights("whatever", 7), 0u);
}

TEST(RightsLetters, NumbersAreTakenAsTheMask) {
    for (TRightsType f : {rtFileSystem, rtEntry, rtAttribute})
        EXPECT_EQ(U_StrToRights("257", f), 257u);
    EXPECT_EQ(U_StrToRights("$1FF", rtFileSystem), 0x1FFu);
    EXPECT_EQ(U_StrToRights(" 2 5 7 ", rtFileSystem), 257u) << "blanks are removed first";
    // Zero is no number greater than 0: the letters path runs and finds no I.
    EXPECT_EQ(U_StrToRights("0", rtEntry), 0x40u);
    // A negative number is no mask: no rights in any family.
    for (TRightsType f : {rtFileSystem, rtEntry, rtAttribute})
        EXPECT_EQ(U_StrToRights("-1", f), 0u);
}

TEST(RightsLetters, RoundTripKeepsEveryLetteredBit) {
    for (uint32_t m = 0; m < 0x200; ++m) {
        EXPECT_EQ(U_StrToRights(U_RightsToStr(m, rtFileSystem), rtFileSystem), m & 0x1FBu);
        EXPECT_EQ(U_StrToRights(U_RightsToStr(m, rtEntry), rtEntry), m & 0x5Fu);
        EXPECT_EQ(U_StrToRights(U_RightsToStr(m, rtAttribute), rtAttribute), m & 0x6Fu);
    }
}

TEST(AclText, ParsesTheFields) {
    TACL a = U_ParseACL("[B    I] [Public] / [Entry Rights]");
    EXPECT_EQ(a.Rights, "B    I");
    EXPECT_EQ(a.Subject, "[Public]");
    EXPECT_EQ(a.AttrName, "[Entry Rights]");
    EXPECT_EQ(a.RightsType, rtEntry);
    EXPECT_EQ(a.Privileges, 0x01u);

    TACL q = U_ParseACL("[CR    ] .Joe.ACME / \"Security Equals\"");
    EXPECT_EQ(q.AttrName, "Security Equals");
    EXPECT_EQ(q.RightsType, rtAttribute);
    EXPECT_EQ(q.Privileges, 0x03u);

    TACL irm = U_ParseACL("[B     ] [Inheritance Mask] / [Entry Rights]");
    EXPECT_EQ(irm.Subject, "[Inheritance Mask]");
    EXPECT_EQ(irm.Privileges, 0x41u);
}

TEST(AclText, TellsTheWrittenFormFromAValueAsItStood) {
    // Every text U_FormatACL writes has the form, whatever the names hold.
    for (const char* subject : {"[Public]", ".A|B.Acme", "", ".X] / Y.Acme"})
        EXPECT_TRUE(U_IsACLText(U_FormatACL(0x03, subject, "Title"))) << subject;
    for (const char* text : {"", "16#subtree#[Public]#[Entry Rights]", "[B    I]", "[B] x",
                             " [B] x / y", "B] x / y"})
        EXPECT_FALSE(U_IsACLText(text)) << text;
}

TEST(AclText, SplitsAtTheFirstDelimiters) {
    // A subject holding " / " is cut there; the rest belongs to the attribute.
    TACL a = U_ParseACL("[ R   I] .A / B.ORG / Title");
    EXPECT_EQ(a.Subject, ".A");
    EXPECT_EQ(a.AttrName, "B.ORG / Title");
    // A bracket inside the subject is kept: only the first "] " delimits.
    TACL b = U_ParseACL("[B    I] .X] Y.ORG / [Entry Rights]");
    EXPECT_EQ(b.Subject, ".X] Y.ORG");
    // Text without any delimiter fills every field with the whole text.
    TACL c = U_ParseACL("plain");
    EXPECT_EQ(c.Rights, "plain");
    EXPECT_EQ(c.Subject, "plain");
    EXPECT_EQ(c.AttrName, "plain");
    EXPECT_EQ(U_ParseACL("").Privileges, 0u);
}

TEST(AclText, FormatsAndExtractsParts) {
    EXPECT_EQ(U_FormatACL(0x01, "[Public]", "[Entry Rights]"),
              "[B    I] [Public] / [Entry Rights]");
    EXPECT_EQ(U_FormatACL(0x42, ".Admin.Acme", "[All Attributes Rights]"),
              "[ R   I] .Admin.Acme / [All Attributes Rights]");
    EXPECT_EQ(U_JoinACL("BC", "X", "Y"), "[BC] X / Y");
    EXPECT_EQ(U_JoinACL("[BC]", "X", "Y"), "[BC] X / Y");
    EXPECT_EQ(U_ACLRightsText("[B    I] [Public] / [Entry Rights]"), "B    I");
    EXPECT_EQ(U_ACLSubject("[B    I] [Public] / [Entry Rights]"), "[Public]");
    EXPECT_EQ(U_ACLSubject("[B    I] Admin.Acme / [Entry Rights]"), ".Admin.Acme");
    EXPECT_EQ(U_ACLSubject("[B    I] .Admin.Acme / [Entry Rights]"), ".Admin.Acme");
    EXPECT_EQ(U_RightsTypeOfAttr("[Inheritance Mask]"), rtEntry);
    EXPECT_EQ(U_RightsTypeOfAttr("[entry rights]"), rtAttribute) << "case-sensitive";
}

TEST(Inheritance, FollowsTheLetterI) {
    EXPECT_TRUE(U_IsInheritable(0x01, rtEntry));
    EXPECT_FALSE(U_IsInheritable(0x41, rtEntry));
    EXPECT_TRUE(U_IsInheritable(0x42, rtAttribute));
    EXPECT_FALSE(U_IsInheritable(0x02, rtAttribute));
    EXPECT_FALSE(U_IsInheritable(0x1FF, rtFileSystem));
    for (uint32_t m : {0x01u, 0x41u})
        EXPECT_EQ(U_IsInheritable(m, rtEntry),
                  U_RightsToStr(m, rtEntry).find('I') != std::string::npos);
}

TEST(ImpliedRights, AddsWhatSupervisorWriteAndReadImply) {
    EXPECT_EQ(U_AddImpliedRights(0x10, rtEntry), 0x1Fu);
    EXPECT_EQ(U_AddImpliedRights(0x50, rtEntry), 0x5Fu) << "the inheritance bit stays";
    EXPECT_EQ(U_AddImpliedRights(0x04, rtAttribute), 0x0Cu);
    EXPECT_EQ(U_AddImpliedRights(0x02, rtAttribute), 0x03u);
    EXPECT_EQ(U_AddImpliedRights(0x20, rtAttribute), 0x2Fu);
    EXPECT_EQ(U_AddImpliedRights(0x60, rtAttribute), 0x6Fu);
    EXPECT_EQ(U_AddImpliedRights(0x100, rtFileSystem), 0x100u);
    EXPECT_EQ(U_AddImpliedRights(0x10, 9), 0x10u);
}

TEST(Irm, CoversByScope) {
    TACL entryIrm = U_ParseACL("[B     ] [Inheritance Mask] / [Entry Rights]");
    TACL allIrm = U_ParseACL("[ R    ] [Inheritance Mask] / [All Attributes Rights]");
    TACL secIrm = U_ParseACL("[C     ] [Inheritance Mask] / Security Equals");

    TACL all = U_ParseACL("[CRWSAI] .A.ORG / [All Attributes Rights]");
    TACL t = all;
    U_ApplyIRM(entryIrm, t);
    EXPECT_EQ(t.Rights, "CRWSAI") << "entry IRM leaves attribute values alone";

    TACL sec = U_ParseACL("[CRWSAI] .A.ORG / Security Equals");
    U_ApplyIRM(allIrm, sec);
    EXPECT_EQ(sec.Rights, " R   I");

    t = all;
    U_ApplyIRM(secIrm, t);
    EXPECT_EQ(t.Rights, "CRWSAI") << "a single-attribute IRM covers only that attribute";

    TACL title = U_ParseACL("[CRWSAI] .A.ORG / Title");
    U_ApplyIRM(secIrm, title);
    EXPECT_EQ(title.Rights, "CRWSAI");

    TACL entry = U_ParseACL("[BCDRAI] .A.ORG / [Entry Rights]");
    U_ApplyIRM(entryIrm, entry);
    EXPECT_EQ(entry.Rights, "B    I") << "I is never filtered and letters keep their places";
    EXPECT_EQ(U_StrToRights(entry.Rights, entry.RightsType), 0x01u);
}

TEST(Irm, EqualsBitwiseAndWithinAFamily) {
    for (uint32_t irmMask = 0; irmMask < 0x40; irmMask += 3) {
        for (uint32_t m = 0; m < 0x40; m += 5) {
            TACL irm = U_ParseACL(U_FormatACL(irmMask, "[Inheritance Mask]", "Title"));
            TACL target = U_ParseACL(U_FormatACL(m | 0x40, ".X", "Title"));
            U_ApplyIRM(irm, target);
            EXPECT_EQ(U_StrToRights(target.Rights, rtAttribute), ((m & irmMask) & 0x2Fu) | 0x40u);
        }
    }
}

TEST(Ordering, ComparesDottedNamesFromTheEnd) {
    EXPECT_EQ(U_CompareDottedNames(".A.ORG", ".B.ORG"), -1);
    EXPECT_EQ(U_CompareDottedNames(".X.A.ORG", ".A.ORG"), 1);
    EXPECT_EQ(U_CompareDottedNames("A.ORG", "X.A.ORG"), 0) << "a runs out first";
    EXPECT_EQ(U_CompareDottedNames(".A.ORG", ".X.A.ORG"), -1) << "the empty leading component";
    EXPECT_EQ(U_CompareDottedNames("Z.ORG", "A.PRG"), -1);
    EXPECT_EQ(U_CompareDottedNames("same", "same"), 0);
}

TEST(Ordering, ComparesAclsBySubjectThenAttribute) {
    const char* a = "[B    I] .Joe.SALES.ACME / [Entry Rights]";
    const char* b = "[CR   I] .joe.sales.acme / Title";
    const char* c = "[B    I] .Ann.SALES.ACME / [Entry Rights]";
    EXPECT_EQ(U_CompareACL(a, a), 0);
    EXPECT_EQ(U_CompareACL(a, b), 1) << "subjects equal ignoring case; 'T' sorts before '['";
    EXPECT_EQ(U_CompareACL(b, a), -1);
    EXPECT_EQ(U_CompareACL(c, a), -1);
    EXPECT_EQ(U_CompareACL("[B    I] .X / T", "[CR   I] .X / T"), 0) << "rights do not order";
}

TEST(Merging, OrsMasksOfTheSameSubjectAndAttribute) {
    TACL a = U_ParseACL("[B     ] .X.ORG / [Entry Rights]");
    TACL b = U_ParseACL("[ C    ] .X.ORG / [Entry Rights]");
    ASSERT_TRUE(U_MergeACL(a, b));
    EXPECT_EQ(a.Rights, "BC    ");
    TACL other = U_ParseACL("[ C   I] .Y.ORG / [Entry Rights]");
    EXPECT_FALSE(U_MergeACL(a, other));
    EXPECT_EQ(a.Subject, ".X.ORG");
}

TEST(Letters, HasRightsAndAgreement) {
    EXPECT_FALSE(U_HasRights("      "));
    EXPECT_FALSE(U_HasRights(""));
    EXPECT_TRUE(U_HasRights("     I"));
    EXPECT_TRUE(U_SameRightsLetters("B    I", "B     "));
    EXPECT_FALSE(U_SameRightsLetters("BC    ", "B     "));
}
