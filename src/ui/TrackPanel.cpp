#include "ui/TrackPanel.h"
#include "ui/Colours.h"

#include "app/AppContext.h"
#include "core/TempoMath.h"
#include "platform/CursorService.h"
#include "platform/ModalRunner.h"
#include "platform/Numbers.h"
#include "ui/ClickableLabel.h"
#include "ui/FileBrowser.h"
#include "ui/LevelMeter.h"
#include "ui/TrackFrame.h"
#include "ui/WavInfoWindow.h"
#include "ui/WaveformView.h"

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QMenu>
#include <QPushButton>
#include <QScrollBar>

#include <optional>

namespace mt {
namespace {

using namespace colours;

} // namespace

TrackPanel::TrackPanel(AppContext& app, FileBrowser& browser, QMenu& trackPopup, QWidget& client)
    : QObject(&client), m_app(app), m_browser(browser), m_trackPopup(trackPopup) {
    for (int i = 0; i < kTrackCount; ++i) {
        m_frames[i] = new TrackFrame(i, &client);
        wire(i);
    }
    QAction* wavInfo = m_trackPopup.findChild<QAction*>(QStringLiteral("mnuWavInfo"));
    connect(wavInfo, &QAction::triggered, this, &TrackPanel::mnuWavInfo_Click);
    QAction* loneWolfAction = m_trackPopup.findChild<QAction*>(QStringLiteral("mnuOokami"));
    loneWolfAction->setEnabled(true);
    connect(loneWolfAction, &QAction::triggered, this, &TrackPanel::loneWolfAction_Click);

    loneWolfLabel = new ClickableLabel(QStringLiteral("一匹狼(F3)"), &client);
    loneWolfLabel->setObjectName(QStringLiteral("lblOrAliveOokamis"));
    loneWolfLabel->setAlignment(Qt::AlignCenter);
    connect(loneWolfLabel, &ClickableLabel::mousePressed, this, [this](Qt::MouseButton button) {
        if (button == Qt::LeftButton) {
            loneWolfLabel_Click();
        }
    });
    connect(&m_app.bank, &TrackBank::trackChanged, this, &TrackPanel::redrawTrack);
    connect(&m_app.bank, &TrackBank::bankStateChanged, this, &TrackPanel::redrawBank);
    for (int i = 0; i < kTrackCount; ++i) {
        redrawTrack(i);
    }
    redrawBank();
}

void TrackPanel::wire(int i) {
    TrackFrame& f = *m_frames[i];
    TrackBank& bank = m_app.bank;
    connect(f.ComChange, &QPushButton::clicked, this, [this, i] { ComChange_Click(i); });
    connect(f.ComClear, &QPushButton::clicked, this, [this, i] { ComClear_Click(i); });
    connect(f.ComStart, &QPushButton::clicked, this, [this, i] { ComStart_Click(i); });
    connect(f.fineSpeedCheck, &QCheckBox::clicked, this, [this, i] { fineSpeedCheck_MouseUp(i); });
    // Every change of a box, by the performer or a setting file, is the track's.
    connect(f.CheckLoop, &QCheckBox::toggled, this, [&bank, i](bool on) { bank.setLoop(i, on); });
    connect(f.CheckDuuk, &QCheckBox::toggled, this, [&bank, i](bool on) { bank.setHold(i, on); });
    connect(f.ratioBox, &QComboBox::currentTextChanged, this,
            [&bank, i](const QString& text) { bank.setRatio(i, text); });
    connect(f.trackNumberLabel, &ClickableLabel::mousePressed, this,
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
    std::optional<WaitCursor> wait(std::in_place, m_app.platform.cursor);
    const TrackBank::Assigned result =
        m_app.bank.assign(index, FileBrowser::FullPath(m_browser.dirPath(), name));
    wait.reset(); // the sound itself loads in the background; the frame shows how far
    if (result == TrackBank::Assigned::EmptyFile) {
        m_app.showMessage(QStringLiteral("このファイルはサイズが0です"));
    } else if (result == TrackBank::Assigned::Unreadable) {
        m_app.showMessage(QStringLiteral("読み込み失敗。WAVファイルに何らかの問題があります"));
    } else if (result == TrackBank::Assigned::LineBreakInPath) {
        m_app.showMessage(
            QStringLiteral("ファイル名かフォルダ名に改行が入っているため、このファイル"
                           "はトラックに割り当てられません。名前を変えてください"));
    }
    // With no buffer the library has said why, and with no sound device the window shows it.
}

void TrackPanel::ComClear_Click(int index) {
    m_app.bank.clear(index);
}

void TrackPanel::ComStart_Click(int index) {
    m_app.bank.toggle(index);
}

void TrackPanel::loneWolfLabel_Click() {
    m_app.bank.toggleLoneWolfMode();
}

void TrackPanel::loneWolfAction_Click() {
    // The item's tick was set from the membership when the popup opened.
    const int track = m_popupTrack;
    m_app.bank.setLoneWolfMember(track, !m_app.bank.track(track).loneWolf);
}

void TrackPanel::fineSpeedCheck_MouseUp(int index) {
    m_app.bank.setFineSpeed(index, m_frames[index]->fineSpeedCheck->isChecked());
}

void TrackPanel::ShowTrackPopup(int index, const QPoint& globalPos) {
    QAction* loneWolfAction = m_trackPopup.findChild<QAction*>(QStringLiteral("mnuOokami"));
    QAction* wavInfo = m_trackPopup.findChild<QAction*>(QStringLiteral("mnuWavInfo"));
    loneWolfAction->setChecked(m_app.bank.track(index).loneWolf);
    wavInfo->setEnabled(m_app.bank.track(index).loaded);
    m_popupTrack = index;
    m_trackPopup.popup(globalPos);
}

void TrackPanel::mnuWavInfo_Click() {
    WavInfoWindow window(m_app.bank, m_popupTrack, m_frames[0]->window());
    m_app.platform.modals.run(window);
}

void TrackPanel::redrawTrack(int index) {
    const TrackBank& bank = m_app.bank;
    const Track& t = bank.track(index);
    TrackFrame& f = *m_frames[index];
    f.ComStart->setText(t.playing() ? QStringLiteral("STOP") : QStringLiteral("PLAY"));
    SetButtonColour(*f.ComStart, t.playing() ? kMagenta : kCyan);
    f.ComStart->setEnabled(t.loaded);
    // A loading track says so before its title; the percentage once the load takes a while.
    QString loadingCaption;
    if (t.loading()) {
        loadingCaption = t.loadPercent < 0 ? QStringLiteral("読込中… ")
                                           : QStringLiteral("読込中 %1% ").arg(t.loadPercent);
    }
    f.lblWavTitle->setText(loadingCaption + t.fileName);
    f.lblWavTitle->setToolTip(t.path);
    f.lblSample->setText(t.length44k == 0.0f
                             ? QStringLiteral("s")
                             : FormatNumber(t.duration, "#,###0.000") + QStringLiteral("s"));
    // Each control takes the track's value; one already showing it does not signal again.
    f.CheckLoop->setChecked(t.loop);
    f.CheckDuuk->setChecked(t.hold);
    f.HSVol->setValue(t.volume);
    f.HSPan->setValue(t.pan);
    f.HSFre->setValue(t.speed);
    f.fineSpeedCheck->setChecked(t.fineSpeed);
    f.HSFre->setSingleStep(t.fineSpeed ? 1 : 10);
    f.HSFre->setPageStep(t.fineSpeed ? 10 : 100);
    f.lblVolume->setText(QString::number(t.volume) + QStringLiteral("dB"));
    f.lblPan->setText(QString::number(t.pan));
    f.lblFrequency->setText(FrequencyLabel(t.speed));
    f.ratioBox->setCurrentIndex(f.ratioBox->findText(t.ratio));
    SetBackground(f, bank.mutedAlone(index) ? kBlue : t.loneWolf ? kGrey : ButtonFace());
    std::shared_ptr<const WaveOverview> overview =
        t.buffer != 0 ? m_app.trackSound.overview(t.buffer) : nullptr;
    f.waveform->setOverview(std::move(overview));
    f.waveform->setLooping(t.loop);
}

VoiceStatus TrackPanel::trackStatus(int index) const {
    VoiceStatus status;
    const std::int32_t buffer = m_app.bank.track(index).buffer;
    if (buffer == 0 || !m_app.trackSound.status(buffer, status)) {
        return {};
    }
    return status;
}

float TrackPanel::outputPeak() const {
    return m_app.sound.masterPeak();
}

void TrackPanel::showPlaying() {
    for (int i = 0; i < kTrackCount; ++i) {
        const VoiceStatus s = trackStatus(i);
        m_frames[i]->levelMeter->takePeak(s.peak);
        m_frames[i]->waveform->setPlayhead(s.playing ? std::optional(s.position) : std::nullopt);
    }
}

void TrackPanel::redrawBank() {
    const TrackBank& bank = m_app.bank;
    for (int i = 0; i < kTrackCount; ++i) {
        SetBackground(*m_frames[i]->trackNumberLabel,
                      i == bank.selectedTrack() ? kMagenta : ButtonFace());
    }
    SetForeground(*loneWolfLabel, bank.loneWolfMode() ? kYellow : QColor(Qt::black));
    QWidget& window = *m_frames[0]->window();
    if (bank.allTracksMuted() || window.autoFillBackground()) {
        window.setAutoFillBackground(true);
        SetBackground(window, bank.allTracksMuted() ? kBlue : ButtonFace());
    }
}

} // namespace mt
