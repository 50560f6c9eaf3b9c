#include "app/TempFiles.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

namespace clavora {

// The directory part of path ("." for a bare name), into dir.
bool DirectoryOf(const char* path, char (&dir)[PATH_MAX]) {
    const char* slash = std::strrchr(path, '/');
    if (!slash) return std::snprintf(dir, sizeof dir, ".") > 0;
    const size_t length = slash == path ? 1 : static_cast<size_t>(slash - path);
    if (length >= sizeof dir) return false;
    std::memcpy(dir, path, length);
    dir[length] = '\0';
    return true;
}

namespace {

// True when name, in the directory of path, is one of path's temporary files.
bool IsTemporaryOf(const char* name, const char* base) {
    const size_t baseLength = std::strlen(base);
    return std::strncmp(name, base, baseLength) == 0 && name[baseLength] == '.' &&
           std::strlen(name) == baseLength + 11 && std::strcmp(name + baseLength + 7, ".tmp") == 0;
}

}  // namespace

// Makes a new, empty file beside path under a name no other writer holds: path, a dot,
// six random letters and digits, and ".tmp", as mkstemp does. Whatever is at a name
// already, a file or a link to anywhere, is never opened: another name is drawn.
// Returns the descriptor, or -1 with errno set; the name is left in temp.
int CreateTemporary(const char* path, char (&temp)[PATH_MAX]) {
    static const char kLetters[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
    static unsigned drawn = 0;
    for (int attempt = 0; attempt < 100; ++attempt) {
        unsigned char random[6];
        if (::getrandom(random, sizeof random, GRND_NONBLOCK) != static_cast<ssize_t>(sizeof random)) {
            // No entropy yet (early at boot): the clock, the process and a count still
            // tell this writer's names from another's, and O_EXCL does the rest.
            timespec now{};
            ::clock_gettime(CLOCK_MONOTONIC, &now);
            unsigned long long mix = static_cast<unsigned long long>(now.tv_nsec) ^
                                     static_cast<unsigned long long>(::getpid()) << 32 ^
                                     ++drawn * 0x9E3779B97F4A7C15ULL;
            for (unsigned char& c : random) {
                c = static_cast<unsigned char>(mix);
                mix = mix >> 8 | mix << 56;
            }
        }
        char suffix[7];
        for (int i = 0; i < 6; ++i) suffix[i] = kLetters[random[i] % (sizeof kLetters - 1)];
        suffix[6] = '\0';
        // A name too long for its temporary file's name is refused rather than cut short:
        // a cut name could be some other file's.
        const int length = std::snprintf(temp, sizeof temp, "%s.%s.tmp", path, suffix);
        if (length < 0 || static_cast<size_t>(length) >= sizeof temp) {
            errno = ENAMETOOLONG;
            return -1;
        }
        const int fd = ::open(temp, O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0644);
        if (fd < 0 && errno != EEXIST) return fd;
        if (fd < 0) continue;
        // The lock says the file is being written, until it is renamed; one that a
        // cleaner of stale files took away before the lock was taken is given up.
        struct stat st;
        if (::flock(fd, LOCK_EX) == 0 && ::fstat(fd, &st) == 0 && st.st_nlink > 0) return fd;
        ::close(fd);
    }
    errno = EEXIST;
    return -1;
}

// Removes the temporary files of path that a writer left when it was killed: those
// whose lock nobody holds. A writer at work holds its file's lock until it has renamed it.
void RemoveStaleTemporaries(const char* path) {
    char dir[PATH_MAX];
    if (!DirectoryOf(path, dir)) return;
    const char* slash = std::strrchr(path, '/');
    const char* base = slash ? slash + 1 : path;
    DIR* d = ::opendir(dir);
    if (!d) return;
    while (const dirent* entry = ::readdir(d)) {
        if (!IsTemporaryOf(entry->d_name, base)) continue;
        char temp[PATH_MAX];
        if (std::snprintf(temp, sizeof temp, "%s/%s", dir, entry->d_name) >= static_cast<int>(sizeof temp))
            continue;
        const int fd = ::open(temp, O_RDONLY | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK);
        if (fd < 0) continue;
        struct stat held, named;
        // Only the file that was locked is removed, should the name have changed hands.
        if (::flock(fd, LOCK_EX | LOCK_NB) == 0 && ::fstat(fd, &held) == 0 &&
            ::lstat(temp, &named) == 0 && held.st_dev == named.st_dev && held.st_ino == named.st_ino)
            ::unlink(temp);
        ::close(fd);
    }
    ::closedir(d);
}

}  // namespace clavora
