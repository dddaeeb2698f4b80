#include "ui/SyncWindow.h"

#include "app/AppContext.h"
#include "core/BeatClock.h"
#include "core/ClockSender.h"
#include "ui/DisplayFeed.h"
#include "ui/NamedWidget.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalBlocker>
#include <QSpinBox>
#include <QVBoxLayout>

#include <cmath>

namespace mt {
namespace {

QString SourceName(TempoSource source) {
    switch (source) {
    case TempoSource::Typed:
        return QStringLiteral("手入力");
    case TempoSource::Tap:
        return QStringLiteral("タップ");
    case TempoSource::ReferenceBar:
        return QStringLiteral("テンポ合わせの基準");
    case TempoSource::Link:
        return QStringLiteral("Ableton Link");
    case TempoSource::MidiClock:
        return QStringLiteral("MIDIクロック");
    case TempoSource::JackTransport:
        return QStringLiteral("JACKトランスポート");
    }
    return {};
}

// The shortest text of the tempo to a hundredth: "120", "123.46".
QString BpmText(double bpm) {
    return QString::number(std::round(bpm * 100.0) / 100.0, 'g', 10);
}

} // namespace

QString SyncWindow::BeatText(const BeatClock& clock) {
    const QString beat =
        clock.running() ? QString::number(clock.beatInBar() + 1) : QStringLiteral("-");
    const QString follow = FollowText(clock, true);
    return (follow.isEmpty() ? QString() : follow + QLatin1Char(' ')) +
           QStringLiteral("♩=%1 %2/%3")
               .arg(clock.bpm(), 0, 'f', 1)
               .arg(beat)
               .arg(clock.beatsPerBar());
}

QString SyncWindow::FollowText(const BeatClock& clock, bool brief) {
    if (clock.followState() == FollowState::Own) {
        return {};
    }
    const ClockReading& reading = clock.lastReading();
    const bool link = clock.source() == TempoSource::Link;
    const bool free = clock.followState() == FollowState::FreeRunning;
    if (brief) {
        QString name = link ? QStringLiteral("Link %1").arg(reading.peers)
                       : clock.source() == TempoSource::MidiClock ? QStringLiteral("MIDI")
                                                                  : QStringLiteral("JACK");
        if (free) {
            name += QStringLiteral("・自走");
        } else if (!reading.rolling) {
            name += QStringLiteral("・停止");
        }
        return name;
    }
    QString state = free               ? (link ? QStringLiteral("ピアがいないため自走中")
                                               : QStringLiteral("見つからないため自走中"))
                    : !reading.rolling ? QStringLiteral("停止中（テンポのみ追従）")
                                       : QStringLiteral("追従中");
    if (link) {
        state = QStringLiteral("ピア %1、").arg(reading.peers) + state;
    }
    return SourceName(clock.source()) + QStringLiteral("：") + state;
}

SyncWindow::SyncWindow(AppContext& app, QWidget* parent)
    : QDialog(parent), m_app(app), m_clock(app.performance.clock()) {
    setObjectName(QStringLiteral("frmSync"));
    setWindowTitle(QStringLiteral("テンポ同期"));
    setAttribute(Qt::WA_DeleteOnClose);

    typedSourceRadio = Named(new QRadioButton(SourceName(TempoSource::Typed), this), "optTyped");
    tapSourceRadio = Named(new QRadioButton(SourceName(TempoSource::Tap), this), "optTap");
    tapSourceRadio->setToolTip(QStringLiteral("BPMカウンターのOKで決まります"));
    referenceSourceRadio =
        Named(new QRadioButton(SourceName(TempoSource::ReferenceBar), this), "optReferenceBar");
    referenceSourceRadio->setToolTip(QStringLiteral("CDまたはMIDIの小節の長さに従います"));
    linkSourceRadio = Named(new QRadioButton(SourceName(TempoSource::Link), this), "optLink");
    linkSourceRadio->setToolTip(QStringLiteral(
        "同じネットワークのLink対応機器とテンポと小節を合わせます（選ぶとLinkに参加）"));
    midiClockSourceRadio =
        Named(new QRadioButton(SourceName(TempoSource::MidiClock), this), "optMidiClock");
    midiClockSourceRadio->setToolTip(
        QStringLiteral("MIDI入力に届くクロックのテンポとスタート・ストップ・曲の位置に従います"));
    jackSourceRadio =
        Named(new QRadioButton(SourceName(TempoSource::JackTransport), this), "optJackTransport");
    jackSourceRadio->setToolTip(
        QStringLiteral("JACKのタイムベースマスターの小節・拍・テンポに従います"));
    sourceGroup = new QButtonGroup(this);
    for (QRadioButton* radio : {typedSourceRadio, tapSourceRadio, referenceSourceRadio,
                                linkSourceRadio, midiClockSourceRadio, jackSourceRadio}) {
        sourceGroup->addButton(radio, static_cast<int>(sourceGroup->buttons().size()));
    }
    bpmEdit = Named(new QLineEdit(this), "txtBpm");
    bpmEdit->setAlignment(Qt::AlignRight);
    bpmEdit->setToolTip(
        QStringLiteral("%1～%2 BPM、Enterで決定").arg(BeatClock::kMinBpm).arg(BeatClock::kMaxBpm));
    beatsPerBarSpin = Named(new QSpinBox(this), "spnBeatsPerBar");
    beatsPerBarSpin->setRange(1, BeatClock::kMaxBeatsPerBar);
    // A typed count applies when finished, not digit by digit (12 is no 1 on the way).
    beatsPerBarSpin->setKeyboardTracking(false);
    nowLabel = Named(new QLabel(this), "lblClockNow");
    clockReferenceCheck =
        Named(new QCheckBox(QStringLiteral("テンポ合わせの基準にする"), this), "chkClockReference");
    clockReferenceCheck->setToolTip(
        QStringLiteral("テンポ合わせが小節（拍数×60÷BPM 秒）に合わせます"));

    linkStartStopCheck =
        Named(new QCheckBox(QStringLiteral("Linkの再生・停止を共有"), this), "chkLinkStartStop");
    linkStartStopCheck->setToolTip(QStringLiteral(
        "Linkの再生中だけ拍を合わせ、MIDIクロックの送信開始・停止でLinkも再生・停止します"));
    jackMasterCheck =
        Named(new QCheckBox(QStringLiteral("JACKトランスポートのタイムベースマスターになる"), this),
              "chkJackMaster");
    jackMasterCheck->setToolTip(
        QStringLiteral("このテンポと小節をJACKの他のアプリに伝えます（他にマスターがいない時）"));
    jackMasterLabel = Named(new QLabel(this), "lblJackMaster");

    senderBox = Named(new QGroupBox(QStringLiteral("MIDIクロック送信"), this), "fraClockSender");
    senderStartButton =
        Named(new QPushButton(QStringLiteral("送信開始"), senderBox), "cmdSendStart");
    senderStartButton->setToolTip(QStringLiteral("次の小節の頭から、曲の先頭として送ります"));
    senderStopButton = Named(new QPushButton(QStringLiteral("停止"), senderBox), "cmdSendStop");
    senderResumeButton =
        Named(new QPushButton(QStringLiteral("続きから"), senderBox), "cmdSendResume");
    senderResumeButton->setToolTip(QStringLiteral("止めたところから送ります"));
    senderStateLabel = Named(new QLabel(senderBox), "lblSenderState");
    closeButton = Named(new QPushButton(QStringLiteral("閉じる"), this), "cmdClose");

    auto* sources = new QHBoxLayout;
    auto* outside = new QHBoxLayout;
    for (QAbstractButton* radio : sourceGroup->buttons()) {
        (IsExternal(static_cast<TempoSource>(sourceGroup->id(radio))) ? outside : sources)
            ->addWidget(radio);
    }
    auto* form = new QFormLayout;
    form->addRow(QStringLiteral("テンポの元"), sources);
    form->addRow(QStringLiteral("外部と同期"), outside);
    form->addRow(QStringLiteral("テンポ（BPM）"), bpmEdit);
    form->addRow(QStringLiteral("1小節の拍数"), beatsPerBarSpin);
    form->addRow(QStringLiteral("現在"), nowLabel);
    form->addRow(clockReferenceCheck);
    form->addRow(linkStartStopCheck);
    auto* masterRow = new QHBoxLayout;
    masterRow->addWidget(jackMasterCheck);
    masterRow->addWidget(jackMasterLabel, 1);
    form->addRow(masterRow);
    auto* senderRow = new QHBoxLayout(senderBox);
    senderRow->addWidget(senderStartButton);
    senderRow->addWidget(senderStopButton);
    senderRow->addWidget(senderResumeButton);
    senderRow->addWidget(senderStateLabel, 1);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(closeButton);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addWidget(senderBox);
    layout->addLayout(buttons);

    connect(sourceGroup, &QButtonGroup::idClicked, this,
            [this](int id) { m_app.performance.chooseTempoSource(static_cast<TempoSource>(id)); });
    connect(bpmEdit, &QLineEdit::editingFinished, this, &SyncWindow::onBpmEntered);
    connect(beatsPerBarSpin, &QSpinBox::valueChanged, &m_clock, &BeatClock::setBeatsPerBar);
    connect(clockReferenceCheck, &QCheckBox::toggled, this,
            [this](bool on) { m_app.tempo.useReference(TempoReference::Clock, on); });
    connect(linkStartStopCheck, &QCheckBox::toggled, &m_app.outsideClocks,
            &OutsideClocks::setLinkStartStop);
    connect(jackMasterCheck, &QCheckBox::toggled, this, [this](bool on) {
        m_app.outsideClocks.setJackMaster(on);
        showLive();
    });
    const auto send = [this](void (ClockSender::*command)()) {
        if (m_app.clockSender != nullptr) {
            (m_app.clockSender->*command)();
        }
        showLive();
    };
    connect(senderStartButton, &QPushButton::clicked, this, [this, send] {
        send(&ClockSender::start);
        m_app.outsideClocks.startStopPressed(true);
    });
    connect(senderStopButton, &QPushButton::clicked, this, [this, send] {
        send(&ClockSender::stop);
        m_app.outsideClocks.startStopPressed(false);
    });
    connect(senderResumeButton, &QPushButton::clicked, this, [this, send] {
        send(&ClockSender::resume);
        m_app.outsideClocks.startStopPressed(true);
    });
    connect(closeButton, &QPushButton::clicked, this, &QWidget::close);
    connect(&m_clock, &BeatClock::changed, this, &SyncWindow::showClock);
    connect(&m_app.tempo, &TempoControl::stateChanged, this, &SyncWindow::showReference);
    (new DisplayFeed(*this))->add([this] { showLive(); });
    showClock();
    showReference();
    showLive();
}

void SyncWindow::showEvent(QShowEvent* event) {
    showLive();
    QDialog::showEvent(event);
}

void SyncWindow::onBpmEntered() {
    // Full-width digits, as a Japanese input method types them, read as digits.
    const QString text = bpmEdit->text().normalized(QString::NormalizationForm_KC).trimmed();
    bool number = false;
    const double bpm = text.toDouble(&number);
    const bool taken = number && m_clock.setTypedBpm(bpm);
    bpmEdit->setText(BpmText(m_clock.bpm())); // a refused text goes before the box shows
    if (!taken) {
        m_app.showMessage(QStringLiteral("テンポは %1～%2 の範囲で入力してください")
                              .arg(BeatClock::kMinBpm)
                              .arg(BeatClock::kMaxBpm));
    }
}

void SyncWindow::showClock() {
    if (QAbstractButton* chosen = sourceGroup->button(static_cast<int>(m_clock.source()))) {
        chosen->setChecked(true);
    }
    if (!bpmEdit->isModified()) {
        bpmEdit->setText(BpmText(m_clock.bpm()));
    }
    const QSignalBlocker quiet(beatsPerBarSpin); // the clock has it already
    beatsPerBarSpin->setValue(m_clock.beatsPerBar());
    showLive();
}

void SyncWindow::showReference() {
    const QSignalBlocker quiet(clockReferenceCheck);
    clockReferenceCheck->setChecked(m_app.tempo.reference() == TempoReference::Clock);
}

void SyncWindow::showLive() {
    const QString follow = FollowText(m_clock, false);
    const QString now = BeatText(m_clock) + QStringLiteral("（") +
                        (follow.isEmpty() ? SourceName(m_clock.source()) : follow) +
                        QStringLiteral("）");
    if (nowLabel->text() != now) {
        nowLabel->setText(now);
    }
    const QSignalBlocker quiet(jackMasterCheck);
    jackMasterCheck->setChecked(m_app.outsideClocks.jackMaster());
    const QSignalBlocker quietLink(linkStartStopCheck);
    linkStartStopCheck->setChecked(m_app.outsideClocks.linkStartStop());
    const JackTransportClock* jack = m_app.outsideClocks.jackTransport();
    const auto mastery = jack != nullptr ? jack->mastery() : JackTransportClock::Mastery::Off;
    jackMasterLabel->setText(mastery == JackTransportClock::Mastery::Master
                                 ? QStringLiteral("マスター")
                             : mastery == JackTransportClock::Mastery::OtherMaster
                                 ? QStringLiteral("他のアプリがマスターです")
                             : mastery == JackTransportClock::Mastery::NoServer
                                 ? QStringLiteral("JACKサーバーがありません")
                                 : QString());
    const ClockSender* sender = m_app.clockSender;
    const bool sending = sender != nullptr && sender->sending();
    senderStartButton->setEnabled(sender != nullptr);
    senderStopButton->setEnabled(sending);
    senderResumeButton->setEnabled(sender != nullptr && !sending);
    senderStateLabel->setText(sender == nullptr ? QStringLiteral("送信先がありません")
                              : sending         ? QStringLiteral("送信中")
                                                : QStringLiteral("停止中"));
}

} // namespace mt
