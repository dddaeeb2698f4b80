#include "ui/CdPanel.h"

#include "app/AppContext.h"
#include "core/CdBar.h"
#include "media/cd/CdPlayer.h"
#include "platform/Numbers.h"
#include "ui/ClickableLabel.h"
#include "ui/Colours.h"
#include "ui/NamedWidget.h"
#include "ui/PanelTime.h"

#include <QCheckBox>
#include <QLabel>
#include <QPushButton>
#include <QSpinBox>
#include <QStyle>

namespace mt {
namespace {

QPushButton* PictureButton(QWidget* parent, const char* name, QStyle::StandardPixmap picture) {
    auto* button = Named(new QPushButton(parent), name);
    button->setIcon(parent->style()->standardIcon(picture));
    button->setEnabled(false);
    return button;
}

} // namespace

CdPanel::CdPanel(AppContext& app, QWidget* parent)
    : QGroupBox(QStringLiteral("CD"), parent), m_cd(app.cd), m_bar(app.cdBar) {
    setObjectName(QStringLiteral("FrameCD"));
    cdStartButton = PictureButton(this, "ComCDStart", QStyle::SP_MediaPlay);
    cdPauseButton = PictureButton(this, "ComCDPause", QStyle::SP_MediaPause);
    cdStopButton = PictureButton(this, "ComCDStop", QStyle::SP_MediaStop);
    cdPreviousButton = PictureButton(this, "ComCDPrev", QStyle::SP_MediaSkipBackward);
    cdNextButton = PictureButton(this, "ComCDNext", QStyle::SP_MediaSkipForward);
    cdRewindButton = PictureButton(this, "ComCD_RE", QStyle::SP_MediaSeekBackward);
    cdForwardButton = PictureButton(this, "ComCD_FF", QStyle::SP_MediaSeekForward);
    cdTrackLabel = Named(new QLabel(QStringLiteral("0"), this), "lbltrack");
    cdTrackLabel->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    cdTrackSeparator = Named(new QLabel(QStringLiteral("/"), this), "Label18");
    cdTrackCountLabel = Named(new QLabel(QStringLiteral("0"), this), "lblAllTrack");
    cdTimeLabel = Named(new QLabel(QStringLiteral("00:00"), this), "lblCDTime");
    cdLoopStartLabel = Named(new ClickableLabel(QStringLiteral("a:00:00:00"), this), "lblCDMarka");
    cdLoopStartLabel->setToolTip(tr("ループスタートのセット"));
    cdLoopEndLabel = Named(new ClickableLabel(QStringLiteral("b:00:00:00"), this), "lblCDMarkb");
    cdLoopEndLabel->setToolTip(tr("ループエンドのセット"));
    for (QLabel* mark :
         {static_cast<QLabel*>(cdLoopStartLabel), static_cast<QLabel*>(cdLoopEndLabel)}) {
        mark->setCursor(Qt::PointingHandCursor);
        mark->setFrameShape(QFrame::Panel);
        mark->setFrameShadow(QFrame::Raised);
    }
    cdAbLoopCheck = Named(new QCheckBox(QStringLiteral("[a-b]loop"), this), "ChkCDAbloop");
    cdAbLoopCheck->setEnabled(false);
    cdBpmCaption = Named(new QLabel(QStringLiteral("♪="), this), "Label20");
    cdBpmLabel = Named(new QLabel(QStringLiteral("120.000"), this), "lblCdBpm");
    cdBarSecondsLabel = Named(new QLabel(QStringLiteral("2.000"), this), "lblCDSec");
    cdBarSpin = Named(new QSpinBox(this), "SpinButtonCD");
    cdBarSpin->setRange(CdBar::kShortestMs, CdBar::kLongestMs);
    cdBarSpin->setSingleStep(1);
    cdBarSpin->setValue(2000);
    // A typed bar applies when it is finished (Enter, leaving the box) or stepped by the
    // arrows, never digit by digit: typing 1875 must not play a 0.187 s bar on the way.
    cdBarSpin->setKeyboardTracking(false);
    cdReferenceCheck = Named(new QCheckBox(tr("基準"), this), "ChkCDkijun");
    cdCounterButton = Named(new QPushButton(tr("BPMカウンター(&X)"), this), "ComGoCDCount");
    cdCounterButton->setToolTip(tr("BPM測定（もちろん手動)"));

    CdPlayer* cd = &m_cd;
    connect(cdStartButton, &QPushButton::clicked, cd, &CdPlayer::start);
    connect(cdPauseButton, &QPushButton::clicked, cd, &CdPlayer::pause);
    connect(cdStopButton, &QPushButton::clicked, cd, &CdPlayer::stop);
    connect(cdPreviousButton, &QPushButton::clicked, cd, &CdPlayer::previous);
    connect(cdNextButton, &QPushButton::clicked, cd, &CdPlayer::next);
    connect(cdRewindButton, &QPushButton::clicked, cd, &CdPlayer::rewind);
    connect(cdForwardButton, &QPushButton::clicked, cd, &CdPlayer::forward);
    connect(cdLoopStartLabel, &ClickableLabel::mousePressed, cd, [cd](Qt::MouseButton button) {
        if (button == Qt::LeftButton) {
            cd->markLoopStart();
        }
    });
    connect(cdLoopEndLabel, &ClickableLabel::mousePressed, cd, [cd](Qt::MouseButton button) {
        if (button == Qt::LeftButton) {
            cd->markLoopEnd();
        }
    });
    connect(cdAbLoopCheck, &QCheckBox::toggled, cd, &CdPlayer::setLoopOn);
    connect(cdBarSpin, &QSpinBox::valueChanged, &m_bar, &CdBar::setWholeMs);
    connect(cdCounterButton, &QPushButton::clicked, this, [this] {
        if (onBpmCounter) {
            onBpmCounter();
        }
    });
    connect(cd, &CdPlayer::changed, this, &CdPanel::showPlayer);
    connect(&m_bar, &CdBar::changed, this, &CdPanel::showBar);
}

void CdPanel::OpenOnShow() {
    m_cd.openOnShow();
}

void CdPanel::showPlayer() {
    const CdState& s = m_cd.state;
    const std::pair<QPushButton*, CdButton> buttons[] = {
        {cdStartButton, kCdStart},    {cdPauseButton, kCdPause}, {cdStopButton, kCdStop},
        {cdPreviousButton, kCdPrev},  {cdNextButton, kCdNext},   {cdRewindButton, kCdRewind},
        {cdForwardButton, kCdForward}};
    for (const auto& [button, flag] : buttons) {
        button->setEnabled(m_cd.canPress(flag));
    }
    setTitle(m_cd.checkingImage() ? tr("CD 確認中") : QStringLiteral("CD"));
    cdTrackLabel->setText(QString::number(s.cdCurrentTrack));
    cdTrackCountLabel->setText(QString::number(s.cdTrackCount));
    FormatPanelTime(*cdTimeLabel, RoundHalfEvenToInt(s.cdTimeInTrack / 10.0), 1);
    FormatPanelTime(*cdLoopStartLabel, RoundHalfEvenToInt(s.cdLoopStart / 10.0), 2);
    FormatPanelTime(*cdLoopEndLabel, RoundHalfEvenToInt(s.cdLoopEnd / 10.0), 3);
    cdAbLoopCheck->setEnabled(m_cd.loopAvailable());
    cdAbLoopCheck->setChecked(s.loopOn);
    if (s.cdMuted != m_shownMuted) {
        m_shownMuted = s.cdMuted;
        colours::SetBackground(*this, s.cdMuted ? colours::kBlue : colours::ButtonFace());
    }
}

void CdPanel::showBar() {
    if (cdBarSpin->value() != m_bar.wholeMs()) {
        const QSignalBlocker quiet(cdBarSpin); // the bar has it already
        cdBarSpin->setValue(m_bar.wholeMs());
    }
    cdBarSecondsLabel->setText(m_bar.secondsText());
    cdBpmLabel->setText(m_bar.bpmText());
}

} // namespace mt
