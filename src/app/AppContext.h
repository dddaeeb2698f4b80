#pragma once

#include "app/CdMediaControl.h"
#include "app/LibraryTrackSound.h"
#include "app/MidiMediaControl.h"
#include "app/MidiReferenceBar.h"
#include "app/PreviewPlayer.h"
#include "app/TimerTapClock.h"
#include "audio/OutputChoice.h"
#include "audio/OutputFormat.h"
#include "audio/VbDSound.h"
#include "core/BankLoader.h"
#include "core/CdBar.h"
#include "core/CoreAccess.h"
#include "core/KeyPositions.h"
#include "core/PerformanceKeys.h"
#include "core/TempoControl.h"
#include "core/TrackBank.h"
#include "media/cd/CdPlayer.h"
#include "media/midi/ModuleMIDI.h"
#include "media/mmt/ModuleMMT.h"
#include "platform/PlatformServices.h"

#include <QString>

namespace mt {

// Everything one running program owns: the sound library, the track bank, the stored
// preferences in memory, and the way out to the desktop. The main window is built around
// one; each test makes a fresh one. UI thread only.
struct AppContext {
    // The sound library opens on `outputChoice` and `outputFormat`, as they stand when the
    // device is opened.
    explicit AppContext(PlatformServices& services);
    // With another way of opening the sound library (tests open one on an offline output).
    AppContext(PlatformServices& services, VbDSound::Initializer openLibrary);

    // A message box with OK only, no icon and the program's title.
    void showMessage(const QString& text) const;
    // Everything that sounds stops at once, without a dialog: the tracks with the library's
    // fade, the browser's preview, the CD and the MIDI song.
    void panic();

    PlatformServices& platform;
    CoreAccess coreAccess; // the UI thread's, lent out while it paints or waits
    VbDSound sound;
    LibraryTrackSound trackSound{sound}; // the tracks' way to the sound library
    TrackBank bank{trackSound};
    BankLoader bankLoader{bank, trackSound, [this](const QString& text) { showMessage(text); }};
    PreviewPlayer preview{sound}; // the browser's preview buffer
    CdPlayer cd{[this] { return sound.soundLibHandle; },
                [this](const QString& text) { showMessage(text); }};            // CD player
    ModuleMIDI midi{[this](const QString& text) { showMessage(text); }, sound}; // MIDI player
    CdMediaControl cdControl{cd};       // the performance keys' way to the CD player
    MidiMediaControl midiControl{midi}; // and to the MIDI player
    PerformanceKeys keys{bank, cdControl, midiControl};
    ModuleMMT mmt{[this](const QString& text) { showMessage(text); }}; // tap counter clock
    TimerTapClock tapClock{mmt};
    CdBar cdBar; // the bars tempo matching reads; a moved CD bar re-matches under the lock
    MidiReferenceBar midiBar{midi};
    TempoControl tempo{bank, cdBar, midiBar, [this](const QString& text) { showMessage(text); }};
    OutputFormat outputFormat;
    OutputChoice outputChoice; // audio system, device and block, stored in the own section
    bool previewLoop = false;  // the browser's preview repeats
    KeyPositions keyPositions; // the performance keys' places, stored in the own section

    // Stored preferences held in memory between start-up and shutdown.
    QString VolumeControlPath;     // the mixer program the volume-control command starts
    QString editProgramPath;       // the external waveform editor
    std::int32_t FormSizeFlag = 0; // 0 the normal layout, any other value the small one

    // Where the program's data lives (layouts, demo sounds); "" when it was not found.
    QString dataDir;
    // The settings store's application name: the executable's name.
    QString appName;
};

inline const QString kAppTitle = QStringLiteral("Marrowtune");

// The bank loader's reload (BankLoader::reload), for callers that hold only the context.
bool ReloadTrack(AppContext& app, int index, const QString& path);

} // namespace mt
