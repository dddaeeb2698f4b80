#include "ui/PlayModeWindow.h"

#include "core/TrackBank.h"
#include "ui/ClickableLabel.h"
#include "ui/Colours.h"
#include "ui/DisplayFeed.h"
#include "ui/LevelMeter.h"
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
        ComStart2[i] = new QPushButton(QStringLiteral("PLAY"), frame);
        ComStart2[i]->setObjectName(QStringLiteral("ComStart2") + index);
        CheckLoop2[i] = new QCheckBox(QStringLiteral("L"), frame);
        CheckLoop2[i]->setObjectName(QStringLiteral("CheckLoop2") + index);
        CheckDuuk2[i] = new QCheckBox(QStringLiteral("D"), frame);
        CheckDuuk2[i]->setObjectName(QStringLiteral("CheckDuuk2") + index);
        levelMeters[i] = new LevelMeter(frame);
        levelMeters[i]->setObjectName(QStringLiteral("levelMeter2") + index);
        levelMeters[i]->setFixedSize(60, 12);

        auto* row = new QHBoxLayout(frame);
        row->addWidget(trackKeyLabels[i]);
        row->addWidget(fileNameLabels[i], 1);
        row->addWidget(levelMeters[i]);
        row->addWidget(ComStart2[i]);
        row->addWidget(CheckLoop2[i]);
        row->addWidget(CheckDuuk2[i]);
        rows->addWidget(frame, i % 4, i / 4);

        connect(ComStart2[i], &QPushButton::clicked, this, [this, i] { ComStart2_Click(i); });
        connect(CheckLoop2[i], &QCheckBox::clicked, this, [this, i] { CheckLoop2_MouseUp(i); });
        connect(CheckDuuk2[i], &QCheckBox::clicked, this, [this, i] { CheckDuuk2_MouseUp(i); });
        connect(trackKeyLabels[i], &ClickableLabel::mousePressed, this,
                [this, i](Qt::MouseButton button, const QPoint& at) {
                    if (button == Qt::RightButton) {
                        m_tracks.ShowTrackPopup(i, at);
                    }
                });
    }
    ComBack = new QPushButton(QStringLiteral("戻る"), this);
    ComBack->setObjectName(QStringLiteral("ComBack"));
    connect(ComBack, &QPushButton::clicked, this, &PlayModeWindow::ComBack_Click);
    loneWolfLabel = new ClickableLabel(QStringLiteral("一匹狼(F3)"), this);
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
    bottom->addWidget(ComBack);
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
    ComStart2[index]->setEnabled(t.loaded);
    ComStart2[index]->setText(t.playing() ? QStringLiteral("STOP") : QStringLiteral("PLAY"));
    SetButtonColour(*ComStart2[index], t.playing() ? kMagenta : kCyan);
    CheckLoop2[index]->setChecked(t.loop);
    CheckDuuk2[index]->setChecked(t.hold);
    SetBackground(*trackRows[index], m_bank.mutedAlone(index) ? kBlue
                                     : t.loneWolf             ? kGrey
                                                              : ButtonFace());
}

void PlayModeWindow::redrawBank() {
    for (int i = 0; i < kTrackCount; ++i) {
        SetBackground(*trackKeyLabels[i], i == m_bank.selectedTrack() ? kMagenta : ButtonFace());
    }
    SetForeground(*loneWolfLabel, m_bank.loneWolfMode() ? kYellow : QColor(Qt::black));
    SetBackground(*this, m_bank.allTracksMuted() ? kBlue : ButtonFace());
}

void PlayModeWindow::ComStart2_Click(int index) {
    m_bank.toggle(index);
}

void PlayModeWindow::CheckLoop2_MouseUp(int index) {
    m_bank.setLoop(index, CheckLoop2[index]->isChecked());
}

void PlayModeWindow::CheckDuuk2_MouseUp(int index) {
    m_bank.setHold(index, CheckDuuk2[index]->isChecked());
}

void PlayModeWindow::ComBack_Click() {
    if (showMain) {
        showMain();
    }
    hide();
}

void PlayModeWindow::closeEvent(QCloseEvent* event) {
    ComBack_Click();
    QWidget::closeEvent(event);
}

} // namespace mt
