// Stream attributes, replica type texts and the conversions between directory time stamps
// (seconds since 1970) and date-time values (days since 1899-12-30).
#pragma once

#include <cstdint>
#include <string>

#include "model/NWClient.h"

namespace trovalen {

// Reads up to size bytes (at most 64512) of a stream attribute; size becomes the count read.
NWCCODE U_DSReadStream(TNWClient* client, NWHandle ctx, const std::string& object,
                       const std::string& attr, uint32_t& size, std::string& buffer);
std::string U_ReplicaTypeText(uint32_t type);
double U_UnixToDateTime(uint32_t seconds);
bool U_DateTimeToUnix(bool fromLocal, double x, uint32_t& seconds);
// Minutes, UTC = local time + bias.
int32_t U_TimeZoneBias();
std::string U_UnixTimeText(uint32_t seconds, bool toLocal);
// Locale short date and short time of a date-time value (the pattern "ddddd t").
std::string U_DateTimeText(double x);
// Reads a date and time written in the user's locale format; false when unreadable.
bool U_TextToDateTime(const std::string& text, double& x);

} // namespace trovalen
