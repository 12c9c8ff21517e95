#include "logo/base/failure.h"

#include "logo/base/shown_text.h"

namespace tolvane {

std::string pathText(const std::filesystem::path& path) {
    const auto text = path.u8string();
    return {text.begin(), text.end()};
}

std::string shownPath(const std::filesystem::path& path) { return printable(pathText(path)); }

std::string quoted(const std::filesystem::path& path) { return '"' + shownPath(path) + '"'; }

std::string displayName(const std::filesystem::path& path) { return shownPath(path.filename()); }

}  // namespace tolvane
