#include "app/FileIo.h"

#include "app/TempFiles.h"

#include <fcntl.h>
#include <limits.h>
#include <sys/stat.h>
#include <sys/uio.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

namespace clavora {

namespace {

WriteFaultHook g_writeFault = nullptr;
const char* g_programName = "clavora";
// Links followed before a name is taken as a loop, as the kernel counts them.
constexpr int kMaxLinks = 40;

void Report(const char* name, int err) {
    std::fprintf(stderr, "%s: cannot write %s: %s\n", g_programName, name, std::strerror(err));
}

bool WriteAll(int fd, const unsigned char* p, size_t size) {
    while (size > 0) {
        const ssize_t n = ::write(fd, p, size);
        if (n < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        p += n;
        size -= static_cast<size_t>(n);
    }
    return true;
}


// Flushes the directory that holds path, so that a rename or a new name in it is on disk.
int SyncDirectoryOf(const char* path) {
    char dir[PATH_MAX];
    if (!DirectoryOf(path, dir)) return ENAMETOOLONG;
    const int fd = ::open(dir, O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return errno;
    const int err = ::fsync(fd) == 0 ? 0 : errno;
    ::close(fd);
    return err;
}

// The file a name finally stands for: its symbolic links followed to their target,
// which need not exist yet. Returns 0 or an errno value.
int ResolveLinks(const char* name, char (&path)[PATH_MAX]) {
    if (std::snprintf(path, sizeof path, "%s", name) >= static_cast<int>(sizeof path))
        return ENAMETOOLONG;
    for (int n = 0; n < kMaxLinks; ++n) {
        struct stat st;
        if (::lstat(path, &st) != 0 || !S_ISLNK(st.st_mode)) return 0;
        char target[PATH_MAX];
        const ssize_t length = ::readlink(path, target, sizeof target - 1);
        if (length < 0) return errno;
        target[length] = '\0';
        if (target[0] == '/') {
            std::memcpy(path, target, static_cast<size_t>(length) + 1);
            continue;
        }
        // A relative target is relative to the link's own directory.
        char dir[PATH_MAX];
        if (!DirectoryOf(path, dir)) return ENAMETOOLONG;
        char joined[PATH_MAX];
        const int written = std::strchr(path, '/')
                                ? std::snprintf(joined, sizeof joined, "%s/%s", dir, target)
                                : std::snprintf(joined, sizeof joined, "%s", target);
        if (written < 0 || written >= static_cast<int>(sizeof joined)) return ENAMETOOLONG;
        std::memcpy(path, joined, static_cast<size_t>(written) + 1);
    }
    return ELOOP;
}

// True when the regular file at path holds exactly size bytes equal to data.
bool HoldsExactly(const char* path, const struct stat& st, const unsigned char* data, size_t size) {
    if (!S_ISREG(st.st_mode) || static_cast<size_t>(st.st_size) != size) return false;
    const int fd = ::open(path, O_RDONLY | O_CLOEXEC);
    if (fd < 0) return false;
    unsigned char chunk[4096];
    size_t at = 0;
    bool same = true;
    while (same) {
        const ssize_t n = ::read(fd, chunk, sizeof chunk);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        same = at + static_cast<size_t>(n) <= size && std::memcmp(chunk, data + at, static_cast<size_t>(n)) == 0;
        at += static_cast<size_t>(n);
    }
    ::close(fd);
    return same && at == size;
}

}  // namespace

void SetWriteFaultHook(WriteFaultHook hook) { g_writeFault = hook; }

void SetProgramName(const char* name) { g_programName = name; }

bool WriteFileAtomic(const char* name, const void* data, size_t size) {
    const auto* bytes = static_cast<const unsigned char*>(data);
    // A link is written through: its target is replaced, and the link stays a link.
    char path[PATH_MAX];
    if (const int err = ResolveLinks(name, path); err != 0) {
        Report(name, err);
        return false;
    }
    RemoveStaleTemporaries(path);
    struct stat old;
    const bool existed = ::stat(path, &old) == 0;
    if (existed && HoldsExactly(path, old, bytes, size)) return true;

    // A temporary file of this writer's own: two writers at once (the program and
    // clavora-midi, say) each rename a whole file of theirs, and the last one stands.
    char temp[PATH_MAX];
    const int fd = CreateTemporary(path, temp);
    if (fd < 0) {
        Report(name, errno);
        return false;
    }
    bool ok = true;
    int err = 0;
    // The new file gets the old one's permissions: an export over a private file stays private.
    if (existed && ::fchmod(fd, old.st_mode & 07777) != 0) {
        ok = false;
        err = errno;
    }
    if (ok && g_writeFault && g_writeFault(name)) {
        // A simulated full disk: half the file reaches the temporary file.
        WriteAll(fd, bytes, size / 2);
        ok = false;
        err = ENOSPC;
    } else if (ok) {
        ok = WriteAll(fd, bytes, size) && ::fsync(fd) == 0;
        if (!ok) err = errno;
    }
    // Renamed while its lock is still held, so that no cleaner takes it for a stale one.
    if (ok && ::rename(temp, path) != 0) {
        ok = false;
        err = errno;
    }
    if (::close(fd) != 0 && ok) {
        ok = false;
        err = errno;
    }
    if (!ok) {
        ::unlink(temp);
        Report(name, err);
        return false;
    }
    // Without this a power cut soon after can bring the old file back.
    if (const int syncErr = SyncDirectoryOf(path); syncErr != 0) {
        Report(name, syncErr);
        return false;
    }
    return true;
}

bool AppendFileDurable(const char* name, const char* head, size_t headSize, const void* data,
                       size_t size) {
    bool created = false;
    int fd = ::open(name, O_WRONLY | O_APPEND | O_CLOEXEC);
    if (fd < 0 && errno == ENOENT) {
        fd = ::open(name, O_WRONLY | O_APPEND | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
        created = fd >= 0;
        // Another writer made it first: append to theirs.
        if (fd < 0 && errno == EEXIST) fd = ::open(name, O_WRONLY | O_APPEND | O_CLOEXEC);
    }
    if (fd < 0) {
        Report(name, errno);
        return false;
    }
    struct stat st;
    if (::fstat(fd, &st) != 0) {
        const int err = errno;
        ::close(fd);
        Report(name, err);
        return false;
    }
    static const char kLineEnd = '\n';
    bool tornEnd = false;
    if (st.st_size > 0) {
        // pread needs read access: a file opened for appending only is read by name.
        const int rfd = ::open(name, O_RDONLY | O_CLOEXEC);
        char last = '\n';
        if (rfd >= 0) {
            if (::pread(rfd, &last, 1, st.st_size - 1) != 1) last = '\n';
            ::close(rfd);
        }
        tornEnd = last != '\n';
    }
    iovec parts[3];
    int count = 0;
    if (tornEnd) parts[count++] = {const_cast<char*>(&kLineEnd), 1};
    if (st.st_size == 0 && headSize > 0) parts[count++] = {const_cast<char*>(head), headSize};
    parts[count++] = {const_cast<void*>(data), size};
    size_t total = 0;
    for (int i = 0; i < count; ++i) total += parts[i].iov_len;

    int err = 0;
    // One write: a kill leaves the rows whole or not there at all.
    ssize_t n;
    do n = ::writev(fd, parts, count);
    while (n < 0 && errno == EINTR);
    if (n < 0)
        err = errno;
    else if (static_cast<size_t>(n) != total)
        err = ENOSPC;
    if (::close(fd) != 0 && err == 0) err = errno;
    if (err == 0 && created) err = SyncDirectoryOf(name);
    if (err != 0) {
        Report(name, err);
        return false;
    }
    return true;
}

}  // namespace clavora
