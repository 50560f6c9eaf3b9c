#include "app/FileIo.h"

#include <fcntl.h>
#include <limits.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

namespace clavora {

namespace {

WriteFaultHook g_writeFault = nullptr;
const char* g_programName = "clavora";

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

}  // namespace

void SetWriteFaultHook(WriteFaultHook hook) { g_writeFault = hook; }

void SetProgramName(const char* name) { g_programName = name; }

bool WriteFileAtomic(const char* name, const void* data, size_t size) {
    char temp[PATH_MAX];
    // A name too long for its temporary file's name is refused rather than cut short:
    // a cut name would write, and rename, some other file.
    const int length = std::snprintf(temp, sizeof temp, "%s.tmp", name);
    if (length < 0 || static_cast<size_t>(length) >= sizeof temp) {
        std::fprintf(stderr, "%s: cannot write %s: %s\n", g_programName, name, std::strerror(ENAMETOOLONG));
        return false;
    }
    const int fd = ::open(temp, O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0) {
        std::fprintf(stderr, "%s: cannot write %s: %s\n", g_programName, name, std::strerror(errno));
        return false;
    }
    const auto* bytes = static_cast<const unsigned char*>(data);
    bool ok;
    int err = 0;
    if (g_writeFault && g_writeFault(name)) {
        // A simulated full disk: half the file reaches the temporary file.
        WriteAll(fd, bytes, size / 2);
        ok = false;
        err = ENOSPC;
    } else {
        ok = WriteAll(fd, bytes, size) && ::fsync(fd) == 0;
        if (!ok) err = errno;
    }
    if (::close(fd) != 0 && ok) {
        ok = false;
        err = errno;
    }
    if (ok && ::rename(temp, name) != 0) {
        ok = false;
        err = errno;
    }
    if (!ok) {
        ::unlink(temp);
        std::fprintf(stderr, "%s: cannot write %s: %s\n", g_programName, name, std::strerror(err));
    }
    return ok;
}

}  // namespace clavora
