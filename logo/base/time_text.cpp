// Times as text.
#include "logo/base/time_text.h"

#include <chrono>
#include <ctime>

namespace tolvane {

std::string timeText(std::int64_t seconds, const char* format, bool utc) {
    const std::time_t at = static_cast<std::time_t>(seconds);
    std::tm parts{};
#ifdef _WIN32
    const bool known = (utc ? gmtime_s(&parts, &at) : localtime_s(&parts, &at)) == 0;
#else
    const bool known = (utc ? gmtime_r(&at, &parts) : localtime_r(&at, &parts)) != nullptr;
#endif
    char text[64];
    if (!known || !std::strftime(text, sizeof text, format, &parts)) return std::to_string(seconds);
    return text;
}

std::int64_t nanosecondsNow() {
    return std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::system_clock::now().time_since_epoch())
        .count();
}

}  // namespace tolvane
