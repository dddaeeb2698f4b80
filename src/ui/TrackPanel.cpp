#include "ui/TrackPanel.h"
#include "ui/Colours.h"

#include "audio/DsCalls.h"
#include "audio/WavReader.h"
#include "core/AppContext.h"
#include "core/TempoMath.h"
#include "platform/CursorService.h"
#include "platform/MessageBoxService.h"
#include "platform/ModalRunner.h"
#include "platform/Numbers.h"
#include "ui/ClickableLabel.h"
#include "ui/FileBrowser.h"
#include "ui/Form2.h"
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

using namespace colours;

const QString kPlay = QStringLiteral("PLAY");
const QString kStop = QStringLiteral("STOP");

} // namespace

TrackPanel::TrackPanel(AppContext& app, FileBrowser& browser, QMenu& trackPopup, QWidget& client)
    : QObject(&client), m_app(app), m_browser(browser), m_trackPopup(trackPopup) {
    for (int i = 0; i < kTrackCount; ++i) {
        m_frames[i] = new TrackFrame(i, &client);
        wire(i);
    }
    QAction* wavInfo = m_trackPopup.findChild<QAction*>(QStringLiteral("mnuWavInfo"));
    connect(wavInfo, &QAction::triggered, this, &TrackPanel::mnuWavInfo_Click);
    QAction* ookami = m_trackPopup.findChild<QAction*>(QStringLiteral("mnuOokami"));
    ookami->setEnabled(true);
    connect(ookami, &QAction::triggered, this, &TrackPanel::mnuOokami_Click);

    lblOrAliveOokamis = new ClickableLabel(QStringLiteral("一匹狼(F3)"), &client);
    lblOrAliveOokamis->setObjectName(QStringLiteral("lblOrAliveOokamis"));
    lblOrAliveOokamis->setAlignment(Qt::AlignCenter);
    connect(lblOrAliveOokamis, &ClickableLabel::mousePressed, this, [this](Qt::MouseButton button) {
        if (button == Qt::LeftButton) {
            lblOrAliveOokamis_Click();
        }
    });
    SetForeground(*lblOrAliveOokamis, Qt::black);
    for (int i = 0; i < kTrackCount; ++i) {
        UpdatePlayButtonColour(i);
    }
    HighlightSelectedTrack(m_app.bank.selectedTrack);
}

void TrackPanel::wire(int i) {
    TrackFrame& f = *m_frames[i];
    connect(f.ComChange, &QPushButton::clicked, this, [this, i] { ComChange_Click(i); });
    connect(f.ComClear, &QPushButton::clicked, this, [this, i] { ComClear_Click(i); });
    connect(f.ComStart, &QPushButton::clicked, this, [this, i] { ComStart_Click(i); });
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
        // A track is loaded only with a buffer to play; the library has said why when it
        // could not make one, and with no sound device at all the window shows that.
        bank.trackBuffer[index] = m_app.sound.CreateTrackBuffer(path, 1);
        if (bank.trackBuffer[index] == 0) {
            return;
        }
        bank.takeFormat(index, info, TrackBank::LengthFrom::Rate);
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
        // Its sound is gone with its buffer: the button says so on both windows.
        f.ComStart->setText(kPlay);
        UpdatePlayButtonColour(index);
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
    const QColor face = ButtonFace();
    for (int i = 0; i < kTrackCount; ++i) {
        SetBackground(*m_frames[i]->Label4, face);
        if (m_playMode) {
            SetBackground(*m_playMode->Label1[i], face);
        }
    }
    if (m_app.bank.selectedTrack == -1 || index < 0 || index >= kTrackCount) {
        return;
    }
    SetBackground(*m_frames[index]->Label4, kMagenta);
    if (m_playMode) {
        SetBackground(*m_playMode->Label1[index], kMagenta);
    }
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

void TrackPanel::PlayTrack(int index) {
    play(index, false);
}

void TrackPanel::PlayTrackLooping(int index) {
    play(index, true);
}

void TrackPanel::play(int index, bool looping) {
    TrackBank& bank = m_app.bank;
    if (bank.loneWolfMode && bank.trackLoneWolf[index]) {
        // The started track is silenced too: it starts again from its first frame below.
        for (int j = 0; j < kTrackCount; ++j) {
            if (bank.trackLoaded[j] && bank.trackLoneWolf[j]) {
                dsStop(bank.trackBuffer[j]);
                m_frames[j]->ComStart->setText(kPlay);
                UpdatePlayButtonColour(j);
            }
        }
    }
    const TrackFrame& f = *m_frames[index];
    const std::int32_t volume = bank.soundingVolume(index, f.HSVol->value() * 100);
    const std::int32_t pan = f.HSPan->value() * 100;
    const std::int32_t frequency = PlaybackFrequency(f.HSFre->value(), bank.trackRateRatio[index]);
    if (looping) {
        dsPlayLoopingEx(bank.trackBuffer[index], volume, pan, frequency);
    } else {
        dsPlayEx(bank.trackBuffer[index], volume, pan, frequency);
    }
    bank.selectedTrack = static_cast<std::int16_t>(index);
    HighlightSelectedTrack(index);
    m_frames[index]->ComStart->setText(kStop);
    UpdatePlayButtonColour(index);
}

void TrackPanel::StopTrack(int index) {
    dsStop(m_app.bank.trackBuffer[index]);
    m_frames[index]->ComStart->setText(kPlay);
    UpdatePlayButtonColour(index);
}

bool TrackPanel::isPlaying(int index) const {
    return m_frames[index]->ComStart->text() == kStop;
}

void TrackPanel::UpdatePlayButtonColour(int index) {
    const QColor colour = isPlaying(index) ? kMagenta : kCyan;
    SetButtonColour(*m_frames[index]->ComStart, colour);
    if (m_playMode) {
        m_playMode->ComStart2[index]->setText(m_frames[index]->ComStart->text());
        SetButtonColour(*m_playMode->ComStart2[index], colour);
    }
}

void TrackPanel::ComStart_Click(int index) {
    if (isPlaying(index)) {
        StopTrack(index);
    } else if (m_frames[index]->CheckLoop->isChecked()) {
        PlayTrackLooping(index);
    } else {
        StopTrack(index);
        PlayTrack(index);
    }
}

void TrackPanel::lblOrAliveOokamis_Click() {
    m_app.bank.loneWolfMode = !m_app.bank.loneWolfMode;
    const QColor colour = m_app.bank.loneWolfMode ? kYellow : QColor(Qt::black);
    SetForeground(*lblOrAliveOokamis, colour);
    if (m_playMode) {
        SetForeground(*m_playMode->lblOrAliveOokamis, colour);
    }
}

void TrackPanel::mnuOokami_Click() {
    // The item's tick was set from the membership when the popup opened.
    const int track = m_app.bank.popupTrack;
    setLoneWolfMember(track, !m_app.bank.trackLoneWolf[track]);
}

void TrackPanel::setLoneWolfMember(int index, bool member) {
    m_app.bank.trackLoneWolf[index] = member;
    setTrackFrameColour(index, QColor());
    m_trackPopup.findChild<QAction*>(QStringLiteral("mnuOokami"))->setChecked(member);
}

void TrackPanel::setTrackFrameColour(int index, const QColor& colour) {
    QColor paint = colour;
    if (!paint.isValid()) {
        paint = m_app.bank.trackLoneWolf[index] ? kGrey : ButtonFace();
    }
    SetBackground(*m_frames[index], paint);
    if (m_playMode) {
        SetBackground(*m_playMode->Frame1[index], paint);
    }
}

void TrackPanel::setPlayModeWindow(Form2* window) {
    m_playMode = window;
}

void TrackPanel::syncPlayModeWindow() {
    if (!m_playMode) {
        return;
    }
    for (int i = 0; i < kTrackCount; ++i) {
        UpdatePlayButtonColour(i);
        setTrackFrameColour(i, m_frames[i]->palette().color(QPalette::Window));
    }
    HighlightSelectedTrack(m_app.bank.selectedTrack);
    SetForeground(*m_playMode->lblOrAliveOokamis,
                  lblOrAliveOokamis->palette().color(QPalette::WindowText));
}

void TrackPanel::mnuWavInfo_Click() {
    FrmWavInfo window(m_app.bank, m_app.bank.popupTrack, m_frames[0]->window());
    m_app.platform.modals.run(window);
}

} // namespace mt
