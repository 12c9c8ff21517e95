// The least an import with its undo record can cost, for bench/time-import.sh to
// time `tolvane import` against: reads the image's first 28248 bytes, writes a
// record of them and of the new bytes (56 KB), flushes it, links it into a folder
// and flushes the folder (so that a power cut leaves it), then writes the new
// bytes over the image's start and flushes them. Nothing else: no layout, no
// bitmap, no check fields, no listing.
//
// Usage: import_floor IMAGE NEW_PREFIX FOLDER
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <sys/uio.h>
#include <unistd.h>

namespace {

constexpr std::size_t kPrefix = 28248;

[[noreturn]] void fail(const char* what, const char* file) {
    std::fprintf(stderr, "import_floor: %s %s: %s\n", what, file, std::strerror(errno));
    std::_Exit(1);
}

void readWhole(int fd, unsigned char* into, const char* file) {
    if (pread(fd, into, kPrefix, 0) != static_cast<ssize_t>(kPrefix)) fail("cannot read", file);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 4) {
        std::fputs("usage: import_floor IMAGE NEW_PREFIX FOLDER\n", stderr);
        return 2;
    }
    static unsigned char before[kPrefix], after[kPrefix];
    const int image = open(argv[1], O_RDWR | O_CLOEXEC);
    if (image < 0) fail("cannot open", argv[1]);
    readWhole(image, before, argv[1]);
    const int source = open(argv[2], O_RDONLY | O_CLOEXEC);
    if (source < 0) fail("cannot open", argv[2]);
    readWhole(source, after, argv[2]);
    close(source);

    const int record = open(argv[3], O_TMPFILE | O_WRONLY | O_CLOEXEC, 0666);
    if (record < 0) fail("cannot make a file in", argv[3]);
    const iovec pieces[] = {{before, kPrefix}, {after, kPrefix}};
    if (pwritev(record, pieces, 2, 0) != static_cast<ssize_t>(2 * kPrefix)) fail("cannot write in", argv[3]);
    if (fsync(record) != 0) fail("cannot flush a file in", argv[3]);
    timespec now{};
    clock_gettime(CLOCK_REALTIME, &now);
    char self[64], name[4096];
    std::snprintf(self, sizeof self, "/proc/self/fd/%d", record);
    std::snprintf(name, sizeof name, "%s/%lld-%09ld.record", argv[3], static_cast<long long>(now.tv_sec), now.tv_nsec);
    if (linkat(AT_FDCWD, self, AT_FDCWD, name, AT_SYMLINK_FOLLOW) != 0) fail("cannot link", name);
    close(record);
    const int folder = open(argv[3], O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (folder < 0 || fsync(folder) != 0) fail("cannot flush", argv[3]);
    close(folder);

    if (pwrite(image, after, kPrefix, 0) != static_cast<ssize_t>(kPrefix)) fail("cannot write", argv[1]);
    if (fsync(image) != 0) fail("cannot flush", argv[1]);
    if (close(image) != 0) fail("cannot close", argv[1]);
    return 0;
}
