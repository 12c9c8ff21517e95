#include "failure.h"

namespace tolvane {

namespace {

std::string utf8(const std::filesystem::path& path) {
    const auto text = path.u8string();
    return {text.begin(), text.end()};
}

}  // namespace

std::string quoted(const std::filesystem::path& path) { return '"' + utf8(path) + '"'; }

std::string displayName(const std::filesystem::path& path) { return utf8(path.filename()); }

}  // namespace tolvane
