#include "directory/DSValues.h"

#include <clocale>
#include <cmath>
#include <cstdlib>
#include <ctime>
#include <gtest/gtest.h>

#include "FakeClient.h"

using namespace trovalen;
using trovalen::testing::FakeClient;

namespace {
// Runs a test body under a fixed time zone and restores the previous one.
class TimeZone {
public:
    explicit TimeZone(const char* tz) {
        if (const char* old = std::getenv("TZ"))
            saved = old, hadTZ = true;
        setenv("TZ", tz, 1);
        tzset();
    }
    ~TimeZone() {
        if (hadTZ)
            setenv("TZ", saved.c_str(), 1);
        else
            unsetenv("TZ");
        tzset();
    }

private:
    std::string saved;
    bool hadTZ = false;
};
} // namespace

TEST(Values, ReplicaTypes) {
    EXPECT_EQ(U_ReplicaTypeText(0), "Master");
    EXPECT_EQ(U_ReplicaTypeText(1), "Secondary");
    EXPECT_EQ(U_ReplicaTypeText(2), "Read-Only");
    EXPECT_EQ(U_ReplicaTypeText(3), "Subordinate Reference");
    EXPECT_EQ(U_ReplicaTypeText(7), "Unknown (Type: 7)");
    EXPECT_EQ(U_ReplicaTypeText(0xFFFFFFFF), "Unknown (Type: 4294967295)");
}

TEST(Values, StreamsAreReadAndClosed) {
    auto client = std::make_shared<FakeClient>();
    client->Streams["Login Script"] = std::string(70000, 'x');
    uint32_t size = 100000;
    std::string data;
    EXPECT_EQ(U_DSReadStream(client.get(), 0, "joe", "Login Script", size, data), 0);
    EXPECT_EQ(size, 64512u);
    EXPECT_EQ(data.size(), 64512u);
    size = 10;
    EXPECT_EQ(U_DSReadStream(client.get(), 0, "joe", "Login Script", size, data), 0);
    EXPECT_EQ(data, "xxxxxxxxxx");
    EXPECT_EQ(U_DSReadStream(client.get(), 0, "joe", "Missing", size, data), ERR_NO_SUCH_ATTRIBUTE);
    client->StreamReadCode = ERR_BAD_VERB;
    size = 10;
    EXPECT_EQ(U_DSReadStream(client.get(), 0, "joe", "Login Script", size, data), ERR_STREAM_READ);
    EXPECT_EQ(size, 0u);
    EXPECT_EQ(client->OpenStreams, 0);
}

TEST(Times, ConversionsAtTheirBounds) {
    TimeZone utc("UTC");
    EXPECT_DOUBLE_EQ(U_UnixToDateTime(0), 25569.0);
    EXPECT_DOUBLE_EQ(U_UnixToDateTime(86400 + 43200), 25570.5);
    EXPECT_DOUBLE_EQ(U_UnixToDateTime(0xFFFFFFFF), 0xFFFFFFFF / 86400.0 + 25569.0);

    uint32_t s = 1;
    EXPECT_TRUE(U_DateTimeToUnix(false, 25569.0, s));
    EXPECT_EQ(s, 0u);
    EXPECT_FALSE(U_DateTimeToUnix(false, 25568.99, s)); // before 1970
    EXPECT_TRUE(U_DateTimeToUnix(false, U_UnixToDateTime(0xFFFFFFFF), s));
    EXPECT_EQ(s, 0xFFFFFFFFu);
    EXPECT_FALSE(U_DateTimeToUnix(false, U_UnixToDateTime(0xFFFFFFFF) + 1.0 / 86400, s));
    EXPECT_FALSE(U_DateTimeToUnix(false, std::nan(""), s));
    EXPECT_TRUE(U_DateTimeToUnix(false, U_UnixToDateTime(1234567890), s));
    EXPECT_EQ(s, 1234567890u);
}

TEST(Times, TimeZoneBiasAndLocalTexts) {
    {
        TimeZone tz("XST+5"); // five hours west, no daylight saving
        EXPECT_EQ(U_TimeZoneBias(), 300);
        uint32_t s = 0;
        // 1970-01-01 00:00 local is 05:00 UTC.
        EXPECT_TRUE(U_DateTimeToUnix(true, 25569.0, s));
        EXPECT_EQ(s, 18000u);
        EXPECT_FALSE(U_DateTimeToUnix(true, 25569.0 - 0.25, s));
        EXPECT_EQ(U_UnixTimeText(18000, true), U_UnixTimeText(0, false));
    }
    {
        TimeZone tz("UTC");
        EXPECT_EQ(U_TimeZoneBias(), 0);
        // The process runs in the C locale here.
        EXPECT_EQ(U_UnixTimeText(0, false), "01/01/70 00:00:00");
        EXPECT_EQ(U_UnixTimeText(0xFFFFFFFF, true), "02/07/06 06:28:15");
        EXPECT_EQ(U_DateTimeText(25569.5), "01/01/70 12:00");
        EXPECT_EQ(U_DateTimeText(1e300), "");
    }
}

TEST(Times, ReadingDateTimeTexts) {
    double x = 0;
    EXPECT_TRUE(U_TextToDateTime("01/02/70 12:00:00", x));
    EXPECT_DOUBLE_EQ(x, 25570.5);
    EXPECT_TRUE(U_TextToDateTime(" 1970-01-01 ", x));
    EXPECT_DOUBLE_EQ(x, 25569.0);
    EXPECT_TRUE(U_TextToDateTime("2000-02-29 06:00", x));
    EXPECT_TRUE(U_TextToDateTime(U_DateTimeText(40000.25), x));
    EXPECT_DOUBLE_EQ(x, 40000.25);
    EXPECT_FALSE(U_TextToDateTime("2001-02-29", x));
    EXPECT_FALSE(U_TextToDateTime("1970-01-01 25:00", x));
    EXPECT_FALSE(U_TextToDateTime("yesterday", x));
    EXPECT_FALSE(U_TextToDateTime("", x));
}
