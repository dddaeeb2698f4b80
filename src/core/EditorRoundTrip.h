#pragma once

#include <QString>

#include <functional>

namespace mt {

class BankLoader;
class CursorService;
class ProcessLauncher;
class TrackBank;

// The selected track's file handed to the external waveform editor and back: the players
// pause, every track lets go of its sound and the sound device closes (the editor may want
// it), the editor starts on the file, the performer says when it is done, and the device
// opens again with every loaded track reloaded from its file, edited or not. UI thread only;
// edit blocks while the performer works in the editor.
class EditorRoundTrip {
public:
    // What the round trip asks of the rest of the program.
    class Stage {
    public:
        virtual ~Stage() = default;
        // The CD and the MIDI song pause, each only when playing.
        virtual void pausePlayers() = 0;
        // The sound device closes, and whatever else holds it lets go (the preview).
        virtual void closeSound() = 0;
        // The sound device opens again; true when it is open.
        virtual bool openSound() = 0;
        // After the tracks were reloaded: the players go back onto the device.
        virtual void soundReloaded() = 0;
        // Blocks while the editor runs: true when the performer is back, false when the
        // performer asks to end the program instead.
        virtual bool waitForEditor() = 0;
        // Ending the program: a changed bank is asked about first; false goes back to waiting.
        virtual bool confirmEnd() = 0;
        // Ends the program, keeping the settings.
        virtual void endProgram() = 0;
    };

    enum class Outcome { NothingSelected, NoEditor, EditorFailed, Edited, ProgramEnded };
    using Tell = std::function<void(const QString& message)>;

    EditorRoundTrip(TrackBank& bank, BankLoader& loader, ProcessLauncher& processes,
                    CursorService& cursor, Tell tell);

    // The round trip with the editor at `editorPath`, played on `stage`. Without a selected track
    // nothing happens; without an editor, or when it does not start, the performer is told (and in
    // the latter case the sound comes back as after an edit).
    Outcome edit(const QString& editorPath, Stage& stage);

private:
    void reopen(Stage& stage);

    TrackBank& m_bank;
    BankLoader& m_loader;
    ProcessLauncher& m_processes;
    CursorService& m_cursor;
    Tell m_tell;
};

} // namespace mt
