#pragma once

#include "midiin/MidiParser.h"

#include <jack/types.h>

#include <QString>
#include <QStringList>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

class RtMidiIn;
class RtMidiOut;

namespace mt {

class ClockTrain;
class JackMidiClient;
class MidiDispatcher;

// The MIDI system the ports live on. Auto: JACK when a server runs, else the ALSA sequencer.
enum class MidiSystem { Auto, Jack, Alsa };

// The program's MIDI ports, on JACK through clients of our own, on the ALSA sequencer through
// RtMidi: an input named "Marrowtune" that other programs and
// controllers connect to, an output of the same name for the pads' lights, and connections
// of its own to the source the performer chose (by name, made again whenever it reappears)
// and, unless turned off, to every hardware MIDI source present or plugged in later.
//
// A watcher thread of its own scans the sources every scan interval and makes and drops the
// connections, so no caller ever waits on the MIDI system. When a JACK server goes, it says so
// in message() and makes the ports again once a server answers. What arrives goes to the
// dispatcher on JACK's process thread or RtMidi's ALSA thread, each source with a parser of
// its own.
class MidiPorts {
public:
    static constexpr const char* kPortName = "Marrowtune";

    explicit MidiPorts(MidiDispatcher& dispatcher,
                       std::chrono::milliseconds scanInterval = std::chrono::milliseconds(500));
    ~MidiPorts();
    MidiPorts(const MidiPorts&) = delete;
    MidiPorts& operator=(const MidiPorts&) = delete;

    // UI thread. Opens the ports and starts watching; false when no MIDI system can be used,
    // with the reason in message(). Opening again first closes.
    bool open(MidiSystem system);
    // UI thread. Closes every port and stops the watcher; waits for both.
    void close();
    bool isOpen() const { return m_watcher.joinable(); }
    // UI thread. The system open() settled on (Jack or Alsa) while the ports are open.
    MidiSystem system() const { return m_system; }
    // The system in use ("JACK", "ALSA") or why none is: for the status line.
    QString message() const;

    // UI thread; applied by the watcher at once. An empty name chooses none.
    void setChosenSource(const QString& name);
    void setConnectHardware(bool connect);

    // Any thread: the sources seen at the last scan (ours left out) and those connected now.
    QStringList sources() const;
    QStringList connectedSources() const;

    // Any thread; the senders take turns on the output's lock, held for the write only. Sends
    // one message on the output port; nothing when it is not open.
    void send(const std::uint8_t* bytes, std::size_t size);
    // UI thread. On JACK, the output port also sends this MIDI clock, each message at its own
    // frame, from now on and on every output made again when a server returns; null for none.
    // Returns once no cycle reads the one it replaces.
    void setClock(ClockTrain* train);

    // Whether a source's name is that of a hardware device, on the given system: ALSA kernel
    // clients (16..127) but the MIDI through port; JACK's system capture ports and the
    // ALSA bridges' (a2j, PipeWire's Midi-Bridge) but their through ports.
    static bool isHardware(MidiSystem system, const QString& name);
    // A source's name without what changes between machines and plug-ins (ALSA's client
    // numbers), as it is remembered and compared.
    static QString stableName(const QString& name);

private:
    struct Source;

    // Makes our input and output ports on m_system, and on JACK the client that hears of the
    // server's end; false, all closed, the reason in message(), when they cannot be made.
    bool openPorts();
    void closePorts();
    // Lets go of ports whose JACK server has gone without destroying them (see the .cpp).
    void abandonPorts();
    // Watcher thread, once the JACK server has gone: lets go of what died with it, then makes
    // the ports again once a server answers (the connections follow at the scan).
    void rejoinServer();
    static void serverShutDown(void* self);
    void watch();
    void scan();
    // The sources' full names by index, ours and empty ones included.
    QStringList portNames() const;
    std::unique_ptr<Source> connect(unsigned index, const QString& fullName, const QString& stable);
    void noteError(const QString& text);

    MidiDispatcher& m_dispatcher;
    const std::chrono::milliseconds m_scanInterval;
    MidiSystem m_system = MidiSystem::Auto; // what open() settled on
    std::unique_ptr<Source> m_virtualIn;    // our "Marrowtune" input; also the scanner
    std::mutex m_outMutex;                  // the outputs are replaced when a JACK server returns
    std::unique_ptr<RtMidiOut> m_out;       // ALSA
    std::unique_ptr<JackMidiClient> m_jackOut; // JACK
    ClockTrain* m_clock = nullptr;             // under m_outMutex, given to every m_jackOut
    jack_client_t* m_serverWatch = nullptr;    // JACK only: hears of the server's end
    std::atomic<bool> m_serverGone{false};
    std::chrono::steady_clock::time_point m_goneAt;     // watcher thread only
    std::vector<std::unique_ptr<Source>> m_connections; // watcher thread only
    int m_clientNumber = 0;                             // watcher thread only

    mutable std::mutex m_mutex; // guards what follows
    std::condition_variable m_wake;
    bool m_stopping = false;
    QString m_chosen;
    bool m_connectHardware = true;
    QStringList m_sources;
    QStringList m_connected;
    QString m_message;

    std::thread m_watcher;
};

} // namespace mt
