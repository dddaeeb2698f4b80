#include "midiin/MidiPorts.h"

#include "audio/OutputClock.h"
#include "midiin/JackMidiClient.h"
#include "midiin/MidiDispatcher.h"
#include "platform/JackProbe.h"

#include <RtMidi.h>
#include <jack/jack.h>

#include <QCoreApplication>
#include <QRegularExpression>

#include <unistd.h>

#include <algorithm>

namespace mt {
namespace {

const QString kOurPrefix = QStringLiteral("Marrowtune");
const char* const kSequencer = "/dev/snd/seq";

// Why JACK cannot carry MIDI now, for the MIDI window's line. A stuck libjack names the lock,
// the one thing an administrator can remove.
QString JackRefusal(JackAnswer answer) {
    return answer == JackAnswer::Stuck
               ? QCoreApplication::translate("mt::MidiPorts",
                                             "JACKのライブラリが応答しません（/dev/shm/jack_db-%1 "
                                             "のロックが残っています）")
                     .arg(::getuid())
               : QCoreApplication::translate("mt::MidiPorts", "JACKサーバーが動いていません");
}

bool SequencerPresent() {
    return ::access(kSequencer, R_OK | W_OK) == 0;
}

} // namespace

// One of our input ports with the parser of what it receives.
struct MidiPorts::Source {
    MidiPorts* owner = nullptr;
    QString name; // the stable name of the source it is connected to; empty for ours
    MidiParser parser;
    // One of these, after the parser: closed before the parser its thread uses goes.
    std::unique_ptr<JackMidiClient> jack; // JACK
    std::unique_ptr<RtMidiIn> in;         // the ALSA sequencer

    static void received(double /*seconds*/, std::vector<unsigned char>* message, void* self) {
        MidiArrival arrival;
        arrival.hostMicros = OutputClock::HostMicros();
        receivedBytes(message->data(), message->size(), arrival, self);
    }
    static void receivedBytes(const std::uint8_t* bytes, std::size_t size,
                              const MidiArrival& arrival, void* self) {
        auto* source = static_cast<Source*>(self);
        source->owner->m_dispatcher.feed(source->parser, bytes, size, arrival);
    }
    // An input on m_system named `client`, whose bytes go to this source's parser.
    bool open(const std::string& client) {
        if (owner->m_system == MidiSystem::Jack) {
            std::string error;
            jack = JackMidiClient::open(client, kPortName, JackMidiClient::Direction::In,
                                        &Source::receivedBytes, this, error);
            if (!jack) {
                owner->noteError(
                    QCoreApplication::translate("mt::MidiPorts", "MIDI入力はオフです: %1")
                        .arg(QString::fromStdString(error)));
            }
            return jack != nullptr;
        }
        in = std::make_unique<RtMidiIn>(RtMidi::LINUX_ALSA, client, 1024);
        in->setErrorCallback(&Source::failed, this);
        // The sequencer joins SysEx chunks without bound until an F7 comes; we use none. Clock
        // passes for the clock in; active sensing too (the parser ignores it).
        in->ignoreTypes(true, false, false);
        in->setCallback(&Source::received, this);
        return true;
    }
    static void failed(RtMidiError::Type /*type*/, const std::string& text, void* self) {
        static_cast<Source*>(self)->owner->noteError(QString::fromStdString(text));
    }
};

MidiPorts::MidiPorts(MidiDispatcher& dispatcher, std::chrono::milliseconds scanInterval)
    : m_dispatcher(dispatcher), m_scanInterval(scanInterval) {}

MidiPorts::~MidiPorts() {
    close();
}

bool MidiPorts::open(MidiSystem system) {
    close();
    if (system == MidiSystem::Auto) {
        const JackAnswer jack = ProbeJack();
        if (jack == JackAnswer::Runs) {
            system = MidiSystem::Jack;
        } else if (SequencerPresent()) {
            system = MidiSystem::Alsa;
        } else {
            noteError(QCoreApplication::translate(
                          "mt::MidiPorts", "MIDI入力はオフです: %1、ALSAシーケンサーもありません"
                                           "（%2 がありません）")
                          .arg(jack == JackAnswer::Stuck
                                   ? QCoreApplication::translate("mt::MidiPorts",
                                                                 "JACKのライブラリが応答せず")
                                   : QCoreApplication::translate("mt::MidiPorts",
                                                                 "JACKサーバーが動いておらず"),
                               QLatin1String(kSequencer)));
            return false;
        }
    } else if (system == MidiSystem::Alsa && !SequencerPresent()) {
        noteError(QCoreApplication::translate(
                      "mt::MidiPorts",
                      "MIDI入力はオフです: ALSAシーケンサーがありません（%1 がありません）")
                      .arg(QLatin1String(kSequencer)));
        return false;
    } else if (system == MidiSystem::Jack) {
        if (const JackAnswer jack = ProbeJack(); jack != JackAnswer::Runs) {
            noteError(QCoreApplication::translate("mt::MidiPorts", "MIDI入力はオフです: %1")
                          .arg(JackRefusal(jack)));
            return false;
        }
    }
    m_system = system;
    if (!openPorts()) {
        return false;
    }
    {
        const std::lock_guard lock(m_mutex);
        m_stopping = false;
        m_message = system == MidiSystem::Jack ? QStringLiteral("JACK") : QStringLiteral("ALSA");
    }
    m_watcher = std::thread([this] { watch(); });
    return true;
}

bool MidiPorts::openPorts() {
    try {
        auto in = std::make_unique<Source>();
        in->owner = this;
        if (!in->open("Marrowtune in")) {
            return false;
        }
        std::unique_ptr<RtMidiOut> out;
        std::unique_ptr<JackMidiClient> jackOut;
        if (m_system == MidiSystem::Jack) {
            std::string error;
            jackOut = JackMidiClient::open("Marrowtune out", kPortName,
                                           JackMidiClient::Direction::Out, nullptr, nullptr, error);
            if (!jackOut) {
                noteError(QCoreApplication::translate("mt::MidiPorts", "MIDI入力はオフです: %1")
                              .arg(QString::fromStdString(error)));
                return false;
            }
        } else {
            in->in->openVirtualPort(kPortName);
            out = std::make_unique<RtMidiOut>(RtMidi::LINUX_ALSA, "Marrowtune out");
            out->openVirtualPort(kPortName);
        }
        m_virtualIn = std::move(in);
        const std::lock_guard lock(m_outMutex);
        m_out = std::move(out);
        m_jackOut = std::move(jackOut);
        if (m_jackOut) {
            m_jackOut->setClock(m_clock);
        }
    } catch (const RtMidiError& e) {
        noteError(QCoreApplication::translate("mt::MidiPorts", "MIDI入力はオフです: %1")
                      .arg(QString::fromStdString(e.getMessage())));
        closePorts();
        return false;
    }
    if (m_system == MidiSystem::Jack) {
        // A client of our own that only hears of the server's end; RtMidi's clients would go on
        // as if nothing happened. Activated: a client that is not may never hear of it.
        m_serverGone.store(false);
        m_serverWatch = jack_client_open("Marrowtune watch", JackNoStartServer, nullptr);
        if (m_serverWatch != nullptr) {
            jack_on_shutdown(m_serverWatch, &MidiPorts::serverShutDown, this);
            jack_activate(m_serverWatch);
        }
    }
    return true;
}

void MidiPorts::serverShutDown(void* self) {
    auto* ports = static_cast<MidiPorts*>(self);
    ports->m_serverGone.store(true);
    ports->m_wake.notify_all();
}

void MidiPorts::abandonPorts() {
    // The clients died with the server, and libjack crashes unregistering a dead client's port,
    // which every RtMidi port does when it is destroyed, and closing a dead client races the
    // other closes libjack's users make then (RtAudio closes its own on a thread of its own).
    // So they are kept, never destroyed or closed, for as long as the process lives: a few
    // kilobytes for each time a JACK server goes away.
    static auto* const dead = new std::vector<std::unique_ptr<Source>>();
    static auto* const deadOut = new std::vector<std::unique_ptr<JackMidiClient>>();
    for (auto& source : m_connections) {
        dead->push_back(std::move(source));
    }
    m_connections.clear();
    dead->push_back(std::move(m_virtualIn));
    {
        const std::lock_guard lock(m_outMutex);
        deadOut->push_back(std::move(m_jackOut));
        m_out.reset();
    }
    m_serverWatch = nullptr;
}

void MidiPorts::closePorts() {
    // Closing a port waits for its thread to leave the dispatcher, which never waits on us.
    m_connections.clear();
    m_virtualIn.reset();
    {
        const std::lock_guard lock(m_outMutex);
        m_out.reset();
        m_jackOut.reset();
    }
    if (m_serverWatch != nullptr) {
        jack_client_close(m_serverWatch);
        m_serverWatch = nullptr;
    }
}

void MidiPorts::close() {
    if (m_watcher.joinable()) {
        {
            const std::lock_guard lock(m_mutex);
            m_stopping = true;
        }
        m_wake.notify_all();
        m_watcher.join();
    }
    if (m_serverGone.load() && m_virtualIn) {
        abandonPorts();
    } else {
        closePorts();
    }
    const std::lock_guard lock(m_mutex);
    m_connected.clear();
    m_sources.clear();
}

QString MidiPorts::message() const {
    const std::lock_guard lock(m_mutex);
    return m_message;
}

void MidiPorts::setChosenSource(const QString& name) {
    {
        const std::lock_guard lock(m_mutex);
        m_chosen = stableName(name);
    }
    m_wake.notify_all();
}

void MidiPorts::setConnectHardware(bool connect) {
    {
        const std::lock_guard lock(m_mutex);
        m_connectHardware = connect;
    }
    m_wake.notify_all();
}

QStringList MidiPorts::sources() const {
    const std::lock_guard lock(m_mutex);
    return m_sources;
}

QStringList MidiPorts::connectedSources() const {
    const std::lock_guard lock(m_mutex);
    return m_connected;
}

void MidiPorts::send(const std::uint8_t* bytes, std::size_t size) {
    const std::lock_guard lock(m_outMutex);
    if (m_jackOut) {
        m_jackOut->send(bytes, size);
    } else if (m_out) {
        m_out->sendMessage(bytes, size);
    }
}

void MidiPorts::setClock(ClockTrain* train) {
    const std::lock_guard lock(m_outMutex);
    m_clock = train;
    if (m_jackOut) {
        m_jackOut->setClock(train);
    }
}

void MidiPorts::noteError(const QString& text) {
    const std::lock_guard lock(m_mutex);
    m_message = text;
}

void MidiPorts::watch() {
    std::unique_lock lock(m_mutex);
    while (!m_stopping) {
        lock.unlock();
        if (m_serverGone.load()) {
            rejoinServer();
        }
        if (m_virtualIn) {
            scan();
        }
        lock.lock();
        m_wake.wait_for(lock, m_scanInterval);
    }
}

void MidiPorts::rejoinServer() {
    const auto now = std::chrono::steady_clock::now();
    if (m_virtualIn) {
        abandonPorts();
        m_goneAt = now;
        const std::lock_guard lock(m_mutex);
        m_connected.clear();
        m_sources.clear();
        m_message = QCoreApplication::translate(
            "mt::MidiPorts", "MIDI入力: JACKサーバーが止まりました。戻るのを待っています");
    }
    if (now - m_goneAt < kJackSettle || ProbeJack() != JackAnswer::Runs || !openPorts()) {
        return; // the next scan tries again
    }
    const std::lock_guard lock(m_mutex);
    m_message = QStringLiteral("JACK");
}

void MidiPorts::scan() {
    QString chosen;
    bool hardware = false;
    {
        const std::lock_guard lock(m_mutex);
        chosen = m_chosen;
        hardware = m_connectHardware;
    }
    // Names by index as they are now; a port may still vanish before we open it, which RtMidi
    // reports as an error and the next scan tries again.
    const QStringList names = portNames();
    QStringList present;
    for (const QString& name : names) {
        if (!name.isEmpty() && !name.startsWith(kOurPrefix)) {
            present << name;
        }
    }
    // Sources gone: their ports closed, to be made again when they come back.
    std::erase_if(m_connections, [&](const std::unique_ptr<Source>& s) {
        return std::none_of(present.begin(), present.end(),
                            [&](const QString& p) { return stableName(p) == s->name; });
    });
    for (unsigned i = 0; i < static_cast<unsigned>(names.size()); ++i) {
        const QString& name = names[static_cast<int>(i)];
        const QString stable = stableName(name);
        const bool wanted =
            !name.isEmpty() && !name.startsWith(kOurPrefix) &&
            ((!chosen.isEmpty() && stable == chosen) || (hardware && isHardware(m_system, name)));
        const bool have = std::any_of(m_connections.begin(), m_connections.end(),
                                      [&](const auto& s) { return s->name == stable; });
        if (wanted && !have) {
            if (auto source = connect(i, name, stable)) {
                m_connections.push_back(std::move(source));
            }
        } else if (!wanted && have) {
            std::erase_if(m_connections, [&](const auto& s) { return s->name == stable; });
        }
    }
    QStringList connected;
    for (const auto& s : m_connections) {
        connected << s->name;
    }
    const std::lock_guard lock(m_mutex);
    m_sources = present;
    m_connected = connected;
}

QStringList MidiPorts::portNames() const {
    if (m_virtualIn->jack) {
        return m_virtualIn->jack->sourcePorts();
    }
    RtMidiIn& scanner = *m_virtualIn->in;
    QStringList names;
    const unsigned count = scanner.getPortCount();
    for (unsigned i = 0; i < count; ++i) {
        names << QString::fromStdString(scanner.getPortName(i));
    }
    return names;
}

std::unique_ptr<MidiPorts::Source> MidiPorts::connect(unsigned index, const QString& fullName,
                                                      const QString& stable) {
    try {
        auto source = std::make_unique<Source>();
        source->owner = this;
        source->name = stable;
        if (!source->open("Marrowtune from " + std::to_string(++m_clientNumber))) {
            return nullptr;
        }
        if (source->jack) {
            return source->jack->connectFrom(fullName.toStdString()) ? std::move(source) : nullptr;
        }
        // The list may have moved since the scan: open the index only if it is still that port.
        if (stableName(QString::fromStdString(source->in->getPortName(index))) != stable) {
            return nullptr;
        }
        source->in->openPort(index, kPortName);
        if (source->in->isPortOpen()) {
            return source;
        }
    } catch (const RtMidiError& e) {
        noteError(QString::fromStdString(e.getMessage()));
    }
    return nullptr;
}

bool MidiPorts::isHardware(MidiSystem system, const QString& name) {
    if (name.contains(QLatin1String("Midi Through"), Qt::CaseInsensitive)) {
        return false;
    }
    if (system == MidiSystem::Alsa) {
        static const QRegularExpression address(QStringLiteral(" (\\d+):\\d+$"));
        const auto m = address.match(name);
        const int client = m.hasMatch() ? m.captured(1).toInt() : -1;
        return client >= 16 && client < 128;
    }
    return name.startsWith(QLatin1String("system:midi_capture")) ||
           name.startsWith(QLatin1String("a2j:")) || name.startsWith(QLatin1String("Midi-Bridge:"));
}

QString MidiPorts::stableName(const QString& name) {
    // ALSA's " 24:0" at the end; the ALSA-to-JACK bridge's " [24]" after the device.
    static const QRegularExpression address(QStringLiteral(" \\d+:\\d+$| \\[\\d+\\](?= \\()"));
    QString stable = name;
    stable.remove(address);
    return stable;
}

} // namespace mt
