#include "ui/CdPanel.h"

#include "app/AppContext.h"
#include "core/CdBar.h"
#include "media/cd/CdPlayer.h"
#include "platform/Numbers.h"
#include "ui/ClickableLabel.h"
#include "ui/Colours.h"
#include "ui/PanelTime.h"

#include <QCheckBox>
#include <QLabel>
#include <QPushButton>
#include <QSpinBox>
#include <QStyle>

namespace mt {
namespace {

template <typename W> W* Named(W* widget, const char* name) {
    widget->setObjectName(QLatin1String(name));
    return widget;
}

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
    ComCDStart = PictureButton(this, "ComCDStart", QStyle::SP_MediaPlay);
    ComCDPause = PictureButton(this, "ComCDPause", QStyle::SP_MediaPause);
    ComCDStop = PictureButton(this, "ComCDStop", QStyle::SP_MediaStop);
    ComCDPrev = PictureButton(this, "ComCDPrev", QStyle::SP_MediaSkipBackward);
    ComCDNext = PictureButton(this, "ComCDNext", QStyle::SP_MediaSkipForward);
    ComCD_RE = PictureButton(this, "ComCD_RE", QStyle::SP_MediaSeekBackward);
    ComCD_FF = PictureButton(this, "ComCD_FF", QStyle::SP_MediaSeekForward);
    lbltrack = Named(new QLabel(QStringLiteral("0"), this), "lbltrack");
    lbltrack->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    cdTrackSeparator = Named(new QLabel(QStringLiteral("/"), this), "Label18");
    lblAllTrack = Named(new QLabel(QStringLiteral("0"), this), "lblAllTrack");
    lblCDTime = Named(new QLabel(QStringLiteral("00:00"), this), "lblCDTime");
    lblCDMarka = Named(new ClickableLabel(QStringLiteral("a:00:00:00"), this), "lblCDMarka");
    lblCDMarka->setToolTip(QStringLiteral("ループスタートのセット"));
    lblCDMarkb = Named(new ClickableLabel(QStringLiteral("b:00:00:00"), this), "lblCDMarkb");
    lblCDMarkb->setToolTip(QStringLiteral("ループエンドのセット"));
    for (QLabel* mark : {static_cast<QLabel*>(lblCDMarka), static_cast<QLabel*>(lblCDMarkb)}) {
        mark->setCursor(Qt::PointingHandCursor);
        mark->setFrameShape(QFrame::Panel);
        mark->setFrameShadow(QFrame::Raised);
    }
    ChkCDAbloop = Named(new QCheckBox(QStringLiteral("[a-b]loop"), this), "ChkCDAbloop");
    ChkCDAbloop->setEnabled(false);
    cdBpmCaption = Named(new QLabel(QStringLiteral("♪="), this), "Label20");
    lblCdBpm = Named(new QLabel(QStringLiteral("120.000"), this), "lblCdBpm");
    lblCDSec = Named(new QLabel(QStringLiteral("2.000"), this), "lblCDSec");
    SpinButtonCD = Named(new QSpinBox(this), "SpinButtonCD");
    SpinButtonCD->setRange(CdBar::kShortestMs, CdBar::kLongestMs);
    SpinButtonCD->setSingleStep(1);
    SpinButtonCD->setValue(2000);
    // A typed bar applies when it is finished (Enter, leaving the box) or stepped by the
    // arrows, never digit by digit: typing 1875 must not play a 0.187 s bar on the way.
    SpinButtonCD->setKeyboardTracking(false);
    cdReferenceCheck = Named(new QCheckBox(QStringLiteral("基準"), this), "ChkCDkijun");
    ComGoCDCount =
        Named(new QPushButton(QStringLiteral("BPMカウンター(&X)"), this), "ComGoCDCount");
    ComGoCDCount->setToolTip(QStringLiteral("BPM測定（もちろん手動)"));

    CdPlayer* cd = &m_cd;
    connect(ComCDStart, &QPushButton::clicked, cd, &CdPlayer::start);
    connect(ComCDPause, &QPushButton::clicked, cd, &CdPlayer::pause);
    connect(ComCDStop, &QPushButton::clicked, cd, &CdPlayer::stop);
    connect(ComCDPrev, &QPushButton::clicked, cd, &CdPlayer::previous);
    connect(ComCDNext, &QPushButton::clicked, cd, &CdPlayer::next);
    connect(ComCD_RE, &QPushButton::clicked, cd, &CdPlayer::rewind);
    connect(ComCD_FF, &QPushButton::clicked, cd, &CdPlayer::forward);
    connect(lblCDMarka, &ClickableLabel::mousePressed, cd, [cd](Qt::MouseButton button) {
        if (button == Qt::LeftButton) {
            cd->markLoopStart();
        }
    });
    connect(lblCDMarkb, &ClickableLabel::mousePressed, cd, [cd](Qt::MouseButton button) {
        if (button == Qt::LeftButton) {
            cd->markLoopEnd();
        }
    });
    connect(ChkCDAbloop, &QCheckBox::toggled, cd, &CdPlayer::setLoopOn);
    connect(SpinButtonCD, &QSpinBox::valueChanged, &m_bar, &CdBar::setWholeMs);
    connect(ComGoCDCount, &QPushButton::clicked, this, [this] {
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
        {ComCDStart, kCdStart}, {ComCDPause, kCdPause}, {ComCDStop, kCdStop},  {ComCDPrev, kCdPrev},
        {ComCDNext, kCdNext},   {ComCD_RE, kCdRewind},  {ComCD_FF, kCdForward}};
    for (const auto& [button, flag] : buttons) {
        button->setEnabled(m_cd.canPress(flag));
    }
    setTitle(m_cd.checkingImage() ? QStringLiteral("CD 確認中") : QStringLiteral("CD"));
    lbltrack->setText(QString::number(s.cdCurrentTrack));
    lblAllTrack->setText(QString::number(s.cdTrackCount));
    FormatPanelTime(*lblCDTime, RoundHalfEvenToInt(s.cdTimeInTrack / 10.0), 1);
    FormatPanelTime(*lblCDMarka, RoundHalfEvenToInt(s.cdLoopStart / 10.0), 2);
    FormatPanelTime(*lblCDMarkb, RoundHalfEvenToInt(s.cdLoopEnd / 10.0), 3);
    ChkCDAbloop->setEnabled(m_cd.loopAvailable());
    ChkCDAbloop->setChecked(s.loopOn);
    if (s.cdMuted != m_shownMuted) {
        m_shownMuted = s.cdMuted;
        colours::SetBackground(*this, s.cdMuted ? colours::kBlue : colours::ButtonFace());
    }
}

void CdPanel::showBar() {
    if (SpinButtonCD->value() != m_bar.wholeMs()) {
        const QSignalBlocker quiet(SpinButtonCD); // the bar has it already
        SpinButtonCD->setValue(m_bar.wholeMs());
    }
    lblCDSec->setText(m_bar.secondsText());
    lblCdBpm->setText(m_bar.bpmText());
}

} // namespace mt
