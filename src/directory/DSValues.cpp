#include "directory/DSValues.h"

#include <cmath>
#include <cstring>
#include <ctime>
#include <langinfo.h>

#include "directory/DSHandles.h"
#include "util/Util.h"

namespace trovalen {

namespace {

constexpr double kUnixEpochDays = 25569.0; // 1970-01-01 as days since 1899-12-30
constexpr int64_t kSecondsPerDay = 86400;
// Date-time values cover the years 1 to 9999.
constexpr int64_t kFirstSecond = -62135596800LL; // 0001-01-01 00:00:00
constexpr int64_t kLastSecond = 253402300799LL;  // 9999-12-31 23:59:59

// Formats seconds since 1970 (no time-zone shift applied here) with a strftime pattern in the
// process's current LC_TIME locale; empty on failure.
std::string FormatSeconds(int64_t seconds, const char* pattern) {
    if (seconds < kFirstSecond || seconds > kLastSecond)
        return std::string();
    time_t t = static_cast<time_t>(seconds);
    struct tm tm {};
    if (gmtime_r(&t, &tm) == nullptr)
        return std::string();
    char buf[256];
    size_t n = std::strftime(buf, sizeof buf, pattern, &tm);
    return std::string(buf, n);
}

// The locale's time format without its seconds.
std::string ShortTimeFormat() {
    std::string fmt = nl_langinfo(T_FMT);
    U_Replace(fmt, "%r", nl_langinfo(T_FMT_AMPM), true, true);
    U_Replace(fmt, "%T", "%H:%M:%S", true, true);
    for (const char* sec : {":%S", ".%S", "%S"})
        U_Replace(fmt, sec, "", true, true);
    fmt = U_TrimBlank(fmt);
    return fmt.empty() ? "%H:%M" : fmt;
}

// Days since 1970-01-01 of a civil date (proleptic Gregorian).
int64_t DaysFromCivil(int64_t y, unsigned m, unsigned d) {
    y -= m <= 2;
    const int64_t era = (y >= 0 ? y : y - 399) / 400;
    const unsigned yoe = static_cast<unsigned>(y - era * 400);
    const unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + static_cast<int64_t>(doe) - 719468;
}

} // namespace

NWCCODE U_DSReadStream(TNWClient* client, NWHandle ctx, const std::string& object,
                       const std::string& attr, uint32_t& size, std::string& buffer) {
    if (client == nullptr)
        return ERR_CLIENT_NOT_STARTED;
    TAttrStream file(client, ctx, object, attr);
    if (!file.Held)
        return file.Code;
    uint32_t wanted = std::min<uint32_t>(size, MAX_MESSAGE_LEN);
    std::string data;
    NWCCODE code = NW_OK;
    try {
        if (client->ReadStream(file.Handle, wanted, data) != NW_OK)
            code = ERR_STREAM_READ;
    } catch (...) {
        code = ERR_STREAM_READ;
    }
    file.Free();
    if (code != NW_OK) {
        size = 0;
        buffer.clear();
        return code;
    }
    // A client never hands over more than was asked for.
    if (data.size() > wanted)
        data.resize(wanted);
    size = static_cast<uint32_t>(data.size());
    buffer = std::move(data);
    return NW_OK;
}

std::string U_ReplicaTypeText(uint32_t type) {
    switch (type) {
    case 0:
        return "Master";
    case 1:
        return "Secondary";
    case 2:
        return "Read-Only";
    case 3:
        return "Subordinate Reference";
    default:
        return U_Format("Unknown (Type: %u)", type);
    }
}

double U_UnixToDateTime(uint32_t seconds) {
    return static_cast<double>(seconds) / kSecondsPerDay + kUnixEpochDays;
}

bool U_DateTimeToUnix(bool fromLocal, double x, uint32_t& seconds) {
    if (fromLocal)
        x += U_TimeZoneBias() / 1440.0;
    if (!std::isfinite(x))
        return false;
    double s = std::round((x - kUnixEpochDays) * kSecondsPerDay);
    if (!(s >= 0.0 && s <= 4294967295.0))
        return false;
    seconds = static_cast<uint32_t>(s);
    return true;
}

int32_t U_TimeZoneBias() {
    tzset();
    time_t now = std::time(nullptr);
    struct tm tm {};
    if (now == static_cast<time_t>(-1) || localtime_r(&now, &tm) == nullptr)
        return 0;
    // tm_gmtoff is east of UTC and already holds the daylight saving in force.
    return static_cast<int32_t>(-tm.tm_gmtoff / 60);
}

std::string U_UnixTimeText(uint32_t seconds, bool toLocal) {
    int64_t s = seconds;
    if (toLocal)
        s -= static_cast<int64_t>(U_TimeZoneBias()) * 60;
    std::string text = FormatSeconds(s, "%x %X");
    if (text.empty()) {
        std::string date = FormatSeconds(s, "%x");
        std::string time = FormatSeconds(s, "%X");
        text = U_JoinNonEmpty(date, time, " ");
    }
    return text;
}

std::string U_DateTimeText(double x) {
    if (!std::isfinite(x))
        return std::string();
    double s = std::round((x - kUnixEpochDays) * kSecondsPerDay);
    if (s < static_cast<double>(kFirstSecond) || s > static_cast<double>(kLastSecond))
        return std::string();
    int64_t secs = static_cast<int64_t>(s);
    std::string date = FormatSeconds(secs, "%x");
    if (date.empty())
        return std::string();
    std::string time = FormatSeconds(secs, ShortTimeFormat().c_str());
    return U_JoinNonEmpty(date, time, " ");
}

bool U_TextToDateTime(const std::string& text, double& x) {
    std::string s = U_TrimBlank(text);
    if (s.empty())
        return false;
    static const char* const formats[] = {
        "%x %X",    "%x %H:%M:%S",       "%x %H:%M",       "%x",
        "%Y-%m-%d", "%Y-%m-%d %H:%M:%S", "%Y-%m-%d %H:%M", "%Y-%m-%dT%H:%M:%S",
    };
    for (const char* fmt : formats) {
        struct tm tm {};
        tm.tm_mday = 1;
        const char* end = strptime(s.c_str(), fmt, &tm);
        if (end == nullptr)
            continue;
        while (*end == ' ' || *end == '\t')
            ++end;
        if (*end != '\0')
            continue;
        if (tm.tm_mon < 0 || tm.tm_mon > 11 || tm.tm_mday < 1 || tm.tm_mday > 31 ||
            tm.tm_hour < 0 || tm.tm_hour > 23 || tm.tm_min < 0 || tm.tm_min > 59 || tm.tm_sec < 0 ||
            tm.tm_sec > 60)
            continue;
        int64_t year = static_cast<int64_t>(tm.tm_year) + 1900;
        if (year < 1 || year > 9999)
            continue;
        unsigned month = static_cast<unsigned>(tm.tm_mon) + 1;
        unsigned day = static_cast<unsigned>(tm.tm_mday);
        int64_t days = DaysFromCivil(year, month, day);
        // A day that the month does not have (31 April) is not a date.
        if (DaysFromCivil(year, month, 1) + day - 1 >=
            DaysFromCivil(year + (month == 12), month % 12 + 1, 1))
            continue;
        int64_t secs = days * kSecondsPerDay + tm.tm_hour * 3600 + tm.tm_min * 60 + tm.tm_sec;
        x = static_cast<double>(secs) / kSecondsPerDay + kUnixEpochDays;
        return true;
    }
    return false;
}

} // namespace trovalen
