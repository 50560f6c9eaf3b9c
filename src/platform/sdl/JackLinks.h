// The connections a user made by hand to one of our JACK ports, read from the running
// JACK server through a client of our own that has no ports and never runs a cycle.
// JACK is reached by name at run time, as the rest of the program does (it comes in
// with RtMidi), so that the program neither needs its headers nor breaks without it.
#pragma once

#include <string>
#include <vector>

namespace clavora {

class JackLinks {
public:
    JackLinks() = default;
    ~JackLinks();
    JackLinks(const JackLinks&) = delete;
    JackLinks& operator=(const JackLinks&) = delete;

    // The full names of the ports connected to port (e.g. "Clavora:Clavora"); empty
    // when there are none, or no JACK server.
    std::vector<std::string> ConnectedTo(const char* port);

private:
    void* m_client = nullptr;
    bool m_tried = false;
};

}  // namespace clavora
