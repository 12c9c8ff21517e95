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

// A failure after the bytes were written and flushed to the disk: the message
// says what the file holds now.
class FailureAfterWrite : public Failure {
public:
    using Failure::Failure;
};

// A path as UTF-8 text (on POSIX systems, the name's own bytes, UTF-8 or not).
std::string pathText(const std::filesystem::path& path);

// A path as the person is shown it: UTF-8, control bytes and bytes that are not
// UTF-8 escaped (see printable).
std::string shownPath(const std::filesystem::path& path);

// A path as the person sees it in a message: shown, in double quotes.
std::string quoted(const std::filesystem::path& path);

// The file name alone (no folder), shown, for short status texts.
std::string displayName(const std::filesystem::path& path);

}  // namespace tolvane
