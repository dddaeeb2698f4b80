#include "ui/MixPanel.h"
#include "ui/Colours.h"

#include "audio/DsCalls.h"
#include "core/AppContext.h"
#include "core/TempoMath.h"
#include "platform/Numbers.h"
#include "ui/ClickableLabel.h"
#include "ui/TrackFrame.h"
#include "ui/TrackPanel.h"

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QEvent>
#include <QLabel>
#include <QPushButton>
#include <QScrollBar>

namespace mt {
namespace {

using namespace colours;

// Runs a callback when the performer takes hold of the watched widget: a mouse press on any
// part of it (seen before the widget acts on it, so before the value moves) or the keyboard
// focus. A scroll bar takes no focus from a click, so the press is what a mouse user gives.
class GrabWatcher final : public QObject {
public:
    GrabWatcher(QObject* parent, std::function<void()> onGrab)
        : QObject(parent), m_onGrab(std::move(onGrab)) {}

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::FocusIn || event->type() == QEvent::MouseButtonPress) {
            m_onGrab();
        }
        return QObject::eventFilter(watched, event);
    }

private:
    std::function<void()> m_onGrab;
};

} // namespace

MixPanel::MixPanel(AppContext& app, TrackPanel& tracks, QAction& mnuLock, QWidget& client)
    : QObject(&client), m_app(app), m_tracks(tracks), m_mnuLock(mnuLock) {
    Comgo = new QPushButton(QStringLiteral("テンポ合わせ"), &client);
    Comgo->setObjectName(QStringLiteral("Comgo"));
    connect(Comgo, &QPushButton::clicked, this, &MixPanel::Comgo_Click);
    LabelLocked = new ClickableLabel(QStringLiteral("Lock On"), &client);
    LabelLocked->setObjectName(QStringLiteral("LabelLocked"));
    LabelLocked->setAlignment(Qt::AlignCenter);
    connect(LabelLocked, &ClickableLabel::mousePressed, this, [this](Qt::MouseButton button) {
        if (button == Qt::LeftButton && LabelLocked->isEnabled()) {
            mnuLock_Click();
        }
    });
    connect(&m_mnuLock, &QAction::triggered, this, [this] {
        // Qt has already flipped the tick; mnuLock_Click decides from the tick as it was.
        m_mnuLock.setChecked(!m_mnuLock.isChecked());
        mnuLock_Click();
    });
    for (int i = 0; i < 8; ++i) {
        wire(i);
    }
    UpdateLockAvailability();
}

void MixPanel::wire(int i) {
    TrackFrame& f = m_tracks.frame(i);
    // valueChanged follows both the drag and every other change, so the sound follows it.
    connect(f.HSVol, &QScrollBar::valueChanged, this, [this, i] { HSVol_Change(i); });
    connect(f.HSPan, &QScrollBar::valueChanged, this, [this, i] { HSPan_Change(i); });
    connect(f.HSFre, &QScrollBar::valueChanged, this, [this, i] { HSFre_Change(i); });
    f.HSFre->installEventFilter(new GrabWatcher(f.HSFre, [this, i] { HSFre_GotFocus(i); }));
    connect(f.ComPanRes, &QPushButton::clicked, this, [this, i] { ComPanRes_Click(i); });
    connect(f.ComFreRes, &QPushButton::clicked, this, [this, i] { ComFreRes_Click(i); });
    connect(f.Combo, &QComboBox::activated, this, [this, i] { Combo_Click(i); });
}

QString MixPanel::comboText(int index) const {
    return m_tracks.frame(index).Combo->currentText();
}

bool MixPanel::isTicked(const QCheckBox* box) const {
    return box != nullptr && box->isChecked();
}

bool MixPanel::lockOn() const {
    return m_mnuLock.isChecked();
}

void MixPanel::HSVol_Change(int index) {
    TrackFrame& f = m_tracks.frame(index);
    if (m_app.bank.trackLoaded[index]) {
        dsSetVolume(m_app.bank.trackBuffer[index],
                    m_app.bank.soundingVolume(index, f.HSVol->value() * 100));
    }
    f.lblVolume->setText(QString::number(f.HSVol->value()) + QStringLiteral("dB"));
    m_app.bank.bankChanged = true;
}

void MixPanel::HSPan_Change(int index) {
    TrackFrame& f = m_tracks.frame(index);
    if (m_app.bank.trackLoaded[index]) {
        dsSetPan(m_app.bank.trackBuffer[index], f.HSPan->value() * 100);
    }
    f.lblPan->setText(QString::number(f.HSPan->value()));
    m_app.bank.bankChanged = true;
}

void MixPanel::HSFre_Change(int index) {
    TrackFrame& f = m_tracks.frame(index);
    TrackBank& bank = m_app.bank;
    if (bank.trackLoaded[index]) {
        if (lockOn()) {
            if (comboText(index) == kReferenceMark) {
                RematchUnderLock();
            }
            if (!lockMatchOk && !isTicked(ChkCDkijun) && !isTicked(ChkMIDIkijun)) {
                // Back to the bars as they were when one got the focus. Bars never captured
                // hold 0, outside the bar's range: those are left where they are.
                for (int j = 0; j < 8; ++j) {
                    if (lockedSpeedBars[j] != 0) {
                        m_tracks.frame(j).HSFre->setValue(lockedSpeedBars[j]);
                    }
                }
            }
        }
        dsSetFrequency(bank.trackBuffer[index],
                       PlaybackFrequency(f.HSFre->value(), bank.trackRateRatio[index]));
    }
    f.lblFrequency->setText(FrequencyLabel(f.HSFre->value()));
    m_tracks.ShowTrackDuration(index);
    bank.bankChanged = true;
}

void MixPanel::HSFre_GotFocus(int /*index*/) {
    if (lockOn()) {
        for (int j = 0; j < 8; ++j) {
            lockedSpeedBars[j] = m_tracks.frame(j).HSFre->value();
        }
    }
}

void MixPanel::RematchUnderLock() {
    lockMatchOk = true;
    double refLength44k = 0.0;
    double refSpeed = 0.0;
    for (int j = 0; j < 8; ++j) {
        if (comboText(j) == kReferenceMark) {
            refSpeed = m_tracks.frame(j).HSFre->value();
            refLength44k = m_app.bank.trackLength44k[j];
        }
    }
    const std::array<double, 8> ratio = ratioPass();
    for (int j = 0; j < 8 && lockMatchOk; ++j) {
        if (ratio[j] <= 0.0) {
            continue;
        }
        // Against the reference track's length, or with no reference length against the
        // file's own speed, in a narrower range.
        const double target =
            refLength44k != 0.0 ? m_app.bank.trackLength44k[j] * ratio[j] * refSpeed / refLength44k
                                : ratio[j] * 4410;
        const double highest = refLength44k != 0.0 ? 8990 : 8790;
        if (target >= 6 && target <= highest) {
            m_tracks.frame(j).HSFre->setValue(RoundHalfEvenToInt(target));
        } else {
            lockMatchOk = false;
        }
    }
}

void MixPanel::ComPanRes_Click(int index) {
    m_tracks.frame(index).HSPan->setValue(0);
}

void MixPanel::ComFreRes_Click(int index) {
    int speed = 4410;
    if (lockOn() && comboText(index) == kReferenceMark && lockedSpeed != 0) {
        speed = lockedSpeed;
    }
    m_tracks.frame(index).HSFre->setValue(speed);
}

void MixPanel::Comgo_Click() {
    if (isTicked(ChkCDkijun)) {
        MatchTempoToCd();
    } else if (isTicked(ChkMIDIkijun)) {
        MatchTempoToMidi();
    } else {
        MatchTempoToTrack();
    }
}

std::array<double, 8> MixPanel::ratioPass() const {
    std::array<double, 8> ratio{};
    for (int i = 0; i < 8; ++i) {
        ratio[i] = m_app.bank.trackLoaded[i] ? RatioOfComboText(comboText(i)) : 0.0;
    }
    return ratio;
}

void MixPanel::applyTarget(int index, double target) {
    const SpeedTarget t = JudgeSpeedTarget(target);
    if (t.verdict == SpeedTarget::Verdict::Apply) {
        m_tracks.frame(index).HSFre->setValue(t.speed);
    } else {
        m_app.showMessage(RefusedTargetMessage(t.verdict, index));
    }
}

void MixPanel::MatchTempoToTrack() {
    double refLength44k = 0.0;
    double refSpeed = 0.0;
    for (int i = 0; i < 8; ++i) {
        if (comboText(i) == kReferenceMark) {
            refSpeed = m_tracks.frame(i).HSFre->value();
            refLength44k = m_app.bank.trackLength44k[i];
        }
    }
    const std::array<double, 8> ratio = ratioPass();
    for (int i = 0; i < 8; ++i) {
        if (ratio[i] <= 0.0) {
            continue;
        }
        applyTarget(i, refLength44k != 0.0
                           ? m_app.bank.trackLength44k[i] * ratio[i] * refSpeed / refLength44k
                           : ratio[i] * 4410);
    }
}

void MixPanel::matchToBar(double barSeconds) {
    const std::array<double, 8> ratio = ratioPass();
    for (int i = 0; i < 8; ++i) {
        if (m_app.bank.trackLoaded[i] && ratio[i] > 0.0) {
            applyTarget(i, m_app.bank.trackLength44k[i] * ratio[i] / barSeconds / 10.0);
        }
    }
}

void MixPanel::MatchTempoToCd() {
    matchToBar(cdBarSeconds());
}

void MixPanel::MatchTempoToMidi() {
    matchToBar(midiBarSeconds());
}

void MixPanel::ChkCDkijun_Click() {
    UpdateLockAvailability();
    if (isTicked(ChkCDkijun) && ChkMIDIkijun != nullptr) {
        ChkMIDIkijun->setChecked(false);
    }
    Comgo->setFocus();
}

void MixPanel::ChkMIDIkijun_Click() {
    UpdateLockAvailability();
    if (isTicked(ChkMIDIkijun) && ChkCDkijun != nullptr) {
        ChkCDkijun->setChecked(false);
    }
    Comgo->setFocus();
}

void MixPanel::Combo_Click(int /*index*/) {
    if (formLoaded) {
        UpdateLockAvailability();
        Comgo->setFocus();
    }
    m_app.bank.bankChanged = true;
}

void MixPanel::UpdateLockAvailability() {
    bool referencePresent = isTicked(ChkCDkijun) || isTicked(ChkMIDIkijun);
    for (int i = 0; i < 8; ++i) {
        referencePresent = referencePresent || comboText(i) == kReferenceMark;
    }
    if (!referencePresent) {
        switchLockOff();
    } else {
        m_mnuLock.setEnabled(true);
        LabelLocked->setEnabled(true);
    }
}

void MixPanel::switchLockOff() {
    m_mnuLock.setChecked(false);
    m_mnuLock.setEnabled(false);
    LabelLocked->setEnabled(false);
    SetForeground(*LabelLocked, Qt::black);
}

void MixPanel::mnuLock_Click() {
    if (!m_mnuLock.isChecked()) {
        m_mnuLock.setChecked(true);
        for (int i = 0; i < 8; ++i) {
            if (comboText(i) == kReferenceMark) {
                lockedSpeed = m_tracks.frame(i).HSFre->value();
            }
        }
        SetForeground(*LabelLocked, kYellow);
    } else {
        m_mnuLock.setChecked(false);
        SetForeground(*LabelLocked, Qt::black);
    }
}

} // namespace mt
