#include "ui/Form2.h"

#include "core/TrackBank.h"
#include "ui/ClickableLabel.h"
#include "ui/Colours.h"
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

Form2::Form2(TrackBank& bank, TrackPanel& tracks) : m_bank(bank), m_tracks(tracks) {
    setObjectName(QStringLiteral("Form2"));
    setAttribute(Qt::WA_DeleteOnClose);
    setAutoFillBackground(true);
    static const char* const kNumbers[] = {"1-Z", "2-X", "3-C", "4-A", "5-S", "6-D", "7-W", "8-E"};
    auto* rows = new QGridLayout;
    for (int i = 0; i < kTrackCount; ++i) {
        const QString index = QStringLiteral("(%1)").arg(i);
        QFrame* frame = Frame1[i] = new QFrame(this);
        frame->setObjectName(QStringLiteral("Frame1") + index);
        frame->setFrameShape(QFrame::Box);
        frame->setAutoFillBackground(true);
        Label1[i] = new ClickableLabel(QLatin1String(kNumbers[i]), frame);
        Label1[i]->setObjectName(QStringLiteral("Label1") + index);
        Label1[i]->setAutoFillBackground(true);
        Label1[i]->setAlignment(Qt::AlignCenter);
        Label2[i] = new QLabel(QStringLiteral("Label2"), frame);
        Label2[i]->setObjectName(QStringLiteral("Label2") + index);
        Label2[i]->setMinimumWidth(160);
        ComStart2[i] = new QPushButton(QStringLiteral("PLAY"), frame);
        ComStart2[i]->setObjectName(QStringLiteral("ComStart2") + index);
        CheckLoop2[i] = new QCheckBox(QStringLiteral("L"), frame);
        CheckLoop2[i]->setObjectName(QStringLiteral("CheckLoop2") + index);
        CheckDuuk2[i] = new QCheckBox(QStringLiteral("D"), frame);
        CheckDuuk2[i]->setObjectName(QStringLiteral("CheckDuuk2") + index);

        auto* row = new QHBoxLayout(frame);
        row->addWidget(Label1[i]);
        row->addWidget(Label2[i], 1);
        row->addWidget(ComStart2[i]);
        row->addWidget(CheckLoop2[i]);
        row->addWidget(CheckDuuk2[i]);
        rows->addWidget(frame, i % 4, i / 4);

        connect(ComStart2[i], &QPushButton::clicked, this, [this, i] { ComStart2_Click(i); });
        connect(CheckLoop2[i], &QCheckBox::clicked, this, [this, i] { CheckLoop2_MouseUp(i); });
        connect(CheckDuuk2[i], &QCheckBox::clicked, this, [this, i] { CheckDuuk2_MouseUp(i); });
        connect(Label1[i], &ClickableLabel::mousePressed, this,
                [this, i](Qt::MouseButton button, const QPoint& at) {
                    if (button == Qt::RightButton) {
                        m_tracks.ShowTrackPopup(i, at);
                    }
                });
    }
    ComBack = new QPushButton(QStringLiteral("戻る"), this);
    ComBack->setObjectName(QStringLiteral("ComBack"));
    connect(ComBack, &QPushButton::clicked, this, &Form2::ComBack_Click);
    lblOrAliveOokamis = new ClickableLabel(QStringLiteral("一匹狼(F3)"), this);
    lblOrAliveOokamis->setObjectName(QStringLiteral("lblOrAliveOokamis"));
    connect(lblOrAliveOokamis, &ClickableLabel::mousePressed, this, [this](Qt::MouseButton b) {
        if (b == Qt::LeftButton) {
            m_bank.toggleLoneWolfMode();
        }
    });
    connect(&m_bank, &TrackBank::trackChanged, this, &Form2::redrawTrack);
    connect(&m_bank, &TrackBank::bankStateChanged, this, &Form2::redrawBank);

    auto* bottom = new QHBoxLayout;
    bottom->addWidget(lblOrAliveOokamis);
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

void Form2::refresh(const QString& settingFileTitle) {
    setWindowTitle(settingFileTitle + QStringLiteral(" - Mtn"));
}

void Form2::redrawTrack(int index) {
    const Track& t = m_bank.track(index);
    Label2[index]->setText(t.fileName);
    ComStart2[index]->setEnabled(t.loaded);
    ComStart2[index]->setText(t.playing() ? QStringLiteral("STOP") : QStringLiteral("PLAY"));
    SetButtonColour(*ComStart2[index], t.playing() ? kMagenta : kCyan);
    CheckLoop2[index]->setChecked(t.loop);
    CheckDuuk2[index]->setChecked(t.hold);
    SetBackground(*Frame1[index], m_bank.mutedAlone(index) ? kBlue
                                  : t.loneWolf             ? kGrey
                                                           : ButtonFace());
}

void Form2::redrawBank() {
    for (int i = 0; i < kTrackCount; ++i) {
        SetBackground(*Label1[i], i == m_bank.selectedTrack ? kMagenta : ButtonFace());
    }
    SetForeground(*lblOrAliveOokamis, m_bank.loneWolfMode ? kYellow : QColor(Qt::black));
    SetBackground(*this, m_bank.allTracksMuted ? kBlue : ButtonFace());
}

void Form2::ComStart2_Click(int index) {
    m_bank.toggle(index);
}

void Form2::CheckLoop2_MouseUp(int index) {
    m_bank.setLoop(index, CheckLoop2[index]->isChecked());
}

void Form2::CheckDuuk2_MouseUp(int index) {
    m_bank.setHold(index, CheckDuuk2[index]->isChecked());
}

void Form2::ComBack_Click() {
    if (showMain) {
        showMain();
    }
    hide();
}

void Form2::closeEvent(QCloseEvent* event) {
    ComBack_Click();
    QWidget::closeEvent(event);
}

} // namespace mt
