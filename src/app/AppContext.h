#pragma once

#include "app/CdMediaControl.h"
#include "app/Language.h"
#include "app/LibraryTrackSound.h"
#include "app/MidiMediaControl.h"
#include "app/MidiReferenceBar.h"
#include "app/OutsideClocks.h"
#include "app/PreviewPlayer.h"
#include "app/TimerTapClock.h"
#include "audio/OutputChoice.h"
#include "audio/OutputFormat.h"
#include "audio/SoundDevice.h"
#include "core/BankLoader.h"
#include "core/ClockSender.h"
#include "core/CoreAccess.h"
#include "core/KeyPositions.h"
#include "core/Performance.h"
#include "core/PerformanceKeys.h"
#include "core/TempoControl.h"
#include "core/TrackBank.h"
#include "media/cd/CdPlayer.h"
#include "media/midi/MidiFilePlayer.h"
#include "media/mmt/TapTimer.h"
#include "osc/OscSettings.h"
#include "platform/PlatformServices.h"

#include <QString>

namespace mt {

// Everything one running program owns: the sound library, the performance (the track bank,
// tempo matching, the bank's document and the stored preferences), the players beside it, and
// the way out to the desktop. The main window is built around
// one; each test makes a fresh one. UI thread only.
struct AppContext {
    // The sound library opens on `outputChoice` and `outputFormat`, as they stand when the
    // device is opened.
    explicit AppContext(PlatformServices& services);
    // With another way of opening the sound library (tests open one on an offline output).
    AppContext(PlatformServices& services, SoundDevice::Initializer openLibrary);

    // A message box with OK only, no icon and the program's title.
    void showMessage(const QString& text) const;
    // Everything that sounds stops at once, without a dialog: the tracks with the library's
    // fade, the browser's preview, the CD and the MIDI song.
    void panic();

    PlatformServices& platform;
    CoreAccess coreAccess; // the UI thread's, lent out while it paints or waits
    SoundDevice sound;
    LibraryTrackSound trackSound{sound}; // the tracks' way to the sound library
    PreviewPlayer preview{sound};        // the browser's preview buffer
    CdPlayer cd{[this] { return sound.soundLibHandle; },
                [this](const QString& text) { showMessage(text); }};                // CD player
    MidiFilePlayer midi{[this](const QString& text) { showMessage(text); }, sound}; // MIDI player
    CdMediaControl cdControl{cd};       // the performance keys' way to the CD player
    MidiMediaControl midiControl{midi}; // and to the MIDI player
    TapTimer mmt{[this](const QString& text) { showMessage(text); }}; // tap counter clock
    TimerTapClock tapClock{mmt};
    MidiReferenceBar midiBar{midi}; // the song's bar tempo matching reads
    Performance performance{
        trackSound,
        midiBar,
        tapClock,
        {platform.messages, platform.fileDialogs, platform.cursor, platform.processes}};
    // The performance's parts, named as the windows have always reached them.
    CdBar& cdBar = performance.cdBar();
    TrackBank& bank = performance.bank();
    BankLoader& bankLoader = performance.loader();
    TempoControl& tempo = performance.tempo();
    PerformanceKeys keys{bank, cdControl, midiControl};
    OutputFormat outputFormat;
    OutputChoice outputChoice; // audio system, device and block, stored in the own section
    KeyPositions keyPositions; // the performance keys' places, stored in the own section
    OscSettings osc;           // OSC control, stored in the own section "Osc"
    // The texts' language from the next start (the language shown now until the performer
    // chooses another), stored in the own section.
    Language language = Language::Japanese;
    // The beat clock's way out to other gear (MIDI clock), set where one is available; null
    // for none. Not owning.
    ClockSender* clockSender = nullptr;
    // The clocks outside the program the beat clock follows or leads (the MIDI clock in is the
    // MIDI input's).
    OutsideClocks outsideClocks{performance.clock(), trackSound, sound.soundLibHandle};

    // The stored preferences, read only: Performance::setPreferences changes them.
    const QString& volumeControlPath = performance.preferences().volumeControlPath;
    const QString& editProgramPath = performance.preferences().editProgramPath;
    const std::int32_t& smallLayout = performance.preferences().formSize;
    const bool& previewLoop = performance.preferences().previewLoop;

    // Where the program's data lives (layouts, demo sounds); "" when it was not found.
    QString dataDir;
    // The settings store's application name: the executable's name.
    QString appName;
};

} // namespace mt
