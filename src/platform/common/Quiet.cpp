#include "platform/common/Quiet.h"

#include <dlfcn.h>

namespace clavora {

namespace {

// ALSA and JACK come in with RtMidi and MIDI input. They are reached by name at run time, so that the
// program neither needs their headers nor breaks where one of them is absent.
using AlsaErrorHandler = void (*)(const char*, int, const char*, int, const char*, ...);
using AlsaSetHandler = int (*)(AlsaErrorHandler);
using JackMessageFn = void (*)(const char*);
using JackSetFn = void (*)(JackMessageFn);

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

}  // namespace clavora
