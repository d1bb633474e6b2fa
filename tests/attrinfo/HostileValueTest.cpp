// Octet values replayed from fuzzing: a value too short for its layout shows its hex dump.
#include "attrinfo/AttrInfo.h"

#include <gtest/gtest.h>
#include <string>

using namespace trovalen;

TEST(HostileValue, UserAddRecordShorterThanItsHeadShowsItsBytes) {
    // Found as "AO": the record's name starts at byte 15, so two bytes hold no name at all.
    EXPECT_EQ(U_FormatOctetValue("AO", "FW0 USER ADD", 0), "414F");
    EXPECT_EQ(U_FormatOctetValue(std::string(14, '\x01'), "FW0 USER ADD", 1),
              "0101010101010101010101010101");
    // From 15 bytes on the name is there, empty or not.
    EXPECT_EQ(U_FormatOctetValue(std::string(15, '\x01'), "FW0 USER ADD", 1), "");
    EXPECT_EQ(U_FormatOctetValue(std::string(15, '\x01') + "JOE", "FW0 USER ADD", 1), "JOE");
}
