#include "ui/PlayModeWindow.h"

#include "core/TrackBank.h"
#include "ui/ClickableLabel.h"
#include "ui/ColourButton.h"
#include "ui/Colours.h"
#include "ui/DisplayFeed.h"
#include "ui/LevelMeter.h"
#include "ui/TrackLook.h"
#include "ui/TrackPanel.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

namespace mt {

using namespace colours;

PlayModeWindow::PlayModeWindow(TrackBank& bank, TrackPanel& tracks)
    : m_bank(bank), m_tracks(tracks) {
    setObjectName(QStringLiteral("Form2"));
    setAttribute(Qt::WA_DeleteOnClose);
    setAutoFillBackground(true);
    static const char* const kNumbers[] = {"1-Z", "2-X", "3-C", "4-A", "5-S", "6-D", "7-W", "8-E"};
    auto* rows = new QGridLayout;
    for (int i = 0; i < kTrackCount; ++i) {
        const QString index = QStringLiteral("(%1)").arg(i);
        QFrame* frame = trackRows[i] = new QFrame(this);
        frame->setObjectName(QStringLiteral("Frame1") + index);
        frame->setFrameShape(QFrame::Box);
        frame->setAutoFillBackground(true);
        trackKeyLabels[i] = new ClickableLabel(QLatin1String(kNumbers[i]), frame);
        trackKeyLabels[i]->setObjectName(QStringLiteral("Label1") + index);
        trackKeyLabels[i]->setAutoFillBackground(true);
        trackKeyLabels[i]->setAlignment(Qt::AlignCenter);
        fileNameLabels[i] = new QLabel(QStringLiteral("Label2"), frame);
        fileNameLabels[i]->setObjectName(QStringLiteral("Label2") + index);
        fileNameLabels[i]->setMinimumWidth(160);
        playModeStartButtons[i] = new ColourButton(QStringLiteral("PLAY"), frame);
        playModeStartButtons[i]->setObjectName(QStringLiteral("ComStart2") + index);
        playModeLoopChecks[i] = new QCheckBox(QStringLiteral("L"), frame);
        playModeLoopChecks[i]->setObjectName(QStringLiteral("CheckLoop2") + index);
        playModeHoldChecks[i] = new QCheckBox(QStringLiteral("D"), frame);
        playModeHoldChecks[i]->setObjectName(QStringLiteral("CheckDuuk2") + index);
        levelMeters[i] = new LevelMeter(frame);
        levelMeters[i]->setObjectName(QStringLiteral("levelMeter2") + index);
        levelMeters[i]->setFixedSize(60, 12);

        auto* row = new QHBoxLayout(frame);
        row->addWidget(trackKeyLabels[i]);
        row->addWidget(fileNameLabels[i], 1);
        row->addWidget(levelMeters[i]);
        row->addWidget(playModeStartButtons[i]);
        row->addWidget(playModeLoopChecks[i]);
        row->addWidget(playModeHoldChecks[i]);
        rows->addWidget(frame, i % 4, i / 4);

        connect(playModeStartButtons[i], &QPushButton::clicked, this,
                [this, i] { onPlayModeStartClicked(i); });
        connect(playModeLoopChecks[i], &QCheckBox::clicked, this,
                [this, i] { onPlayModeLoopReleased(i); });
        connect(playModeHoldChecks[i], &QCheckBox::clicked, this,
                [this, i] { onPlayModeHoldReleased(i); });
        connect(trackKeyLabels[i], &ClickableLabel::mousePressed, this,
                [this, i](Qt::MouseButton button, const QPoint& at) {
                    if (button == Qt::RightButton) {
                        m_tracks.ShowTrackPopup(i, at);
                    }
                });
    }
    backButton = new QPushButton(tr("戻る"), this);
    backButton->setObjectName(QStringLiteral("ComBack"));
    connect(backButton, &QPushButton::clicked, this, &PlayModeWindow::onBackClicked);
    loneWolfLabel = new ClickableLabel(tr("一匹狼(F3)"), this);
    loneWolfLabel->setObjectName(QStringLiteral("lblOrAliveOokamis"));
    connect(loneWolfLabel, &ClickableLabel::mousePressed, this, [this](Qt::MouseButton b) {
        if (b == Qt::LeftButton) {
            m_bank.toggleLoneWolfMode();
        }
    });
    connect(&m_bank, &TrackBank::trackChanged, this, &PlayModeWindow::redrawTrack);
    connect(&m_bank, &TrackBank::bankStateChanged, this, &PlayModeWindow::redrawBank);

    masterMeter = new LevelMeter(this);
    masterMeter->setObjectName(QStringLiteral("masterMeter"));
    masterMeter->setFixedSize(60, 12);
    auto* feed = new DisplayFeed(*this);
    feed->add([this] {
        for (int i = 0; i < kTrackCount; ++i) {
            levelMeters[i]->takePeak(m_tracks.trackStatus(i).peak);
        }
        masterMeter->takePeak(m_tracks.outputPeak());
    });

    auto* bottom = new QHBoxLayout;
    bottom->addWidget(loneWolfLabel);
    bottom->addWidget(masterMeter);
    bottom->addStretch(1);
    bottom->addWidget(backButton);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(rows);
    layout->addLayout(bottom);
    for (int i = 0; i < kTrackCount; ++i) {
        redrawTrack(i);
    }
    redrawBank();
}

void PlayModeWindow::refresh(const QString& settingFileTitle) {
    setWindowTitle(settingFileTitle + QStringLiteral(" - Mtn"));
}

void PlayModeWindow::redrawTrack(int index) {
    const Track& t = m_bank.track(index);
    fileNameLabels[index]->setText(t.fileName);
    playModeStartButtons[index]->setEnabled(t.loaded);
    playModeStartButtons[index]->setText(look::StartCaption(t));
    SetButtonColour(*playModeStartButtons[index], look::StartColour(t));
    playModeLoopChecks[index]->setChecked(t.loop);
    playModeHoldChecks[index]->setChecked(t.hold);
    SetBackground(*trackRows[index], look::TrackBackground(t, m_bank.mutedAlone(index)));
}

void PlayModeWindow::redrawBank() {
    for (int i = 0; i < kTrackCount; ++i) {
        SetBackground(*trackKeyLabels[i], i == m_bank.selectedTrack() ? kMagenta : ButtonFace());
    }
    SetForeground(*loneWolfLabel, m_bank.loneWolfMode() ? kYellow : QColor(Qt::black));
    SetBackground(*this, m_bank.allTracksMuted() ? kBlue : ButtonFace());
}

void PlayModeWindow::onPlayModeStartClicked(int index) {
    m_bank.toggle(index);
}

void PlayModeWindow::onPlayModeLoopReleased(int index) {
    m_bank.setLoop(index, playModeLoopChecks[index]->isChecked());
}

void PlayModeWindow::onPlayModeHoldReleased(int index) {
    m_bank.setHold(index, playModeHoldChecks[index]->isChecked());
}

void PlayModeWindow::onBackClicked() {
    if (showMain) {
        showMain();
    }
    hide();
}

void PlayModeWindow::closeEvent(QCloseEvent* event) {
    onBackClicked();
    QWidget::closeEvent(event);
}

} // namespace mt
