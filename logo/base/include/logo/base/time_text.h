// Times as people and file names read them.
#pragma once

#include <cstdint>
#include <string>

namespace tolvane {

// A time in seconds since 1970 in strftime's format, in the local time zone or
// in UTC; the seconds themselves where the system cannot tell the date.
std::string timeText(std::int64_t seconds, const char* format, bool utc = false);

// "2025-03-01 14:05:09", local time, for a time in nanoseconds since 1970.
inline std::string localTimeText(std::int64_t nanoseconds) {
    return timeText(nanoseconds / 1'000'000'000, "%Y-%m-%d %H:%M:%S");
}

// Now, in nanoseconds since 1970.
std::int64_t nanosecondsNow();

}  // namespace tolvane
