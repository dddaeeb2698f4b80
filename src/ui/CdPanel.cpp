#include "ui/CdPanel.h"

#include "core/AppContext.h"
#include "platform/Numbers.h"
#include "ui/ClickableLabel.h"
#include "ui/PanelTime.h"

#include <QAction>
#include <QCheckBox>
#include <QLabel>
#include <QPushButton>
#include <QSpinBox>
#include <QStyle>
#include <QTimer>

#include <charconv>
#include <cmath>

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

// The shortest decimal that reads back as the same 32-bit float: 128, 117.647.
QString FloatText(float x) {
    char text[32];
    const auto end = std::to_chars(text, text + sizeof text, x).ptr;
    return QString::fromLatin1(text, static_cast<qsizetype>(end - text));
}

bool IsPlayingMode(const QString& mode) {
    for (const char* m : {"paused", "playing", "seeking", "stopped", "recording"}) {
        if (mode == QLatin1String(m)) {
            return true;
        }
    }
    return false;
}

const QString kPlaying = QStringLiteral("PLAYING");
const QString kPausing = QStringLiteral("PAUSING");
const QString kStopping = QStringLiteral("STOPPING");

} // namespace

CdPanel::CdPanel(AppContext& app, QWidget* parent)
    : QGroupBox(QStringLiteral("CD"), parent), m_cd(app.cd) {
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
    Label18 = Named(new QLabel(QStringLiteral("/"), this), "Label18");
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
    Label20 = Named(new QLabel(QStringLiteral("♪="), this), "Label20");
    lblCdBpm = Named(new QLabel(QStringLiteral("120.000"), this), "lblCdBpm");
    lblCDSec = Named(new QLabel(QStringLiteral("2.000"), this), "lblCDSec");
    SpinButtonCD = Named(new QSpinBox(this), "SpinButtonCD");
    SpinButtonCD->setRange(kMinBarMs, kMaxBarMs);
    SpinButtonCD->setSingleStep(1);
    SpinButtonCD->setValue(2000);
    // A typed bar applies when it is finished (Enter, leaving the box) or stepped by the
    // arrows, never digit by digit: typing 1875 must not play a 0.187 s bar on the way.
    SpinButtonCD->setKeyboardTracking(false);
    ChkCDkijun = Named(new QCheckBox(QStringLiteral("基準"), this), "ChkCDkijun");
    ComGoCDCount =
        Named(new QPushButton(QStringLiteral("BPMカウンター(&X)"), this), "ComGoCDCount");
    ComGoCDCount->setToolTip(QStringLiteral("BPM測定（もちろん手動)"));
    TimerCD = Named(new QTimer(this), "TimerCD");

    connect(ComCDStart, &QPushButton::clicked, this, [this] { ComCDStart_Click(); });
    connect(ComCDPause, &QPushButton::clicked, this, [this] { ComCDPause_Click(); });
    connect(ComCDStop, &QPushButton::clicked, this, [this] { ComCDStop_Click(); });
    connect(ComCDPrev, &QPushButton::clicked, this, [this] { ComCDPrev_Click(); });
    connect(ComCDNext, &QPushButton::clicked, this, [this] { ComCDNext_Click(); });
    connect(ComCD_RE, &QPushButton::clicked, this, [this] { ComCD_RE_Click(); });
    connect(ComCD_FF, &QPushButton::clicked, this, [this] { ComCD_FF_Click(); });
    connect(lblCDMarka, &ClickableLabel::mousePressed, this, [this](Qt::MouseButton button) {
        if (button == Qt::LeftButton) {
            lblCDMarka_Click();
        }
    });
    connect(lblCDMarkb, &ClickableLabel::mousePressed, this, [this](Qt::MouseButton button) {
        if (button == Qt::LeftButton) {
            lblCDMarkb_Click();
        }
    });
    connect(SpinButtonCD, &QSpinBox::valueChanged, this, [this] { SpinButtonCD_Change(); });
    connect(ComGoCDCount, &QPushButton::clicked, this, [this] {
        if (onBpmCounter) {
            onBpmCounter();
        }
    });
    connect(TimerCD, &QTimer::timeout, this, [this] { TimerCD_Timer(); });
}

void CdPanel::setTransport(std::initializer_list<QPushButton*> buttons, bool enabled) {
    for (QPushButton* b : buttons) {
        b->setEnabled(enabled);
    }
}

void CdPanel::showTracks() {
    lbltrack->setText(QString::number(m_cd.state.cdCurrentTrack));
    lblAllTrack->setText(QString::number(m_cd.state.cdTrackCount));
}

void CdPanel::takeDiscIn() {
    CdState& s = m_cd.state;
    s.cdTrackCount = m_cd.mci.GetAllTracksCD();
    s.cdCurrentTrack = m_cd.mci.GetTrackCD();
    s.cdPlayState = kStopping;
    setTransport({ComCDStart, ComCDNext}, true);
    showTracks();
}

void CdPanel::OpenOnShow() {
    CdState& s = m_cd.state;
    if (s.cdOpened) {
        return;
    }
    s.cdOpened = m_cd.mci.OpenCD(false);
    if (s.cdOpened) {
        s.cdMediaPresent = m_cd.mci.IsMediaPresentCD();
        if (s.cdMediaPresent) {
            takeDiscIn();
        }
    }
    TimerCD->start(kWatchMs); // also without a device: the watch opens it when it can
}

void CdPanel::clearForOpenTray() {
    CdState& s = m_cd.state;
    s.cdPlayState.clear();
    s.cdMediaPresent = false;
    setTransport({ComCDStart, ComCDPause, ComCD_RE, ComCD_FF, ComCDStop, ComCDPrev, ComCDNext},
                 false);
    ChkCDAbloop->setEnabled(false);
    ChkCDAbloop->setChecked(false);
    s.cdLoopStart = 0;
    s.cdLoopEnd = 0;
    lblCDMarka->setText(QStringLiteral("a:00:00:00"));
    lblCDMarkb->setText(QStringLiteral("b:00:00:00"));
    lbltrack->setText(QStringLiteral("0"));
    lblAllTrack->setText(QStringLiteral("0"));
    lblCDTime->setText(QStringLiteral("00:00"));
}

void CdPanel::TimerCD_Timer() {
    // A failing drive reports on the tick; the box is modal and the timer keeps firing
    // under it, so without this each tick would stack one more box.
    if (m_inWatch) {
        return;
    }
    m_inWatch = true;
    watch();
    m_inWatch = false;
}

void CdPanel::watch() {
    CdState& s = m_cd.state;
    ModuleMCI& mci = m_cd.mci;
    const QString mode = mci.GetStatusCD(true);
    if (mode == QLatin1String("open")) {
        if (s.cdOpened) {
            clearForOpenTray();
        }
        return;
    }
    if (!IsPlayingMode(mode)) {
        return; // "not ready", nothing, or a word the panel does not know
    }
    if (!s.cdPlayState.isEmpty()) {
        if (!s.cdOpened || !s.cdMediaPresent) {
            return;
        }
        s.cdCurrentTrack = mci.GetTrackCD();
        s.cdTrackCount = mci.GetAllTracksCD();
        showTracks();
        const std::int32_t elapsed = mci.GetTime_inTrackCD(s.cdCurrentTrack);
        FormatPanelTime(*lblCDTime, RoundHalfEvenToInt(elapsed / 10.0), 1);
        // The loop jumps only while the panel plays: the jump always plays, and a paused or
        // stopped disc must not start by itself because it was moved past B.
        if (ChkCDAbloop->isEnabled() && ChkCDAbloop->isChecked() && s.cdPlayState == kPlaying &&
            mci.GetTime_inTrackCD(s.cdCurrentTrack) >= s.cdLoopEnd) {
            mci.BackToLoopStartCD();
        }
        return;
    }
    // A disc was inserted, or the first disc is seen.
    if (s.cdOpened) {
        s.cdMediaPresent = mci.IsMediaPresentCD();
        if (!s.cdMediaPresent) {
            return;
        }
    } else {
        s.cdOpened = mci.OpenCD(true);
        if (!s.cdOpened) {
            return;
        }
        s.cdMediaPresent = mci.IsMediaPresentCD();
        if (!s.cdMediaPresent) {
            return;
        }
    }
    takeDiscIn();
    mci.PerfectHeadCD();
}

void CdPanel::ComCDStart_Click() {
    CdState& s = m_cd.state;
    if ((s.cdPlayState == kPausing || s.cdPlayState == kStopping) && m_cd.mci.PlayCD()) {
        setTransport({ComCDPause, ComCDStop, ComCDPrev, ComCDNext, ComCD_FF, ComCD_RE}, true);
        ComCDStart->setEnabled(false);
        s.cdPlayState = kPlaying;
    }
}

void CdPanel::ComCDPause_Click() {
    CdState& s = m_cd.state;
    if (s.cdPlayState == kPlaying && m_cd.mci.PauseCD()) {
        s.cdPlayState = kPausing;
        setTransport({ComCDPause, ComCDStop}, false);
        ComCDStart->setEnabled(true);
    }
}

void CdPanel::ComCDStop_Click() {
    if (m_cd.mci.StopCD()) {
        m_cd.state.cdPlayState = kStopping;
        ComCDStart->setEnabled(true);
        setTransport({ComCDPause, ComCDStop}, false);
    }
}

void CdPanel::ComCDNext_Click() {
    m_cd.mci.NextCD();
}

void CdPanel::ComCDPrev_Click() {
    m_cd.mci.PrevCD();
}

void CdPanel::ComCD_FF_Click() {
    m_cd.mci.FfCD();
}

void CdPanel::ComCD_RE_Click() {
    m_cd.mci.ReCD();
}

void CdPanel::setLoopBoxFromMarks() {
    ChkCDAbloop->setEnabled(m_cd.state.cdLoopEnd > m_cd.state.cdLoopStart);
}

void CdPanel::lblCDMarka_Click() {
    CdState& s = m_cd.state;
    if (!s.cdOpened || !s.cdMediaPresent) {
        return;
    }
    s.cdLoopStart = m_cd.mci.GetTime_inTrackCD(s.cdCurrentTrack);
    FormatPanelTime(*lblCDMarka, RoundHalfEvenToInt(s.cdLoopStart / 10.0), 2);
    setLoopBoxFromMarks();
}

void CdPanel::lblCDMarkb_Click() {
    CdState& s = m_cd.state;
    if (!s.cdOpened || !s.cdMediaPresent) {
        return;
    }
    s.cdLoopEnd = m_cd.mci.GetTime_inTrackCD(s.cdCurrentTrack);
    FormatPanelTime(*lblCDMarkb, RoundHalfEvenToInt(s.cdLoopEnd / 10.0), 3);
    setLoopBoxFromMarks();
}

void CdPanel::SpinButtonCD_Change() {
    CdState& s = m_cd.state;
    s.cdBarSeconds = SpinButtonCD->value() / 1000.0 + s.cdBarSecondsBase;
    lblCDSec->setText(FormatNumber(s.cdBarSeconds, "#,###0.000"));
    s.cdBpm = static_cast<float>(RoundHalfUp(60.0 / s.cdBarSeconds * 4.0, 3));
    lblCdBpm->setText(FloatText(s.cdBpm));
    if (ChkCDkijun->isChecked() && mnuLock != nullptr && mnuLock->isChecked() && onBarChanged) {
        onBarChanged();
    }
}

void CdPanel::takeBar(double seconds, float bpm) {
    CdState& s = m_cd.state;
    const bool moved = seconds != s.cdBarSeconds;
    // A hair above the product keeps 2.001 s from reading as 2000.9999... ms.
    const double wholeMs = std::floor(seconds * 1000.0 + 1e-7);
    s.cdBarSeconds = seconds;
    s.cdBarSecondsBase = seconds - wholeMs / 1000.0;
    lblCDSec->setText(FormatNumber(RoundHalfUp(seconds, 3), "#,###0.000"));
    const std::int32_t spin = RoundHalfEvenToInt(wholeMs);
    if (SpinButtonCD->value() != spin) {
        SpinButtonCD->setValue(spin); // its change handler runs
    } else if (moved) {
        SpinButtonCD_Change();
    }
    s.cdBpm = bpm;
    lblCdBpm->setText(FloatText(bpm));
}

} // namespace mt
