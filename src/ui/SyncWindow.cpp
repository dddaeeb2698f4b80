#include "ui/SyncWindow.h"

#include "app/AppContext.h"
#include "core/BeatClock.h"
#include "core/ClockSender.h"
#include "ui/DisplayFeed.h"
#include "ui/NamedWidget.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QCoreApplication>
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
        return QCoreApplication::translate("mt::SyncWindow", "手入力");
    case TempoSource::Tap:
        return QCoreApplication::translate("mt::SyncWindow", "タップ");
    case TempoSource::ReferenceBar:
        return QCoreApplication::translate("mt::SyncWindow", "テンポ合わせの基準");
    case TempoSource::Link:
        return QStringLiteral("Ableton Link");
    case TempoSource::MidiClock:
        return QCoreApplication::translate("mt::SyncWindow", "MIDIクロック");
    case TempoSource::JackTransport:
        return QCoreApplication::translate("mt::SyncWindow", "JACKトランスポート");
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
            name += tr("・自走");
        } else if (!reading.rolling) {
            name += tr("・停止");
        }
        return name;
    }
    QString state = free ? (link ? tr("ピアがいないため自走中") : tr("見つからないため自走中"))
                    : !reading.rolling ? tr("停止中（テンポのみ追従）")
                                       : tr("追従中");
    if (link) {
        state = tr("ピア %1、%2").arg(reading.peers).arg(state);
    }
    return tr("%1：%2").arg(SourceName(clock.source()), state);
}

SyncWindow::SyncWindow(AppContext& app, QWidget* parent)
    : QDialog(parent), m_app(app), m_clock(app.performance.clock()) {
    setObjectName(QStringLiteral("frmSync"));
    setWindowTitle(tr("テンポ同期"));
    setAttribute(Qt::WA_DeleteOnClose);

    typedSourceRadio = Named(new QRadioButton(SourceName(TempoSource::Typed), this), "optTyped");
    tapSourceRadio = Named(new QRadioButton(SourceName(TempoSource::Tap), this), "optTap");
    tapSourceRadio->setToolTip(tr("BPMカウンターのOKで決まります"));
    referenceSourceRadio =
        Named(new QRadioButton(SourceName(TempoSource::ReferenceBar), this), "optReferenceBar");
    referenceSourceRadio->setToolTip(tr("CDまたはMIDIの小節の長さに従います"));
    linkSourceRadio = Named(new QRadioButton(SourceName(TempoSource::Link), this), "optLink");
    linkSourceRadio->setToolTip(
        tr("同じネットワークのLink対応機器とテンポと小節を合わせます（選ぶとLinkに参加）"));
    midiClockSourceRadio =
        Named(new QRadioButton(SourceName(TempoSource::MidiClock), this), "optMidiClock");
    midiClockSourceRadio->setToolTip(
        tr("MIDI入力に届くクロックのテンポとスタート・ストップ・曲の位置に従います"));
    jackSourceRadio =
        Named(new QRadioButton(SourceName(TempoSource::JackTransport), this), "optJackTransport");
    jackSourceRadio->setToolTip(tr("JACKのタイムベースマスターの小節・拍・テンポに従います"));
    sourceGroup = new QButtonGroup(this);
    for (QRadioButton* radio : {typedSourceRadio, tapSourceRadio, referenceSourceRadio,
                                linkSourceRadio, midiClockSourceRadio, jackSourceRadio}) {
        sourceGroup->addButton(radio, static_cast<int>(sourceGroup->buttons().size()));
    }
    bpmEdit = Named(new QLineEdit(this), "txtBpm");
    bpmEdit->setAlignment(Qt::AlignRight);
    bpmEdit->setToolTip(
        tr("%1～%2 BPM、Enterで決定").arg(BeatClock::kMinBpm).arg(BeatClock::kMaxBpm));
    beatsPerBarSpin = Named(new QSpinBox(this), "spnBeatsPerBar");
    beatsPerBarSpin->setRange(1, BeatClock::kMaxBeatsPerBar);
    // A typed count applies when finished, not digit by digit (12 is no 1 on the way).
    beatsPerBarSpin->setKeyboardTracking(false);
    nowLabel = Named(new QLabel(this), "lblClockNow");
    clockReferenceCheck =
        Named(new QCheckBox(tr("テンポ合わせの基準にする"), this), "chkClockReference");
    clockReferenceCheck->setToolTip(tr("テンポ合わせが小節（拍数×60÷BPM 秒）に合わせます"));

    linkStartStopCheck =
        Named(new QCheckBox(tr("Linkの再生・停止を共有"), this), "chkLinkStartStop");
    linkStartStopCheck->setToolTip(
        tr("Linkの再生中だけ拍を合わせ、MIDIクロックの送信開始・停止でLinkも再生・停止します"));
    jackMasterCheck = Named(
        new QCheckBox(tr("JACKトランスポートのタイムベースマスターになる"), this), "chkJackMaster");
    jackMasterCheck->setToolTip(
        tr("このテンポと小節をJACKの他のアプリに伝えます（他にマスターがいない時）"));
    jackMasterLabel = Named(new QLabel(this), "lblJackMaster");

    senderBox = Named(new QGroupBox(tr("MIDIクロック送信"), this), "fraClockSender");
    senderStartButton = Named(new QPushButton(tr("送信開始"), senderBox), "cmdSendStart");
    senderStartButton->setToolTip(tr("次の小節の頭から、曲の先頭として送ります"));
    senderStopButton = Named(new QPushButton(tr("停止"), senderBox), "cmdSendStop");
    senderResumeButton = Named(new QPushButton(tr("続きから"), senderBox), "cmdSendResume");
    senderResumeButton->setToolTip(tr("止めたところから送ります"));
    senderStateLabel = Named(new QLabel(senderBox), "lblSenderState");
    closeButton = Named(new QPushButton(tr("閉じる"), this), "cmdClose");

    auto* sources = new QHBoxLayout;
    auto* outside = new QHBoxLayout;
    for (QAbstractButton* radio : sourceGroup->buttons()) {
        (IsExternal(static_cast<TempoSource>(sourceGroup->id(radio))) ? outside : sources)
            ->addWidget(radio);
    }
    auto* form = new QFormLayout;
    form->addRow(tr("テンポの元"), sources);
    form->addRow(tr("外部と同期"), outside);
    form->addRow(tr("テンポ（BPM）"), bpmEdit);
    form->addRow(tr("1小節の拍数"), beatsPerBarSpin);
    form->addRow(tr("現在"), nowLabel);
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
        m_app.showMessage(tr("テンポは %1～%2 の範囲で入力してください")
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
    const QString now =
        tr("%1（%2）")
            .arg(BeatText(m_clock), follow.isEmpty() ? SourceName(m_clock.source()) : follow);
    if (nowLabel->text() != now) {
        nowLabel->setText(now);
    }
    const QSignalBlocker quiet(jackMasterCheck);
    jackMasterCheck->setChecked(m_app.outsideClocks.jackMaster());
    const QSignalBlocker quietLink(linkStartStopCheck);
    linkStartStopCheck->setChecked(m_app.outsideClocks.linkStartStop());
    const JackTransportClock* jack = m_app.outsideClocks.jackTransport();
    const auto mastery = jack != nullptr ? jack->mastery() : JackTransportClock::Mastery::Off;
    jackMasterLabel->setText(
        mastery == JackTransportClock::Mastery::Master        ? tr("マスター")
        : mastery == JackTransportClock::Mastery::OtherMaster ? tr("他のアプリがマスターです")
        : mastery == JackTransportClock::Mastery::NoServer ? tr("JACKサーバーがありません")
                                                           : QString());
    const ClockSender* sender = m_app.clockSender;
    const bool sending = sender != nullptr && sender->sending();
    senderStartButton->setEnabled(sender != nullptr);
    senderStopButton->setEnabled(sending);
    senderResumeButton->setEnabled(sender != nullptr && !sending);
    senderStateLabel->setText(sender == nullptr ? tr("送信先がありません")
                              : sending         ? tr("送信中")
                                                : tr("停止中"));
}

} // namespace mt
