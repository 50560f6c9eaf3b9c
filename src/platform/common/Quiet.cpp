#include "platform/common/Quiet.h"

#include <dlfcn.h>

namespace clavora {

namespace {

// ALSA and JACK come in with RtMidi. They are reached by name at run time, so that the
// program neither needs their headers nor breaks where one of them is absent.
using AlsaErrorHandler = void (*)(const char*, int, const char*, int, const char*, ...);
using AlsaSetHandler = int (*)(AlsaErrorHandler);
using JackMessageFn = void (*)(const char*);
using JackSetFn = void (*)(JackMessageFn);
using JackOpenFn = void* (*)(const char*, int, int*, ...);
using JackCloseFn = int (*)(void*);

void AlsaSilent(const char*, int, const char*, int, const char*, ...) {}
void JackSilent(const char*) {}

template <class Fn>
Fn Lookup(const char* name) {
    return reinterpret_cast<Fn>(dlsym(RTLD_DEFAULT, name));
}

}  // namespace

void SilenceLibraries() {
    if (auto set = Lookup<AlsaSetHandler>("snd_lib_error_set_handler")) set(&AlsaSilent);
    if (auto set = Lookup<JackSetFn>("jack_set_error_function")) set(&JackSilent);
    if (auto set = Lookup<JackSetFn>("jack_set_info_function")) set(&JackSilent);
}

bool JackServerRunning() {
    auto open = Lookup<JackOpenFn>("jack_client_open");
    auto close = Lookup<JackCloseFn>("jack_client_close");
    if (!open || !close) return false;
    constexpr int kNoStartServer = 0x01;
    int status = 0;
    void* client = open("Clavora probe", kNoStartServer, &status);
    if (!client) return false;
    close(client);
    return true;
}

}  // namespace clavora
