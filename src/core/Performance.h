#pragma once

#include "core/BankLoader.h"
#include "core/BeatClock.h"
#include "core/CdBar.h"
#include "core/EditorRoundTrip.h"
#include "core/TapSession.h"
#include "core/TempoControl.h"
#include "core/TrackBank.h"
#include "files/SetExtras.h"
#include "files/SettingFile.h"

#include <QObject>
#include <QString>

#include <array>
#include <cstdint>
#include <functional>
#include <optional>

namespace mt {

class CursorService;
class FileDialogService;
class MessageBoxService;
class ProcessLauncher;
class ReferenceBar;
class SettingsStore;
class TapClock;
class TrackSound;

inline const QString kAppTitle = QStringLiteral("Marrowtune");

// The stored preferences held between start-up and shutdown.
struct Preferences {
    QString volumeControlPath; // the mixer program the volume-control command starts
    QString editProgramPath;   // the external waveform editor; "" for none
    bool previewLoop = false;  // the browser's preview repeats
    std::int32_t formSize = 0; // 0 the normal layout, any other value the small one

    bool operator==(const Preferences&) const = default;
};

// The performer's answer to "save the changed bank first?".
enum class SaveAnswer { Cancel, Yes, No };

// One performance: the track bank, tempo matching with its lock and the CD's bar it may follow,
// the BPM counter's session, the round trip to the waveform editor, and the bank's document
// (the setting file it came from or was last saved to, its title, whether it changed since). The
// file commands ask through the platform's dialog and message ports, and the discard question
// through the one the window sets, so that nothing here opens a window of its own. A set is
// never half-written: every save writes the setting file and its companion to temporary files
// renamed over the targets once both are whole.
// UI thread only.
class Performance final : public QObject {
    Q_OBJECT

public:
    // The ports every file command asks through. Not owning.
    struct Ports {
        MessageBoxService& messages;
        FileDialogService& fileDialogs;
        CursorService& cursor;
        ProcessLauncher& processes;
    };

    // `midiBar` is the MIDI song's bar, `tapClock` the counter's clock.
    Performance(TrackSound& sound, const ReferenceBar& midiBar, TapClock& tapClock, Ports ports);

    TrackBank& bank() { return m_bank; }
    const TrackBank& bank() const { return m_bank; }
    TempoControl& tempo() { return m_tempo; }
    BankLoader& loader() { return m_loader; }
    // The CD's bar; while the lock is on and the CD is the reference, a moved bar re-matches.
    CdBar& cdBar() { return m_cdBar; }
    TapSession& tapSession() { return m_tapSession; }
    // The beat clock quantised starts land on; a reference tempo matching can follow.
    BeatClock& clock() { return m_clock; }
    const BeatClock& clock() const { return m_clock; }
    // The performer chose where the clock's tempo comes from: the bar tempo matching follows
    // gives its tempo at once; typed and tapped tempos wait for the next one.
    void chooseTempoSource(TempoSource source);
    // The MIDI song's bar moved: tempo matching under the lock follows, and so does the clock
    // while it takes its tempo from the bar tempo matching follows.
    void midiBarMoved();
    // The bar the clock's ReferenceBar source follows: the MIDI song's while that is tempo
    // matching's reference, else the CD's (which the BPM counter also sets).
    const ReferenceBar& followedBar() const;
    // The clock's tempo, beats per bar and source from the settings store's section
    // "BeatClock" of the application `app`, and back. A stored value out of range is the
    // default.
    void readClockSettings(const SettingsStore& store, const QString& app);
    void writeClockSettings(SettingsStore& store, const QString& app) const;

    // The selected track's file to the stored waveform editor and back, played on `stage`.
    EditorRoundTrip::Outcome editSelected(EditorRoundTrip::Stage& stage) {
        return m_editor.edit(m_preferences.editProgramPath, stage);
    }

    // Tells the performer something: OK only, no icon, the program's title.
    void tell(const QString& text) const;

    // --- The document ----------------------------------------------------------------------
    // "New" until a file is opened or saved; the file's name after.
    const QString& title() const { return m_title; }
    // The full path behind the title; "" when untitled.
    const QString& filePath() const { return m_filePath; }
    // Overwrite writes filePath(): after a save, or an open that held every track.
    bool canOverwrite() const { return m_canOverwrite; }
    // The name the file dialogs preselect: the one chosen last, kept between runs.
    const QString& dialogFileName() const { return m_dialogFileName; }
    void setDialogFileName(const QString& name) { m_dialogFileName = name; }

    // The window's way of asking whether to save a changed bank, given its title ("" when
    // untitled). Without one, nothing changed is ever thrown away.
    void setSaveQuestion(std::function<SaveAnswer(const QString& title)> ask);

    // The bare new command (start-up's too): every track empty with the file's own speed,
    // centre, full volume, Loop and Duuk ticked, out of the lone-wolf group; no selection;
    // the lock off; untitled and unchanged.
    void newBank();
    // The menu's commands: each asks about a changed bank first where it replaces it, and
    // through the file dialog for the name.
    void newFromMenu();
    void openFromDialog();
    void saveFromDialog();
    void overwrite();
    // Before the bank is replaced or the program ends: true when the command may go on. A
    // changed bank is saved (Yes), thrown away (No) or kept with the command refused (Cancel).
    bool confirmDiscard();

    // The file at `path`: false, with a message and nothing changed, when it cannot be read
    // or is damaged anywhere. A file that ends early leaves the later tracks as they were.
    // Then its companion file (CompanionPath): none there gives the tracks read the defaults;
    // one that is damaged or unreadable gives them the defaults for what it could not give,
    // with one message, and the set opens all the same.
    bool open(const QString& path);
    // Writes the bank to `path` and its companion beside it, together (WriteFilesWhole), and
    // names the document after it; false, with a message and the document as it was, when
    // they could not be written.
    bool saveAs(const QString& path);

    // What the setting file and its companion hold of the bank as it is now.
    std::array<TrackSetting, kTrackCount> currentSettings() const;
    SetExtras currentExtras() const;

    // --- Preferences and start-up ----------------------------------------------------------
    const Preferences& preferences() const { return m_preferences; }
    void setPreferences(const Preferences& preferences);
    // The stored preferences and the file dialog's last name, from the section "Info" that
    // the settings store keeps for the application `app`: the mixer program (without one
    // stored, the one `findMixer` finds), the editor, the preview's repeat, the layout. A value
    // that is no boolean or no number is the default.
    void readPreferences(const SettingsStore& store, const QString& app,
                         const std::function<QString()>& findMixer);
    // Start-up's bank once the windows stand: every sound of an earlier library forgotten,
    // then `openDevice` (opens the sound device on the stored output; true when it opened),
    // then a new bank, unchanged and with no selection. Returns what `openDevice` did.
    bool start(const std::function<bool()>& openDevice);

signals:
    // The title or whether the file can be overwritten changed.
    void documentChanged();
    void preferencesChanged();

private:
    bool writeTo(const QString& path);
    // The save dialog, starting at `preselected`: the chosen name with ".mrw" added when it
    // has no suffix; nullopt when cancelled or when replacing an existing file was refused.
    std::optional<QString> askSaveName(const QString& preselected);
    void name(const QString& path, bool canOverwrite);

    Ports m_ports;
    CdBar m_cdBar;
    TrackBank m_bank;
    BeatClock m_clock;
    const ReferenceBar& m_midiBar;
    BankLoader m_loader;
    TempoControl m_tempo;
    TapSession m_tapSession;
    EditorRoundTrip m_editor;
    std::function<SaveAnswer(const QString&)> m_askToSave;
    QString m_title = QStringLiteral("New");
    QString m_filePath;
    bool m_canOverwrite = false;
    QString m_dialogFileName;
    Preferences m_preferences;
};

} // namespace mt
