#include "ui/MixPanel.h"
#include "ui/Colours.h"

#include "app/AppContext.h"
#include "ui/ClickableLabel.h"
#include "ui/TrackFrame.h"
#include "ui/TrackPanel.h"

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QEvent>
#include <QPushButton>
#include <QScrollBar>
#include <QSignalBlocker>

#include <functional>

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

MixPanel::MixPanel(AppContext& app, TrackPanel& tracks, QAction& lockAction, QWidget& client)
    : QObject(&client), m_app(app), m_tracks(tracks), m_mnuLock(lockAction) {
    matchTempoButton = new QPushButton(tr("テンポ合わせ"), &client);
    matchTempoButton->setObjectName(QStringLiteral("Comgo"));
    connect(matchTempoButton, &QPushButton::clicked, this, &MixPanel::onMatchTempoClicked);
    lockedLabel = new ClickableLabel(QStringLiteral("Lock On"), &client);
    lockedLabel->setObjectName(QStringLiteral("LabelLocked"));
    lockedLabel->setAlignment(Qt::AlignCenter);
    connect(lockedLabel, &ClickableLabel::mousePressed, this, [this](Qt::MouseButton button) {
        if (button == Qt::LeftButton && lockedLabel->isEnabled()) {
            onLockTriggered();
        }
    });
    connect(&m_mnuLock, &QAction::triggered, this, &MixPanel::onLockTriggered);
    for (int i = 0; i < kTrackCount; ++i) {
        wire(i);
    }
    connect(&m_app.tempo, &TempoControl::stateChanged, this, &MixPanel::redrawTempo);
    m_app.tempo.updateLockAvailability();
}

void MixPanel::wire(int i) {
    TrackFrame& f = m_tracks.frame(i);
    TrackBank& bank = m_app.bank;
    TempoControl& tempo = m_app.tempo;
    // valueChanged follows both the drag and every other change, so the sound follows it.
    connect(f.volumeBar, &QScrollBar::valueChanged, this,
            [&bank, i](int v) { bank.setVolume(i, v); });
    connect(f.panBar, &QScrollBar::valueChanged, this, [&bank, i](int v) { bank.setPan(i, v); });
    connect(f.speedBar, &QScrollBar::valueChanged, this,
            [&tempo, i](int v) { tempo.moveSpeed(i, v); });
    f.speedBar->installEventFilter(
        new GrabWatcher(f.speedBar, [&tempo] { tempo.captureSpeeds(); }));
    connect(f.panResetButton, &QPushButton::clicked, this, [this, i] { onPanResetClicked(i); });
    connect(f.speedResetButton, &QPushButton::clicked, this, [this, i] { onSpeedResetClicked(i); });
    connect(f.ratioBox, &QComboBox::activated, this, [this, i] { onRatioChosen(i); });
}

void MixPanel::redrawTempo() {
    const TempoControl& tempo = m_app.tempo;
    {
        const QSignalBlocker quiet(&m_mnuLock);
        m_mnuLock.setChecked(tempo.lockOn());
    }
    m_mnuLock.setEnabled(tempo.lockAvailable());
    lockedLabel->setEnabled(tempo.lockAvailable());
    SetForeground(*lockedLabel, tempo.lockOn() ? kYellow : QColor(Qt::black));
    const auto show = [](QCheckBox* box, bool ticked) {
        if (box != nullptr) {
            const QSignalBlocker quiet(box);
            box->setChecked(ticked);
        }
    };
    show(cdReferenceCheck, tempo.reference() == TempoReference::Cd);
    show(midiReferenceCheck, tempo.reference() == TempoReference::Midi);
}

void MixPanel::onPanResetClicked(int index) {
    m_app.bank.setPan(index, 0);
}

void MixPanel::onSpeedResetClicked(int index) {
    m_app.tempo.resetSpeed(index);
}

void MixPanel::onMatchTempoClicked() {
    m_app.tempo.match();
}

void MixPanel::onCdReferenceClicked() {
    m_app.tempo.useReference(TempoReference::Cd, cdReferenceCheck->isChecked());
    matchTempoButton->setFocus();
}

void MixPanel::onMidiReferenceClicked() {
    m_app.tempo.useReference(TempoReference::Midi, midiReferenceCheck->isChecked());
    matchTempoButton->setFocus();
}

void MixPanel::onRatioChosen(int index) {
    const QString ratio =
        TrackFrame::RatioTexts().value(m_tracks.frame(index).ratioBox->currentIndex());
    if (!formLoaded) {
        m_app.bank.setRatio(index, ratio);
        return;
    }
    m_app.tempo.chooseRatio(index, ratio);
    matchTempoButton->setFocus();
}

void MixPanel::onLockTriggered() {
    m_app.tempo.toggleLock();
}

} // namespace mt
