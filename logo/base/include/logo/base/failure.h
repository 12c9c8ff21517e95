// Failures that reach the person: each one knows what was being done, to which
// file, and why, as an error code (the system's, or one of this program's
// problems); its text is made from them, always in English.
#pragma once

#include <filesystem>
#include <stdexcept>
#include <string>
#include <system_error>

namespace tolvane {

// What went wrong beside the system's errors: this program's error codes.
enum class Problem {
    Damaged = 1,   // a file's contents are not what its format says
    TooShort,      // a file ends before the bytes that are needed
    WrongShape,    // a picture of another size than the one needed
    NotSupported,  // a kind of file this program does not read
    Busy,          // another program is writing the file
    Changed,       // the file changed since it was read
    NoRecord,      // no record of a patch that could be taken back
    Unsafe,        // refused, to keep a file safe
};
const std::error_category& problemCategory();
std::error_code make_error_code(Problem problem);

}  // namespace tolvane

template <>
struct std::is_error_code_enum<tolvane::Problem> : std::true_type {};

namespace tolvane {

class Failure : public std::runtime_error {
public:
    // What the system said, as "Cannot open "game.bin" for reading: No such file
    // or directory" (operation, file, purpose, the code's reason).
    Failure(const std::string& operation, const std::filesystem::path& file, std::error_code code,
            const std::string& purpose = "");
    // A failure told in a sentence of its own.
    explicit Failure(const std::string& text, std::error_code code = Problem::Damaged);

    std::error_code code() const { return code_; }
    // The same failure told after `before` ("Nothing was written: "), or with
    // `after` added to it; what it was and why stays.
    Failure after(const std::string& before) const { return Failure(before + what(), code_); }
    Failure with(const std::string& after) const { return Failure(what() + after, code_); }

private:
    std::error_code code_;
};

// A failure after the bytes were written and flushed to the disk: the message
// says what the file holds now.
class FailureAfterWrite : public Failure {
public:
    using Failure::Failure;
    explicit FailureAfterWrite(const Failure& failure) : Failure(failure) {}
};

// The system's reason for an error code, in English whatever the locale (a
// window toolkit sets the process's locale; messages must not mix languages).
std::string reasonText(std::error_code code);

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
