#include "platform/midi/jack/JackLinks.h"

#include <dlfcn.h>

#include <cstdint>

namespace clavora {

namespace {

using OpenFn = void* (*)(const char*, int, int*, ...);
using CloseFn = int (*)(void*);
using PortByNameFn = void* (*)(void*, const char*);
using ConnectionsFn = const char** (*)(const void*, const void*);
using FreeFn = void (*)(void*);
using RegistrationFn = void (*)(uint32_t, int, void*);
using SetRegistrationFn = int (*)(void*, RegistrationFn, void*);
using ConnectFn = void (*)(uint32_t, uint32_t, int, void*);
using SetConnectFn = int (*)(void*, ConnectFn, void*);
using ActivateFn = int (*)(void*);

template <class Fn>
Fn Lookup(const char* name) {
    return reinterpret_cast<Fn>(dlsym(RTLD_DEFAULT, name));
}

}  // namespace

void JackLinks::Close() {
    if (!m_client) return;
    if (auto close = Lookup<CloseFn>("jack_client_close")) close(m_client);
    m_client = nullptr;
    m_changed = nullptr;
}

bool JackLinks::Connect() {
    if (!m_client && !m_tried) {
        // Opened once: a client costs the server a round of messages.
        m_tried = true;
        auto open = Lookup<OpenFn>("jack_client_open");
        constexpr int kNoStartServer = 0x01;
        int status = 0;
        if (open) m_client = open("Clavora links", kNoStartServer, &status);
    }
    return m_client != nullptr;
}

std::vector<std::string> JackLinks::ConnectedTo(const char* port) {
    std::vector<std::string> names;
    auto byName = Lookup<PortByNameFn>("jack_port_by_name");
    auto connections = Lookup<ConnectionsFn>("jack_port_get_all_connections");
    auto release = Lookup<FreeFn>("jack_free");
    if (!byName || !connections || !release || !Connect()) return names;
    void* own = byName(m_client, port);
    if (!own) return names;
    const char** linked = connections(m_client, own);
    if (!linked) return names;
    for (const char** p = linked; *p; ++p) names.emplace_back(*p);
    release(static_cast<void*>(linked));
    return names;
}

bool JackLinks::NotifyPortChanges(void (*changed)(void*), void* arg) {
    auto setRegistration = Lookup<SetRegistrationFn>("jack_set_port_registration_callback");
    auto activate = Lookup<ActivateFn>("jack_activate");
    if (!setRegistration || !activate || m_changed || !Connect()) return false;
    m_changed = changed;
    m_changedArg = arg;
    auto onRegistration = [](uint32_t, int, void* self) {
        auto* links = static_cast<JackLinks*>(self);
        links->m_changed(links->m_changedArg);
    };
    auto onConnect = [](uint32_t, uint32_t, int, void* self) {
        auto* links = static_cast<JackLinks*>(self);
        links->m_changed(links->m_changedArg);
    };
    // Connections made or cut count too: a source connected by hand to our own port.
    // Without that notice the periodic look still finds it.
    if (auto setConnect = Lookup<SetConnectFn>("jack_set_port_connect_callback"))
        setConnect(m_client, onConnect, this);
    // Callbacks are set before the client is activated, and arrive only after.
    if (setRegistration(m_client, onRegistration, this) != 0 || activate(m_client) != 0) {
        m_changed = nullptr;
        return false;
    }
    return true;
}

}  // namespace clavora
