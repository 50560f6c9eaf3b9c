// A private working directory for a fuzz target: made when the target starts (in
// /dev/shm when there is one, so that the files written for every input cost no disk
// writes), emptied before every input, removed when the target ends. The target works
// in it only while it handles an input (InWorkDir), so that the fuzzer's own relative
// paths (the corpus, the inputs it saves) keep their meaning.
#pragma once

#include <dirent.h>
#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace clavora::fuzz {

inline std::string& WorkDir() {
    static std::string dir;
    return dir;
}

// Removes every file in the working directory (it never holds directories).
inline void EmptyWorkDir() {
    DIR* d = opendir(".");
    if (!d) return;
    while (dirent* e = readdir(d)) {
        if (std::strcmp(e->d_name, ".") != 0 && std::strcmp(e->d_name, "..") != 0) unlink(e->d_name);
    }
    closedir(d);
}

// A temporary file of a write (NAME.XXXXXX.tmp) is left in the working directory.
inline bool TemporaryFileLeft() {
    DIR* d = opendir(".");
    if (!d) return false;
    bool left = false;
    while (dirent* e = readdir(d)) {
        const size_t n = std::strlen(e->d_name);
        left = left || (n > 11 && std::strcmp(e->d_name + n - 4, ".tmp") == 0 && e->d_name[n - 11] == '.');
    }
    closedir(d);
    return left;
}

inline void MakeWorkDir() {
    const char* base = access("/dev/shm", W_OK) == 0 ? "/dev/shm" : std::getenv("TMPDIR");
    std::string tmpl = std::string(base ? base : "/tmp") + "/clavora-fuzz-XXXXXX";
    if (!mkdtemp(tmpl.data())) {
        std::perror("clavora fuzz: working directory");
        std::abort();
    }
    WorkDir() = tmpl;
    std::atexit([] {
        const int back = open(".", O_RDONLY | O_DIRECTORY);
        if (chdir(WorkDir().c_str()) == 0) EmptyWorkDir();
        if (back >= 0 && fchdir(back) == 0) rmdir(WorkDir().c_str());
    });
}

// The working directory for the life of the object; then back where the fuzzer was.
class InWorkDir {
public:
    InWorkDir() : back_(open(".", O_RDONLY | O_DIRECTORY)) {
        if (back_ < 0 || chdir(WorkDir().c_str()) != 0) {
            std::perror("clavora fuzz: working directory");
            std::abort();
        }
    }
    ~InWorkDir() {
        if (fchdir(back_) != 0) std::perror("clavora fuzz: back from the working directory");
        close(back_);
    }
    InWorkDir(const InWorkDir&) = delete;
    InWorkDir& operator=(const InWorkDir&) = delete;

private:
    int back_;
};

// Writes bytes to a file of the working directory, or stops the run.
inline void PutFile(const char* name, const uint8_t* data, size_t size) {
    std::FILE* f = std::fopen(name, "wb");
    if (!f || (size > 0 && std::fwrite(data, 1, size, f) != size) || std::fclose(f) != 0) {
        std::perror(name);
        std::abort();
    }
}

// The whole of a file of the working directory; false when it cannot be read.
inline bool GetFile(const char* name, std::string& bytes) {
    std::FILE* f = std::fopen(name, "rb");
    if (!f) return false;
    bytes.clear();
    char buf[4096];
    size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, f)) > 0) bytes.append(buf, n);
    std::fclose(f);
    return true;
}

// Reports a broken rule and stops, as a crash would (the fuzzer then keeps the input),
// leaving no working directory behind.
[[noreturn]] inline void Broken(const char* what) {
    std::fprintf(stderr, "clavora fuzz: %s\n", what);
    if (chdir(WorkDir().c_str()) == 0) EmptyWorkDir();
    rmdir(WorkDir().c_str());
    std::abort();
}

}  // namespace clavora::fuzz
