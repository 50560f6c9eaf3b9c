#include "platform/sdl/JackLinks.h"

#include <dlfcn.h>

namespace clavora {

namespace {

using OpenFn = void* (*)(const char*, int, int*, ...);
using CloseFn = int (*)(void*);
using PortByNameFn = void* (*)(void*, const char*);
using ConnectionsFn = const char** (*)(const void*, const void*);
using FreeFn = void (*)(void*);

template <class Fn>
Fn Lookup(const char* name) {
    return reinterpret_cast<Fn>(dlsym(RTLD_DEFAULT, name));
}

}  // namespace

JackLinks::~JackLinks() {
    if (!m_client) return;
    if (auto close = Lookup<CloseFn>("jack_client_close")) close(m_client);
}

std::vector<std::string> JackLinks::ConnectedTo(const char* port) {
    std::vector<std::string> names;
    auto byName = Lookup<PortByNameFn>("jack_port_by_name");
    auto connections = Lookup<ConnectionsFn>("jack_port_get_all_connections");
    auto release = Lookup<FreeFn>("jack_free");
    if (!byName || !connections || !release) return names;
    if (!m_client && !m_tried) {
        // Opened once: a client costs the server a round of messages, a look at the
        // graph afterwards only a read of its shared memory.
        m_tried = true;
        auto open = Lookup<OpenFn>("jack_client_open");
        constexpr int kNoStartServer = 0x01;
        int status = 0;
        if (open) m_client = open("Clavora links", kNoStartServer, &status);
    }
    if (!m_client) return names;
    void* own = byName(m_client, port);
    if (!own) return names;
    const char** linked = connections(m_client, own);
    if (!linked) return names;
    for (const char** p = linked; *p; ++p) names.emplace_back(*p);
    release(static_cast<void*>(linked));
    return names;
}

}  // namespace clavora
