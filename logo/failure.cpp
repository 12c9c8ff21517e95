#include "logo/failure.h"

namespace tolvane {

std::string pathText(const std::filesystem::path& path) {
    const auto text = path.u8string();
    return {text.begin(), text.end()};
}

std::string quoted(const std::filesystem::path& path) { return '"' + pathText(path) + '"'; }

std::string displayName(const std::filesystem::path& path) { return pathText(path.filename()); }

}  // namespace tolvane
