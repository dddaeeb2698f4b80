#include "ui/TrackPanel.h"

#include "audio/DsCalls.h"
#include "audio/WavReader.h"
#include "core/AppContext.h"
#include "platform/CursorService.h"
#include "platform/MessageBoxService.h"
#include "platform/ModalRunner.h"
#include "platform/Numbers.h"
#include "ui/ClickableLabel.h"
#include "ui/FileBrowser.h"
#include "ui/FrmWavInfo.h"
#include "ui/TrackFrame.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QFileInfo>
#include <QLabel>
#include <QMenu>
#include <QPushButton>
#include <QScrollBar>

#include <optional>

namespace mt {
namespace {

const QColor kMagenta(255, 0, 255);

void SetBackground(QWidget& widget, const QColor& colour) {
    QPalette palette = widget.palette();
    palette.setColor(QPalette::Window, colour);
    widget.setPalette(palette);
}

} // namespace

TrackPanel::TrackPanel(AppContext& app, FileBrowser& browser, QMenu& trackPopup, QWidget& client)
    : QObject(&client), m_app(app), m_browser(browser), m_trackPopup(trackPopup) {
    for (int i = 0; i < kTrackCount; ++i) {
        m_frames[i] = new TrackFrame(i, &client);
        wire(i);
    }
    QAction* wavInfo = m_trackPopup.findChild<QAction*>(QStringLiteral("mnuWavInfo"));
    connect(wavInfo, &QAction::triggered, this, &TrackPanel::mnuWavInfo_Click);
    HighlightSelectedTrack(m_app.bank.selectedTrack);
}

void TrackPanel::wire(int i) {
    TrackFrame& f = *m_frames[i];
    connect(f.ComChange, &QPushButton::clicked, this, [this, i] { ComChange_Click(i); });
    connect(f.ComClear, &QPushButton::clicked, this, [this, i] { ComClear_Click(i); });
    connect(f.Check, &QCheckBox::clicked, this, [this, i] { Check_MouseUp(i); });
    connect(f.Label4, &ClickableLabel::mousePressed, this,
            [this, i](Qt::MouseButton button, const QPoint& at) {
                if (button == Qt::RightButton) {
                    ShowTrackPopup(i, at);
                }
            });
}

void TrackPanel::ComChange_Click(int index) {
    const QString name = m_browser.fileName();
    if (name.isEmpty()) {
        return;
    }
    const QString path = FileBrowser::FullPath(m_browser.dirPath(), name);
    const QFileInfo file(path);
    // A file that vanished since it was listed goes on to the read failure below.
    if (file.exists() && file.size() == 0) {
        m_app.showMessage(QStringLiteral("このファイルはサイズが0です"));
        return;
    }
    ComClear_Click(index);
    TrackBank& bank = m_app.bank;
    TrackFrame& f = *m_frames[index];
    {
        std::optional<WaitCursor> wait(std::in_place, m_app.platform.cursor);
        bank.trackPath[index] = path;
        WavInfo info;
        if (!ReadWavInfo(path, info)) {
            wait.reset();
            m_app.showMessage(QStringLiteral("読み込み失敗。WAVファイルに何らかの問題があります"));
            return;
        }
        bank.takeFormat(index, info, TrackBank::LengthFrom::Rate);
        bank.trackBuffer[index] = m_app.sound.CreateTrackBuffer(path, 1);
        ShowTrackDuration(index);
        bank.trackLoaded[index] = true;
        f.ComStart->setEnabled(true);
        f.lblWavTitle->setText(name);
        f.lblWavTitle->setToolTip(path);
        bank.trackFileName[index] = name;
        bank.selectedTrack = static_cast<std::int16_t>(index);
        HighlightSelectedTrack(index);
    }
    bank.bankChanged = true;
}

void TrackPanel::ComClear_Click(int index) {
    TrackBank& bank = m_app.bank;
    TrackFrame& f = *m_frames[index];
    f.ComChange->setEnabled(false);
    if (bank.trackLoaded[index]) {
        dsFree(bank.trackBuffer[index]);
    }
    f.lblWavTitle->clear();
    f.lblWavTitle->setToolTip(QString());
    f.lblSample->setText(QStringLiteral("s"));
    bank.clearFile(index);
    f.ComStart->setEnabled(false);
    f.ComChange->setEnabled(true);
    bank.bankChanged = true;
    SelectNextLoadedTrack();
}

void TrackPanel::ShowTrackDuration(int index) {
    TrackBank& bank = m_app.bank;
    bank.trackDuration[index] =
        TrackDurationSeconds(bank.trackLength44k[index], m_frames[index]->HSFre->value());
    m_frames[index]->lblSample->setText(FormatNumber(bank.trackDuration[index], "#,###0.000") +
                                        QStringLiteral("s"));
}

void TrackPanel::HighlightSelectedTrack(int index) {
    const QColor face = QApplication::palette().color(QPalette::Button);
    for (TrackFrame* f : m_frames) {
        SetBackground(*f->Label4, face);
    }
    if (m_app.bank.selectedTrack == -1 || index < 0 || index >= kTrackCount) {
        return;
    }
    SetBackground(*m_frames[index]->Label4, kMagenta);
}

void TrackPanel::SelectNextLoadedTrack() {
    HighlightSelectedTrack(m_app.bank.selectNextLoaded());
}

void TrackPanel::Check_MouseUp(int index) {
    TrackFrame& f = *m_frames[index];
    const bool fine = f.Check->isChecked();
    f.HSFre->setSingleStep(fine ? 1 : 10);
    f.HSFre->setPageStep(fine ? 10 : 100);
}

void TrackPanel::ShowTrackPopup(int index, const QPoint& globalPos) {
    QAction* ookami = m_trackPopup.findChild<QAction*>(QStringLiteral("mnuOokami"));
    QAction* wavInfo = m_trackPopup.findChild<QAction*>(QStringLiteral("mnuWavInfo"));
    ookami->setChecked(m_app.bank.trackLoneWolf[index]);
    wavInfo->setEnabled(m_app.bank.trackLoaded[index]);
    m_app.bank.popupTrack = static_cast<std::int16_t>(index);
    m_trackPopup.popup(globalPos);
}

void TrackPanel::mnuWavInfo_Click() {
    FrmWavInfo window(m_app.bank, m_app.bank.popupTrack, m_frames[0]->window());
    m_app.platform.modals.run(window);
}

} // namespace mt
