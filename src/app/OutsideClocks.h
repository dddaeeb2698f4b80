#pragma once

#include "sync/JackTransportClock.h"
#include "sync/LinkClock.h"

#include <QObject>

#include <cstdint>
#include <memory>

namespace mt {

class BeatClock;
class FrameClock;
class SettingsStore;

// The clocks outside the program that the beat clock follows or leads, each made when the
// performer first asks for it, so no JACK client starts and nothing goes on the network before
// then: the JACK transport (followed when chosen as the clock's source; led, as its timebase
// master, when asked) and Ableton Link (in the session only while it is the source; it reads
// the session at each render of the sound library's engine). The clock's grid goes to each one
// whenever it changes. UI thread only.
class OutsideClocks final : public QObject {
    Q_OBJECT

public:
    // All three outlive this; `library` is the sound library's handle as it stands (0: none).
    OutsideClocks(BeatClock& clock, const FrameClock& frames, const std::int32_t& library);
    ~OutsideClocks() override;

    // Leads the JACK transport's timebase with the clock's grid where no other client leads.
    void setJackMaster(bool lead);
    bool jackMaster() const { return m_jackMaster; }
    // The options in the settings store's section "BeatClock" of the application `app`, and
    // back: JackMaster.
    void readSettings(const SettingsStore& store, const QString& app);
    void writeSettings(SettingsStore& store, const QString& app) const;

    // Link's start and stop shared with the peers that share theirs: the clock follows the
    // session's beat only while it plays, and startStopPressed starts and stops it.
    void setLinkStartStop(bool on);
    bool linkStartStop() const { return m_linkStartStop; }
    // The performer started or stopped the MIDI clock sent out: with Link's start and stop
    // shared, the session starts or stops with it.
    void startStopPressed(bool playing);

    // Null until the JACK transport was first followed or led.
    const JackTransportClock* jackTransport() const { return m_jack.get(); }

private:
    // The source or the grid changed: the chosen outside clock is made, and every one made
    // has the grid.
    void follow();
    JackTransportClock& jack();
    LinkClock& link();

    BeatClock& m_clock;
    const FrameClock& m_frames;
    const std::int32_t& m_library;
    std::unique_ptr<JackTransportClock> m_jack;
    bool m_jackMaster = false;
    std::unique_ptr<LinkClock> m_link;
    std::int32_t m_listenedLibrary = 0; // the library whose renders m_link hears
    bool m_linkStartStop = false;
};

} // namespace mt
