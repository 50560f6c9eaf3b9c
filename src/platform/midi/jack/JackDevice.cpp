// Device 0 on JACK: found by looking at the ports, connected to our "device 0" port,
// and let go when its port or our connection to it has gone, or when the user has
// connected it to our own port as well. Our ports are known by the names the server
// gave them, so a second instance beside the first keeps its own device 0.
#include <jack/jack.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>

#include "platform/midi/MidiMessage.h"
#include "platform/midi/jack/JackSource.h"

namespace clavora {

namespace {

bool Contains(const std::vector<std::string>& names, const std::string& name) {
    return std::find(names.begin(), names.end(), name) != names.end();
}

// Takes the server's list of names, and gives it back.
std::vector<std::string> TakeNames(const char** list) {
    std::vector<std::string> names;
    if (!list) return names;
    for (const char** p = list; *p; ++p) names.emplace_back(*p);
    jack_free(static_cast<void*>(list));
    return names;
}

}  // namespace

// Every MIDI port that sends, in the server's order.
std::vector<std::string> JackSource::SourcePorts() const {
    return TakeNames(jack_get_ports(m_client, nullptr, JACK_DEFAULT_MIDI_TYPE, JackPortIsOutput));
}

std::vector<std::string> JackSource::Connections(jack_port_t* port) const {
    if (!m_client || !port) return {};
    return TakeNames(jack_port_get_all_connections(m_client, port));
}

void JackSource::LookAtPorts() {
    const std::vector<std::string> names = SourcePorts();
    if (!m_taken.empty()) {
        bool there = Contains(names, m_taken);
        // A port that went and came back under its name between two looks took our
        // connection with it: device 0 is the port our connection leads to. Not seeing
        // the connection just after it was made is no sign.
        const bool linked = Contains(Connections(m_devicePort), m_taken);
        if (linked)
            m_linked = true;
        else if (m_linked || Clock::now() - m_takenAt > kLinkGrace)
            there = false;
        // A device 0 connected by hand to our own port as well would sound each of its
        // notes twice.
        const bool byHand = Contains(Connections(m_ownPort), m_taken);
        if (there && !byHand) return;
        LetDeviceGo(byHand, linked);
    }
    TakeDevice(names);
}

void JackSource::TakeDevice(const std::vector<std::string>& names) {
    const int index = ChooseMidiInPort(names, m_clientName, Connections(m_ownPort));
    if (index < 0) return;
    const std::string& name = names[static_cast<size_t>(index)];
    const int err = jack_connect(m_client, name.c_str(), m_deviceName.c_str());
    // Already connected (by an earlier look whose connection we had not seen) is
    // connected; any other failure leaves device 0 to the next look.
    if (err != 0 && err != EEXIST) return;
    m_taken = name;
    m_takenAt = Clock::now();
    m_linked = false;
    m_forward.store(true, std::memory_order_release);
    m_sink->DeviceTaken();
}

// Device 0's messages stop going to the sink, and once the cycle under way (the only
// one that can have seen them still going) has finished, the notice follows: it comes
// after the last of them. A connection that is still there is cut.
void JackSource::LetDeviceGo(bool handedOver, bool linked) {
    m_forward.store(false, std::memory_order_seq_cst);
    WaitCycles(1);
    // A connection cut by hand meanwhile is not there to cut: what is left, if anything,
    // the next look sees.
    if (linked && jack_disconnect(m_client, m_taken.c_str(), m_deviceName.c_str()) != 0) m_linked = false;
    m_taken.clear();
    m_sink->DeviceGone(handedOver);
}

// The sources the user had connected to our own port, connected again.
void JackSource::Relink(const std::vector<std::string>& sources) {
    for (const std::string& source : sources) {
        const int err = jack_connect(m_client, source.c_str(), m_ownName.c_str());
        if (err != 0 && err != EEXIST)
            std::fprintf(stderr, "clavora: cannot connect %s to %s again (%d)\n", source.c_str(), m_ownName.c_str(), err);
    }
}

}  // namespace clavora
