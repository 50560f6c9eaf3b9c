// The JACK server as the watching thread of MIDI input sees it, through a client of our
// own that has no ports and no process callback (so it takes no part in the server's
// cycles): the connections a user made by hand to one of our ports, and a notice
// whenever any port comes or goes.
// JACK is reached by name at run time, as the rest of the program does (it comes in
// with RtMidi), so that the program neither needs its headers nor breaks without it.
#pragma once

#include <string>
#include <vector>

namespace clavora {

class JackLinks {
public:
    JackLinks() = default;
    ~JackLinks() { Close(); }
    JackLinks(const JackLinks&) = delete;
    JackLinks& operator=(const JackLinks&) = delete;

    // The full names of the ports connected to port (e.g. "Clavora:Clavora"); empty
    // when there are none, or no JACK server.
    std::vector<std::string> ConnectedTo(const char* port);

    // Calls changed(arg), on a thread of JACK's that is not its real-time one, each
    // time a port is registered or unregistered, or a connection made or cut. False
    // when that cannot be had.
    bool NotifyPortChanges(void (*changed)(void*), void* arg);

    // Closes our client: no notice comes after it.
    void Close();

private:
    bool Connect();

    void* m_client = nullptr;
    bool m_tried = false;
    void (*m_changed)(void*) = nullptr;
    void* m_changedArg = nullptr;
};

}  // namespace clavora
