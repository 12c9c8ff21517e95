// Temporary files on POSIX systems: the names this program gives them, and the
// clean-up of those a killed program left behind.
#include "posix_parts.h"

#include <atomic>
#include <cerrno>
#include <climits>
#include <ctime>
#include <dirent.h>
#include <fcntl.h>
#include <optional>
#include <signal.h>
#include <string>
#include <string_view>
#include <sys/stat.h>
#include <unistd.h>

namespace tolvane::files {

namespace {

constexpr std::string_view kTempPrefix = ".tolvane-export-";
constexpr std::string_view kTempSuffix = ".tmp";
constexpr long kDeadAfterSeconds = 10 * 60;

// The process that made a temporary file named as this program names them,
// ".tolvane-export-<process>-<count>.tmp"; nothing for any other name.
std::optional<pid_t> temporaryOf(std::string_view name) {
    if (!name.starts_with(kTempPrefix) || !name.ends_with(kTempSuffix)) return std::nullopt;
    name = name.substr(kTempPrefix.size(), name.size() - kTempPrefix.size() - kTempSuffix.size());
    const auto dash = name.find('-');
    const auto digits = [](std::string_view text) {
        return !text.empty() && text.size() <= 18 && text.find_first_not_of("0123456789") == std::string_view::npos;
    };
    if (dash == std::string_view::npos || !digits(name.substr(0, dash)) || !digits(name.substr(dash + 1)))
        return std::nullopt;
    const long long pid = std::stoll(std::string(name.substr(0, dash)));
    if (pid <= 0 || pid > INT_MAX) return std::nullopt;
    return static_cast<pid_t>(pid);
}

}  // namespace

std::filesystem::path temporaryName(const std::filesystem::path& folder) {
    static std::atomic<unsigned> counter{0};
    return folder / (std::string(kTempPrefix) + std::to_string(::getpid()) + "-" + std::to_string(counter++) +
                     std::string(kTempSuffix));
}

// Temporary files of exports whose process died (killed, or the machine went
// down) between naming and renaming them. Only this user's regular files of
// exactly such names, old enough: only this machine's processes can be asked,
// and the folder may be shared, so a younger one may be a live export elsewhere.
void removeDeadTemporaries(const std::filesystem::path& folder) {
    DIR* dir = ::opendir(folder.c_str());
    if (!dir) return;
    while (const dirent* entry = ::readdir(dir)) {
        const auto pid = temporaryOf(entry->d_name);
        if (!pid) continue;
        struct stat info {};
        if (::fstatat(::dirfd(dir), entry->d_name, &info, AT_SYMLINK_NOFOLLOW) != 0 || !S_ISREG(info.st_mode) ||
            info.st_uid != ::geteuid() || info.st_mtime > ::time(nullptr) - kDeadAfterSeconds)
            continue;
        if (::kill(*pid, 0) != 0 && errno == ESRCH) ::unlinkat(::dirfd(dir), entry->d_name, 0);
    }
    ::closedir(dir);
}

}  // namespace tolvane::files
