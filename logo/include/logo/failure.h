// Errors that reach the person: each one says what was being done, to which
// file, and why it failed.
#pragma once

#include <filesystem>
#include <stdexcept>
#include <string>

namespace tolvane {

class Failure : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// A path as UTF-8 text.
std::string pathText(const std::filesystem::path& path);

// A path as the person sees it in a message: in double quotes, UTF-8.
std::string quoted(const std::filesystem::path& path);

// The file name alone (no folder), UTF-8, for short status texts.
std::string displayName(const std::filesystem::path& path);

}  // namespace tolvane
