#include "core/EditorRoundTrip.h"

#include "core/BankLoader.h"
#include "core/TrackBank.h"
#include "platform/CursorService.h"
#include "platform/SystemServices.h"

#include <optional>

namespace mt {

EditorRoundTrip::EditorRoundTrip(TrackBank& bank, BankLoader& loader, ProcessLauncher& processes,
                                 CursorService& cursor, Stage& stage, Tell tell)
    : m_bank(bank), m_loader(loader), m_processes(processes), m_cursor(cursor), m_stage(stage),
      m_tell(std::move(tell)) {}

EditorRoundTrip::Outcome EditorRoundTrip::edit(const QString& editorPath) {
    const int selected = m_bank.selectedTrack();
    if (selected == -1) {
        return Outcome::NothingSelected;
    }
    std::optional<WaitCursor> wait(std::in_place, m_cursor);
    if (editorPath.isEmpty()) {
        wait.reset();
        m_tell(QStringLiteral("波形編集ソフトが指定されていません。設定 - 参照設定 "
                              "で使いたい波形編集ソフトを指定してください"));
        return Outcome::NoEditor;
    }
    m_stage.pausePlayers();
    m_loader.releaseSounds();
    m_stage.closeSound();

    // The path is one argument, whatever it holds, and no shell ever reads it.
    if (!m_processes.start(editorPath, {m_bank.track(selected).path})) {
        wait.reset();
        m_tell(QStringLiteral("波形編集ソフトが開けません、参照設定を正しく行ってください。"));
        reopen();
        return Outcome::EditorFailed;
    }
    wait.reset(); // the performer needs a pointer to say when the editor is done
    while (!m_stage.waitForEditor()) {
        if (m_stage.confirmEnd()) {
            m_stage.endProgram();
            return Outcome::ProgramEnded;
        }
    }
    reopen();
    return Outcome::Edited;
}

void EditorRoundTrip::reopen() {
    const WaitCursor reloading(m_cursor);
    m_loader.reloadLoaded(m_stage.openSound());
    m_stage.soundReloaded();
}

} // namespace mt
