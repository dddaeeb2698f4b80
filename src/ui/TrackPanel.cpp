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
#include "ui/TrackLook.h"
#include "ui/WavInfoWindow.h"
#include "ui/WaveformView.h"

#include <QAction>
#include <QActionGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QCoreApplication>
#include <QLabel>
#include <QMenu>
#include <QPushButton>
#include <QScrollBar>

#include <optional>

namespace mt {
namespace {

using namespace colours;

// The keep-pitch shift as the performer reads it: semitones to two decimals, signed when not 0.
QString PitchText(int cents) {
    const QString number = QString::number(cents / 100.0, 'f', 2);
    return cents > 0 ? QStringLiteral("+") + number : number;
}

// Before the title: the load's progress, else the keep-pitch render's or its failure.
QString TitlePrefix(const Track& t) {
    if (t.loading()) {
        return t.loadPercent < 0 ? QCoreApplication::translate("mt::TrackPanel", "読込中… ")
                                 : QCoreApplication::translate("mt::TrackPanel", "読込中 %1% ")
                                       .arg(t.loadPercent);
    }
    if (t.renderState == RenderState::Rendering) {
        return t.renderPercent < 0 ? QCoreApplication::translate("mt::TrackPanel", "変換中… ")
                                   : QCoreApplication::translate("mt::TrackPanel", "変換中 %1% ")
                                         .arg(t.renderPercent);
    }
    return t.renderState == RenderState::Failed
               ? QCoreApplication::translate("mt::TrackPanel", "変換失敗 ")
               : QString();
}

} // namespace

TrackPanel::TrackPanel(AppContext& app, FileBrowser& browser, QMenu& trackPopup, QWidget& client)
    : QObject(&client), m_app(app), m_browser(browser), m_trackPopup(trackPopup) {
    for (int i = 0; i < kTrackCount; ++i) {
        m_frames[i] = new TrackFrame(i, &client);
        wire(i);
    }
    QAction* wavInfo = m_trackPopup.findChild<QAction*>(QStringLiteral("mnuWavInfo"));
    connect(wavInfo, &QAction::triggered, this, &TrackPanel::onWavInfoTriggered);
    QAction* loneWolfAction = m_trackPopup.findChild<QAction*>(QStringLiteral("mnuOokami"));
    loneWolfAction->setEnabled(true);
    connect(loneWolfAction, &QAction::triggered, this, &TrackPanel::onLoneWolfMemberTriggered);
    // One grid and one choke group at a time, each item the value of its place.
    const auto choices = [this](const char* menu, auto choose) {
        auto* group = new QActionGroup(this);
        const QList<QAction*> items =
            m_trackPopup.findChild<QMenu*>(QLatin1String(menu))->actions();
        for (qsizetype i = 0; i < items.size(); ++i) {
            items[i]->setCheckable(true);
            items[i]->setEnabled(true);
            group->addAction(items[i]);
            connect(items[i], &QAction::triggered, this,
                    [this, choose, i] { choose(m_popupTrack, static_cast<int>(i)); });
        }
    };
    choices("mnuQuantise", [this](int track, int grid) {
        m_app.bank.setQuantise(track, static_cast<Quantise>(grid));
    });
    choices("mnuChokeGroup",
            [this](int track, int group) { m_app.bank.setChokeGroup(track, group); });
    QAction* stopOnGrid = m_trackPopup.findChild<QAction*>(QStringLiteral("mnuStopOnGrid"));
    stopOnGrid->setEnabled(true);
    connect(stopOnGrid, &QAction::triggered, this, [this] {
        m_app.bank.setStopOnGrid(m_popupTrack, !m_app.bank.track(m_popupTrack).stopOnGrid);
    });
    QAction* keepPitch = m_trackPopup.findChild<QAction*>(QStringLiteral("mnuKeepPitch"));
    keepPitch->setEnabled(true);
    connect(keepPitch, &QAction::triggered, this, [this] {
        const bool keep = m_app.bank.track(m_popupTrack).keepsPitch();
        m_app.bank.setStretch(m_popupTrack, keep ? Stretch::Tape : Stretch::KeepPitch);
    });

    loneWolfLabel = new ClickableLabel(tr("一匹狼(F3)"), &client);
    loneWolfLabel->setObjectName(QStringLiteral("lblOrAliveOokamis"));
    loneWolfLabel->setAlignment(Qt::AlignCenter);
    connect(loneWolfLabel, &ClickableLabel::mousePressed, this, [this](Qt::MouseButton button) {
        if (button == Qt::LeftButton) {
            onLoneWolfModeClicked();
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
    connect(f.changeButton, &QPushButton::clicked, this, [this, i] { onChangeClicked(i); });
    connect(f.clearButton, &QPushButton::clicked, this, [this, i] { onClearClicked(i); });
    connect(f.startButton, &QPushButton::clicked, this, [this, i] { onStartClicked(i); });
    connect(f.fineSpeedCheck, &QCheckBox::clicked, this, [this, i] { onFineSpeedReleased(i); });
    // Every change of a box, by the performer or a setting file, is the track's.
    connect(f.loopCheck, &QCheckBox::toggled, this, [&bank, i](bool on) { bank.setLoop(i, on); });
    connect(f.holdCheck, &QCheckBox::toggled, this, [&bank, i](bool on) { bank.setHold(i, on); });
    connect(f.keepPitchButton, &QPushButton::toggled, this,
            [&bank, i](bool on) { bank.setStretch(i, on ? Stretch::KeepPitch : Stretch::Tape); });
    connect(f.pitchBar, &QScrollBar::valueChanged, this,
            [&bank, i](int cents) { bank.setPitch(i, cents); });
    connect(f.ratioBox, &QComboBox::currentIndexChanged, this,
            [&bank, i](int item) { bank.setRatio(i, TrackFrame::RatioTexts().value(item)); });
    connect(f.trackNumberLabel, &ClickableLabel::mousePressed, this,
            [this, i](Qt::MouseButton button, const QPoint& at) {
                if (button == Qt::RightButton) {
                    ShowTrackPopup(i, at);
                }
            });
}

void TrackPanel::onChangeClicked(int index) {
    const QString name = m_browser.fileName();
    if (name.isEmpty()) {
        return;
    }
    std::optional<WaitCursor> wait(std::in_place, m_app.platform.cursor);
    const TrackBank::Assigned result =
        m_app.bank.assign(index, FileBrowser::FullPath(m_browser.dirPath(), name));
    wait.reset(); // the sound itself loads in the background; the frame shows how far
    if (result == TrackBank::Assigned::EmptyFile) {
        m_app.showMessage(tr("このファイルはサイズが0です"));
    } else if (result == TrackBank::Assigned::Unreadable) {
        m_app.showMessage(tr("読み込み失敗。WAVファイルに何らかの問題があります"));
    } else if (result == TrackBank::Assigned::LineBreakInPath) {
        m_app.showMessage(tr("ファイル名かフォルダ名に改行が入っているため、このファイル"
                             "はトラックに割り当てられません。名前を変えてください"));
    }
    // With no buffer the library has said why, and with no sound device the window shows it.
}

void TrackPanel::onClearClicked(int index) {
    m_app.bank.clear(index);
}

void TrackPanel::onStartClicked(int index) {
    m_app.bank.toggle(index);
}

void TrackPanel::onLoneWolfModeClicked() {
    m_app.bank.toggleLoneWolfMode();
}

void TrackPanel::onLoneWolfMemberTriggered() {
    // The item's tick was set from the membership when the popup opened.
    const int track = m_popupTrack;
    m_app.bank.setLoneWolfMember(track, !m_app.bank.track(track).loneWolf());
}

void TrackPanel::onFineSpeedReleased(int index) {
    m_app.bank.setFineSpeed(index, m_frames[index]->fineSpeedCheck->isChecked());
}

void TrackPanel::ShowTrackPopup(int index, const QPoint& globalPos) {
    QAction* loneWolfAction = m_trackPopup.findChild<QAction*>(QStringLiteral("mnuOokami"));
    QAction* wavInfo = m_trackPopup.findChild<QAction*>(QStringLiteral("mnuWavInfo"));
    const Track& t = m_app.bank.track(index);
    loneWolfAction->setChecked(t.loneWolf());
    m_trackPopup.findChild<QMenu*>(QStringLiteral("mnuQuantise"))
        ->actions()
        .at(static_cast<int>(t.quantise))
        ->setChecked(true);
    m_trackPopup.findChild<QMenu*>(QStringLiteral("mnuChokeGroup"))
        ->actions()
        .at(t.chokeGroup)
        ->setChecked(true);
    m_trackPopup.findChild<QAction*>(QStringLiteral("mnuStopOnGrid"))->setChecked(t.stopOnGrid);
    m_trackPopup.findChild<QAction*>(QStringLiteral("mnuKeepPitch"))->setChecked(t.keepsPitch());
    wavInfo->setEnabled(t.loaded);
    m_popupTrack = index;
    m_trackPopup.popup(globalPos);
}

void TrackPanel::onWavInfoTriggered() {
    WavInfoWindow window(m_app.bank, m_popupTrack, m_frames[0]->window());
    m_app.platform.modals.run(window);
}

void TrackPanel::redrawTrack(int index) {
    const TrackBank& bank = m_app.bank;
    const Track& t = bank.track(index);
    TrackFrame& f = *m_frames[index];
    f.startButton->setText(look::StartCaption(t));
    SetButtonColour(*f.startButton, look::StartColour(t));
    f.startButton->setEnabled(t.loaded);
    // A loading or rendering track says so before its title, with the percentage once the work
    // takes a while; a failed render says why under the path.
    f.fileTitleLabel->setText(TitlePrefix(t) + t.fileName);
    const bool failed = t.renderState == RenderState::Failed && !t.renderError.isEmpty();
    f.fileTitleLabel->setToolTip(failed ? t.path + QLatin1Char('\n') + t.renderError : t.path);
    f.playTimeLabel->setText(t.length44k == 0.0f
                                 ? QStringLiteral("s")
                                 : FormatNumber(t.duration, "#,###0.000") + QStringLiteral("s"));
    // Each control takes the track's value; one already showing it does not signal again.
    f.loopCheck->setChecked(t.loop);
    f.holdCheck->setChecked(t.hold);
    f.volumeBar->setValue(t.volume);
    f.panBar->setValue(t.pan);
    f.speedBar->setValue(t.speed);
    f.fineSpeedCheck->setChecked(t.fineSpeed);
    f.speedBar->setSingleStep(t.fineSpeed ? 1 : 10);
    f.speedBar->setPageStep(t.fineSpeed ? 10 : 100);
    f.keepPitchButton->setChecked(t.keepsPitch());
    SetButtonColour(*f.keepPitchButton, t.keepsPitch() ? kYellow : ButtonFace());
    f.pitchLabel->setText(t.keepsPitch() ? PitchText(t.pitchCents) : tr("音程"));
    f.pitchBar->setValue(t.pitchCents);
    f.pitchBar->setEnabled(t.keepsPitch());
    f.pitchBar->setSingleStep(t.fineSpeed ? 1 : 100); // a cent or a semitone
    f.pitchBar->setPageStep(t.fineSpeed ? 10 : 100);
    f.volumeLabel->setText(QString::number(t.volume) + QStringLiteral("dB"));
    f.panLabel->setText(QString::number(t.pan));
    f.speedLabel->setText(FrequencyLabel(t.speed));
    f.ratioBox->setCurrentIndex(static_cast<int>(TrackFrame::RatioTexts().indexOf(t.ratio)));
    SetBackground(f, look::TrackBackground(t, bank.mutedAlone(index)));
    // The views show the sound the track plays: its keep-pitch sound once it has one.
    std::shared_ptr<const WaveOverview> overview =
        t.sounding() != 0 ? m_app.trackSound.overview(t.sounding()) : nullptr;
    f.waveform->setOverview(std::move(overview));
    f.waveform->setLooping(t.loop);
}

VoiceStatus TrackPanel::trackStatus(int index) const {
    VoiceStatus status;
    const std::int32_t buffer = m_app.bank.track(index).sounding();
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
