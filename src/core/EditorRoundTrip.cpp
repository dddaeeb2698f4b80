#include "core/EditorRoundTrip.h"

#include "core/BankLoader.h"
#include "core/TrackBank.h"
#include "platform/CursorService.h"
#include "platform/SystemServices.h"

#include <QCoreApplication>

#include <optional>

namespace mt {

EditorRoundTrip::EditorRoundTrip(TrackBank& bank, BankLoader& loader, ProcessLauncher& processes,
                                 CursorService& cursor, Tell tell)
    : m_bank(bank), m_loader(loader), m_processes(processes), m_cursor(cursor),
      m_tell(std::move(tell)) {}

EditorRoundTrip::Outcome EditorRoundTrip::edit(const QString& editorPath, Stage& stage) {
    const int selected = m_bank.selectedTrack();
    if (selected == -1) {
        return Outcome::NothingSelected;
    }
    std::optional<WaitCursor> wait(std::in_place, m_cursor);
    if (editorPath.isEmpty()) {
        wait.reset();
        m_tell(QCoreApplication::translate("mt::EditorRoundTrip",
                                           "波形編集ソフトが指定されていません。設定 - 参照設定 "
                                           "で使いたい波形編集ソフトを指定してください"));
        return Outcome::NoEditor;
    }
    stage.pausePlayers();
    m_loader.releaseSounds();
    stage.closeSound();

    // The path is one argument, whatever it holds, and no shell ever reads it.
    if (!m_processes.start(editorPath, {m_bank.track(selected).path})) {
        wait.reset();
        m_tell(QCoreApplication::translate(
            "mt::EditorRoundTrip", "波形編集ソフトが開けません、参照設定を正しく行ってください。"));
        reopen(stage);
        return Outcome::EditorFailed;
    }
    wait.reset(); // the performer needs a pointer to say when the editor is done
    while (!stage.waitForEditor()) {
        if (stage.confirmEnd()) {
            stage.endProgram();
            return Outcome::ProgramEnded;
        }
    }
    reopen(stage);
    return Outcome::Edited;
}

void EditorRoundTrip::reopen(Stage& stage) {
    const WaitCursor reloading(m_cursor);
    m_loader.reloadLoaded(stage.openSound());
    stage.soundReloaded();
}

} // namespace mt
