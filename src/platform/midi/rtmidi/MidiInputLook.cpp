// Device 0 found by looking at the ports: on JACK whenever the server says a port or a
// connection changed (and now and then in case a notice was lost), and on an ALSA
// sequencer that the watcher that is told cannot use, four times a second.
#include <rtmidi/RtMidi.h>

#include <algorithm>

#include "platform/midi/MidiMessage.h"
#include "platform/midi/rtmidi/MidiInput.h"
#include "platform/common/Timing.h"

namespace clavora {

namespace {

constexpr const char* kDeviceClientName = "Clavora device";
constexpr const char* kDeviceLinkName = "device 0";
// Our own ports by their full JACK names: the sources a user connected to the first,
// and what the second is connected to.
constexpr const char* kOwnJackPort = "Clavora:Clavora";
constexpr const char* kDeviceJackPort = "Clavora device:device 0";

bool Contains(const std::vector<std::string>& names, const std::string& name) {
    return std::find(names.begin(), names.end(), name) != names.end();
}

}  // namespace

// Makes device 0's input and takes device 0 if there is one now; true when the input
// could be made, with or without a device.
bool MidiInput::OpenDevicePort(int api) {
    try {
        m_failed.store(false);
        auto in = MakeInput(api, kDeviceClientName, m_failed);
        if (m_failed.load()) return false;
        in->setCallback(&MidiInput::OnDeviceMessage, this);
        m_device = std::move(in);
    } catch (const RtMidiError&) {
        return false;
    }
    m_api = api;
    LookAtPorts();
    return true;
}

// The watching thread: a look at the ports whenever they change or a period has gone
// by, until Close.
void MidiInput::Watch() {
    std::unique_lock<std::mutex> hold(m_watchMutex);
    for (;;) {
        m_watchWake.wait_for(hold, m_lookPeriod, [&] { return m_watchQuit || m_portsChanged; });
        if (m_watchQuit) return;
        m_portsChanged = false;
        hold.unlock();
        LookAtPorts();
        hold.lock();
    }
}

// On JACK's notification thread: never waits for more than the watcher's brief hold.
void MidiInput::PortsChanged(void* self) {
    auto* input = static_cast<MidiInput*>(self);
    {
        std::lock_guard<std::mutex> hold(input->m_watchMutex);
        input->m_portsChanged = true;
    }
    input->m_watchWake.notify_one();
}

void MidiInput::LookAtPorts() {
    std::vector<std::string> names;
    try {
        const unsigned count = m_device->getPortCount();
        for (unsigned i = 0; i < count; ++i) names.push_back(m_device->getPortName(i));
    } catch (const RtMidiError&) {
        return;
    }
    if (!m_deviceName.empty()) {
        bool there = Contains(names, m_deviceName);
        bool byHand = false;
        if (m_api == RtMidi::UNIX_JACK) {
            // A port that went and came back under its name between two looks took
            // our connection with it, and a port opened by its index in a list that
            // changed meanwhile is another one: device 0 is the port our connection
            // leads to. The server shows a new connection only a cycle or so after it
            // was made, so not seeing it just after is no sign.
            if (Contains(m_links.ConnectedTo(kDeviceJackPort), m_deviceName))
                m_deviceLinked = true;
            else if (m_deviceLinked || std::chrono::steady_clock::now() - m_deviceTakenAt > kLinkGrace)
                there = false;
            // A device 0 connected by hand to our own port as well would sound each of
            // its notes twice.
            byHand = Contains(m_links.ConnectedTo(kOwnJackPort), m_deviceName);
        }
        if (there && !byHand) return;
        LetDeviceGo(byHand);
    }
    TakeDevice(names);
}

bool MidiInput::TakeDevice(const std::vector<std::string>& names) {
    if (names.empty()) return false;
    std::vector<std::string> byHand;
    if (m_api == RtMidi::UNIX_JACK) byHand = m_links.ConnectedTo(kOwnJackPort);
    const int index = ChooseMidiInPort(names, kOwnClient, byHand);
    if (index < 0) return false;
    try {
        m_failed.store(false);
        m_device->openPort(static_cast<unsigned>(index), kDeviceLinkName);
        if (m_failed.load() || !m_device->isPortOpen()) {
            m_device->closePort();
            return false;
        }
    } catch (const RtMidiError&) {
        return false;
    }
    m_deviceName = names[static_cast<size_t>(index)];
    m_deviceTakenAt = std::chrono::steady_clock::now();
    m_deviceLinked = false;
    m_firstNoteMarked.store(false);
    TimingLog().Mark("midi-device-taken");
    return true;
}

// Device 0's port has gone, or plays through our own port now: no message of it
// arrives after closePort, so the notice queued then comes after the last of them.
void MidiInput::LetDeviceGo(bool handedOver) {
    try {
        m_device->closePort();
    } catch (const RtMidiError&) {
    }
    m_deviceName.clear();
    QueueNotice(handedOver ? kDeviceHandedOver : kDeviceGone);
}

}  // namespace clavora
