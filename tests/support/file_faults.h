// A failing disk and a killed program, for the tests: linked into a test
// program, this puts wrappers in the place of the file layer's system calls
// (logo/files/system_calls.h) that fail a call or stop the program before a
// change, as queued here. Without a fault or a stop queued they only count the
// changes.
#pragma once

#include <cstddef>

namespace tolvane {

// The next call of that kind on any file fails with the system error `error`
// (an errno value): after the system's call, so that what follows a real
// failure runs (a write lets `afterBytes` bytes through first). Faults queue up
// and are used in order; error 0 lets its call through, for a fault meant for a
// later call of the same kind.
// Read: one readAt. Open: opening an existing file for writing (openForUpdate),
// as on a read-only mount or for a file the user may not write.
// Lock: the flock(2) part of a lock (POSIX systems).
// FolderFlush: flushing the folder of a file replaceFile or createFile gave its
// name (POSIX systems).
// Permissions: giving a file that replaces another its permissions and owner.
// Nameless: the system cannot make a file without a name (O_TMPFILE), as on
// systems other than Linux; files are then made under temporary names.
enum class FileOperation {
    Write,
    Flush,
    Reserve,
    Truncate,
    Close,
    Read,
    Open,
    Lock,
    FolderFlush,
    Permissions,
    Nameless
};
void injectFileFault(FileOperation operation, int error, std::size_t afterBytes = 0);

// The program stops, as if killed, before the change of a file that is `step`
// changes from now (0: the next one). Changes are writes (a stop in one lets
// `afterBytes` of its bytes through first), flushes, new names and folders,
// renames and removals. The stop is a FileStop thrown, which is no
// std::exception: nothing in the program catches it, and only the handles close
// on its way out, as the system closes them.
struct FileStop {};
void injectFileStop(std::size_t step, std::size_t afterBytes = 0);
// The changes counted since the last injectFileStop or clearFileFaults: how many
// steps an operation takes.
std::size_t fileChangesCounted();
// Drops the queued faults and the stop.
void clearFileFaults();

}  // namespace tolvane
