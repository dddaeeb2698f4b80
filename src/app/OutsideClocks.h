#pragma once

#include "sync/JackTransportClock.h"

#include <QObject>

#include <memory>

namespace mt {

class BeatClock;
class FrameClock;
class SettingsStore;

// The clocks outside the program that the beat clock follows or leads, each made when the
// performer first asks for it, so no JACK client starts before then: the JACK transport
// (followed when chosen as the clock's source; led, as its timebase master, when asked). The
// clock's grid goes to each one whenever it changes. UI thread only.
class OutsideClocks final : public QObject {
    Q_OBJECT

public:
    // Both outlive this.
    OutsideClocks(BeatClock& clock, const FrameClock& frames);
    ~OutsideClocks() override;

    // Leads the JACK transport's timebase with the clock's grid where no other client leads.
    void setJackMaster(bool lead);
    bool jackMaster() const { return m_jackMaster; }
    // The options in the settings store's section "BeatClock" of the application `app`, and
    // back: JackMaster.
    void readSettings(const SettingsStore& store, const QString& app);
    void writeSettings(SettingsStore& store, const QString& app) const;

    // Null until the JACK transport was first followed or led.
    const JackTransportClock* jackTransport() const { return m_jack.get(); }

private:
    // The source or the grid changed: the chosen outside clock is made, and every one made
    // has the grid.
    void follow();
    JackTransportClock& jack();

    BeatClock& m_clock;
    const FrameClock& m_frames;
    std::unique_ptr<JackTransportClock> m_jack;
    bool m_jackMaster = false;
};

} // namespace mt
