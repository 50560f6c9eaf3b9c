#include "platform/midi/alsa/AlsaWatcher.h"

#include <alsa/asoundlib.h>
#include <fcntl.h>
#include <poll.h>
#include <pthread.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <string>
#include <vector>

#include "platform/midi/MidiMessage.h"

namespace clavora {

namespace {

constexpr const char* kClientName = "Clavora device";
constexpr const char* kPortName = "device 0";

snd_seq_t* Seq(void* seq) { return static_cast<snd_seq_t*>(seq); }

// The packed short message of a sequencer event; nothing for events that are none.
bool PackEvent(const snd_seq_event_t& ev, uint32_t& msg) {
    const auto& c = ev.data.control;
    const auto& n = ev.data.note;
    auto pack = [&](uint32_t status, uint32_t d1, uint32_t d2) {
        msg = (status & 0xFF) | (d1 & 0x7F) << 8 | (d2 & 0x7F) << 16;
        return true;
    };
    switch (ev.type) {
    case SND_SEQ_EVENT_NOTEON: return pack(0x90u | n.channel, n.note, n.velocity);
    case SND_SEQ_EVENT_NOTEOFF: return pack(0x80u | n.channel, n.note, n.velocity);
    case SND_SEQ_EVENT_KEYPRESS: return pack(0xA0u | n.channel, n.note, n.velocity);
    case SND_SEQ_EVENT_CONTROLLER: return pack(0xB0u | c.channel, c.param, static_cast<uint32_t>(c.value));
    case SND_SEQ_EVENT_PGMCHANGE: return pack(0xC0u | c.channel, static_cast<uint32_t>(c.value), 0);
    case SND_SEQ_EVENT_CHANPRESS: return pack(0xD0u | c.channel, static_cast<uint32_t>(c.value), 0);
    case SND_SEQ_EVENT_PITCHBEND: {
        const auto bend = static_cast<uint32_t>(c.value + 8192);
        return pack(0xE0u | c.channel, bend, bend >> 7);
    }
    default: return false;
    }
}

}  // namespace

// As MIDI input ports are named elsewhere: "client name:port name client:port".
std::string AlsaWatcher::Port::FullName() const {
    return clientName + ":" + portName + " " + std::to_string(client) + ":" + std::to_string(port);
}

// A source that can be connected to: what a keyboard or a sending program offers.
bool AlsaWatcher::Port::IsSource() const {
    constexpr unsigned kRead = SND_SEQ_PORT_CAP_READ | SND_SEQ_PORT_CAP_SUBS_READ;
    constexpr unsigned kKinds = SND_SEQ_PORT_TYPE_MIDI_GENERIC | SND_SEQ_PORT_TYPE_SYNTH | SND_SEQ_PORT_TYPE_APPLICATION;
    return (caps & kRead) == kRead && (caps & SND_SEQ_PORT_CAP_NO_EXPORT) == 0 && (type & kKinds) != 0;
}

// Every port of every client.
std::vector<AlsaWatcher::Port> AlsaWatcher::ListPorts() {
    std::vector<Port> ports;
    snd_seq_t* seq = Seq(m_seq);
    snd_seq_client_info_t* client;
    snd_seq_port_info_t* port;
    snd_seq_client_info_alloca(&client);
    snd_seq_port_info_alloca(&port);
    snd_seq_client_info_set_client(client, -1);
    while (snd_seq_query_next_client(seq, client) >= 0) {
        const int c = snd_seq_client_info_get_client(client);
        snd_seq_port_info_set_client(port, c);
        snd_seq_port_info_set_port(port, -1);
        while (snd_seq_query_next_port(seq, port) >= 0) {
            ports.push_back(Port{c, snd_seq_port_info_get_port(port), snd_seq_client_info_get_name(client),
                                 snd_seq_port_info_get_name(port), snd_seq_port_info_get_capability(port),
                                 snd_seq_port_info_get_type(port), snd_seq_client_info_get_pid(client)});
        }
    }
    return ports;
}

bool AlsaWatcher::Open(MidiSink* sink, const char* ownClient) {
    if (m_seq) return true;
    snd_seq_t* seq = nullptr;
    if (snd_seq_open(&seq, "default", SND_SEQ_OPEN_INPUT, SND_SEQ_NONBLOCK) < 0) return false;
    snd_seq_set_client_name(seq, kClientName);
    // Only we connect anything to this port: without SND_SEQ_PORT_CAP_SUBS_WRITE it
    // takes no connections from others, but is listed with its connections, so that
    // "aconnect -l" shows what device 0 is.
    m_port = snd_seq_create_simple_port(seq, kPortName, SND_SEQ_PORT_CAP_WRITE,
                                        SND_SEQ_PORT_TYPE_MIDI_GENERIC | SND_SEQ_PORT_TYPE_APPLICATION);
    if (m_port < 0 ||
        snd_seq_connect_from(seq, m_port, SND_SEQ_CLIENT_SYSTEM, SND_SEQ_PORT_SYSTEM_ANNOUNCE) < 0 ||
        pipe2(m_quitPipe, O_CLOEXEC) != 0) {
        snd_seq_close(seq);
        m_port = -1;
        return false;
    }
    m_seq = seq;
    m_sink = sink;
    m_ownClient = ownClient;
    Look();
    m_thread = std::thread(&AlsaWatcher::Run, this);
    pthread_setname_np(m_thread.native_handle(), "midi-alsa");
    return true;
}

void AlsaWatcher::Close() {
    if (!m_seq) return;
    if (m_thread.joinable()) {
        const char quit = 'q';
        (void)!write(m_quitPipe[1], &quit, 1);
        m_thread.join();
    }
    snd_seq_close(Seq(m_seq));
    m_seq = nullptr;
    for (int& fd : m_quitPipe) {
        if (fd >= 0) close(fd);
        fd = -1;
    }
}

// The watcher's thread: sleeps until the sequencer has something for us or Close.
void AlsaWatcher::Run() {
    const int count = snd_seq_poll_descriptors_count(Seq(m_seq), POLLIN);
    std::vector<pollfd> fds(static_cast<size_t>(count) + 1);
    snd_seq_poll_descriptors(Seq(m_seq), fds.data() + 1, static_cast<unsigned>(count), POLLIN);
    fds[0] = pollfd{m_quitPipe[0], POLLIN, 0};
    for (;;) {
        ReadEvents();
        if (poll(fds.data(), fds.size(), -1) < 0 && errno != EINTR) return;
        if (fds[0].revents) return;
    }
}

// Everything waiting, in the order the sequencer delivered it.
void AlsaWatcher::ReadEvents() {
    for (;;) {
        snd_seq_event_t* ev = nullptr;
        const int got = snd_seq_event_input(Seq(m_seq), &ev);
        if (got == -ENOSPC) {
            // The sequencer's pool for us ran over: messages are lost, releases perhaps.
            m_sink->Overflow();
            continue;
        }
        if (got < 0 || !ev) return;
        const Addr from{ev->source.client, ev->source.port};
        if (from == Addr{SND_SEQ_CLIENT_SYSTEM, SND_SEQ_PORT_SYSTEM_ANNOUNCE}) {
            bool lost = false;
            if (ev->type == SND_SEQ_EVENT_PORT_EXIT)
                lost = Addr{ev->data.addr.client, ev->data.addr.port} == m_device;
            else if (ev->type == SND_SEQ_EVENT_CLIENT_EXIT)
                lost = ev->data.addr.client == m_device.client;
            else if (ev->type == SND_SEQ_EVENT_PORT_UNSUBSCRIBED)
                // Our connection to it was cut (by hand, or by the port's going).
                lost = Addr{ev->data.connect.sender.client, ev->data.connect.sender.port} == m_device &&
                       Addr{ev->data.connect.dest.client, ev->data.connect.dest.port} ==
                           Addr{snd_seq_client_id(Seq(m_seq)), m_port};
            if (lost && m_device.client >= 0) Let(false);
            Look();
            continue;
        }
        uint32_t msg = 0;
        if (from == m_device && PackEvent(*ev, msg)) m_sink->DeviceMessage(msg);
    }
}

// The sources connected to our own port for any source: the port named ownClient of the
// client named so, of this process where the sequencer says which process a client is.
std::vector<AlsaWatcher::Addr> AlsaWatcher::ConnectedByHand(const std::vector<Port>& ports) {
    std::vector<Addr> sources;
    const int pid = static_cast<int>(getpid());
    snd_seq_query_subscribe_t* query;
    snd_seq_query_subscribe_alloca(&query);
    for (const Port& p : ports) {
        if (p.clientName != m_ownClient || p.portName != m_ownClient || (p.pid > 0 && p.pid != pid)) continue;
        snd_seq_addr_t root{static_cast<unsigned char>(p.client), static_cast<unsigned char>(p.port)};
        snd_seq_query_subscribe_set_root(query, &root);
        snd_seq_query_subscribe_set_type(query, SND_SEQ_QUERY_SUBS_WRITE);
        snd_seq_query_subscribe_set_index(query, 0);
        while (snd_seq_query_port_subscribers(Seq(m_seq), query) >= 0) {
            const snd_seq_addr_t* a = snd_seq_query_subscribe_get_addr(query);
            sources.push_back(Addr{a->client, a->port});
            snd_seq_query_subscribe_set_index(query, snd_seq_query_subscribe_get_index(query) + 1);
        }
    }
    return sources;
}

// Keeps device 0 as the rule says: let go when it has been connected by hand to our
// own port, taken when there is none and a source qualifies.
void AlsaWatcher::Look() {
    const std::vector<Port> ports = ListPorts();
    const std::vector<Addr> byHand = ConnectedByHand(ports);
    auto isByHand = [&](const Addr& a) { return std::find(byHand.begin(), byHand.end(), a) != byHand.end(); };
    if (m_device.client >= 0 && isByHand(m_device)) {
        snd_seq_disconnect_from(Seq(m_seq), m_port, m_device.client, m_device.port);
        Let(true);
    }
    if (m_device.client >= 0) return;
    std::vector<std::string> names;
    std::vector<Addr> addrs;
    std::vector<std::string> byHandNames;
    for (const Port& p : ports) {
        if (!p.IsSource()) continue;
        names.push_back(p.FullName());
        addrs.push_back(Addr{p.client, p.port});
        if (isByHand(addrs.back())) byHandNames.push_back(names.back());
    }
    const int index = ChooseMidiInPort(names, m_ownClient, byHandNames);
    if (index >= 0) Take(addrs[static_cast<size_t>(index)]);
}

bool AlsaWatcher::Take(const Addr& addr) {
    // Connected by address: what is connected is the port listed, or, if that went and
    // another came at its address meanwhile, the newcomer, whose coming is announced
    // behind the going. Already connected (the same port, taken again after a notice
    // of the one before it) is connected.
    const int err = snd_seq_connect_from(Seq(m_seq), m_port, addr.client, addr.port);
    if (err < 0 && err != -EBUSY) return false;
    m_device = addr;
    m_sink->DeviceTaken();
    return true;
}

void AlsaWatcher::Let(bool handedOver) {
    m_device = Addr{};
    m_sink->DeviceGone(handedOver);
}

}  // namespace clavora
