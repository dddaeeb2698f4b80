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
#include <QStringList>

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <thread>
#include <vector>

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
    // A collect under way is cancelled and waited for; its `done` never runs.
    ~Performance() override;

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

    // What the setting file and its companion hold of the bank as it is now; the companion's
    // file hints are those of a set saved at `setPath` ("" none).
    std::array<TrackSetting, kTrackCount> currentSettings() const;
    SetExtras currentExtras(const QString& setPath = QString()) const;

    // --- Sets that travel --------------------------------------------------------------------
    // Tracks whose file was found neither where the opened set says nor by FindMovedSamples, in
    // track order. They stay as a gone file always left a track (its title and path kept, no
    // sound). A relink, a new file, a clear, another open or a new bank takes a track off.
    const std::vector<int>& missingTracks() const { return m_missing; }
    // What the set's companion recorded of a missing track's file (its size), for a search.
    const FileHint& missingHint(int index) const { return m_missingHints[index]; }
    // Track `index` gets its file back at `path`, every other value kept, and the set counts
    // as changed; the file's folder heads the relink folders. False, nothing changed, when the
    // file is not there; a file that is there but is no sound ends as a reload does.
    bool relink(int index, const QString& path);
    // Folders files were relinked from, newest first, at most kMaxRelinkFolders: looked in when
    // a later set's file has moved. Stored in the settings store's section "Relink" of `app`,
    // key "Folders", one a line.
    static constexpr int kMaxRelinkFolders = 8;
    const QStringList& relinkFolders() const { return m_relinkFolders; }
    void readRelinkFolders(const SettingsStore& store, const QString& app);
    void writeRelinkFolders(SettingsStore& store, const QString& app) const;

    // Saves the set at `setPath` together with a copy of every track's file in the folder
    // CollectFolder(setPath) beside it, the tracks' paths turned to the copies, and names the
    // document after it. The copies are made on a worker thread (collectProgress), each whole
    // or not at all, a different file of the same name already there kept (the copy gets a
    // suffix); the set is written once every copy is made. `done` runs on the UI thread with ""
    // or the reason it failed; after a failure or cancelCollect() the bank and its document are
    // as they were. The files copied from are never changed. One collect at a time: another
    // asked meanwhile fails at once.
    // A track given another file meanwhile keeps it; a set opened or a new bank meanwhile fails
    // the collect with nothing saved. The copies and the file comparisons never block this
    // thread.
    void collectTo(const QString& setPath, std::function<void(const QString& error)> done);
    // From collectTo until its `done` runs.
    bool collecting() const { return m_collect != nullptr; }
    void cancelCollect();
    // The save dialog for collectTo, as saveFromDialog asks it: the name chosen, remembered for
    // the next dialog; nullopt when cancelled or when replacing a file was refused.
    std::optional<QString> askCollectName();

    // A set's two files as bytes: what open() reads from disk and a recovery copy keeps.
    struct SetBytes {
        QByteArray setting;
        QByteArray companion; // empty: none
    };
    SetBytes currentBytes(const QString& setPath) const;
    // The bank from a recovery copy of the set that was at `path` ("" untitled): the set is
    // opened under that name and counts as changed. False, nothing changed, when the bytes do
    // not hold eight whole tracks.
    bool openRecovered(const SetBytes& bytes, const QString& path);

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
    // The bank became changed (true) or equal to its file again (false).
    void changedFlag(bool changed);
    // A value a setting file stores was edited (several edits within one event: once).
    void edited();
    // missingTracks() changed.
    void missingChanged();
    // A set opened (or a recovered one) left tracks without their files: after missingChanged.
    void openedWithMissing();
    // A collect has copied `done` of `total` bytes.
    void collectProgress(qint64 done, qint64 total);

private:
    bool writeTo(const QString& path);
    // The bank's tracks from a decoded set; `companion` is its companion's path for messages.
    void apply(const DecodedSettingFile& decoded, const DecodedSetExtras& extras,
               const QString& path, const QString& companion);
    // The save dialog, starting at `preselected`: the chosen name with ".mrw" added when it
    // has no suffix; nullopt when cancelled or when replacing an existing file was refused.
    std::optional<QString> askSaveName(const QString& preselected);
    void name(const QString& path, bool canOverwrite);
    // The bank equals its file now; changedFlag says so if it said otherwise.
    void markSaved();
    void tellChanged();
    // The worker has ended: the set written when its copies are whole, then `done`.
    void finishCollect();
    // The collected set written: "" or why it was not.
    QString writeCollected(const QString& setPath, const std::vector<QString>& sources,
                           const std::vector<QString>& targets);

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
    std::vector<int> m_missing;
    std::array<QString, kTrackCount> m_missingPaths; // each missing track's path when it went
    std::array<FileHint, kTrackCount> m_missingHints;
    QStringList m_relinkFolders;
    bool m_toldChanged = false; // what changedFlag last said
    bool m_applying = false;    // an open or a collect is putting a set's values in
    struct CollectJob;
    std::shared_ptr<CollectJob> m_collect; // the collect under way; null when none
    std::thread m_collectThread;           // its copies
};

} // namespace mt
