#include "ui/MidiPanel.h"

#include "core/AppContext.h"
#include "platform/CursorService.h"
#include "platform/FileDialogService.h"
#include "ui/PanelTime.h"

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QPushButton>
#include <QSpinBox>
#include <QStyle>
#include <QTimer>

namespace mt {
namespace {

template <typename W> W* Named(W* widget, const char* name) {
    widget->setObjectName(QLatin1String(name));
    return widget;
}

QPushButton* PictureButton(QWidget* parent, const char* name, QStyle::StandardPixmap picture,
                           const QString& tip) {
    auto* button = Named(new QPushButton(parent), name);
    button->setIcon(parent->style()->standardIcon(picture));
    button->setToolTip(tip);
    button->setEnabled(false);
    return button;
}

} // namespace

MidiPanel::MidiPanel(AppContext& app, QWidget* parent)
    : QGroupBox(QStringLiteral("MIDI"), parent), m_app(app) {
    setObjectName(QStringLiteral("FrameMIDI"));
    ComMIDIOpen = PictureButton(this, "ComMIDIOpen", QStyle::SP_DialogOpenButton,
                                QStringLiteral("MIDIファイルを開く"));
    ComMIDIStart = PictureButton(this, "ComMIDIStart", QStyle::SP_MediaPlay, QString());
    ComMIDIPause = PictureButton(this, "ComMIDIPause", QStyle::SP_MediaPause, QString());
    ComMIDIStop = PictureButton(this, "ComMIDIStop", QStyle::SP_MediaStop, QString());
    ComMIDIRe = PictureButton(this, "ComMIDIRe", QStyle::SP_MediaSeekBackward, QString());
    ComMIDIFF = PictureButton(this, "ComMIDIFF", QStyle::SP_MediaSeekForward, QString());
    ComboMIDISys = Named(new QComboBox(this), "ComboMIDISys");
    ComboMIDISys->addItems({QStringLiteral("GM"), QStringLiteral("GS"), QStringLiteral("XG"),
                            QStringLiteral("VL"), QStringLiteral("VL2")});
    ComboMIDISys->setCurrentIndex(-1); // nothing chosen until the device opens
    ComboMIDISys->setEnabled(false);
    ChkMIDILoop = Named(new QCheckBox(QStringLiteral("REPEAT"), this), "ChkMIDILoop");
    ChkMIDIkijun = Named(new QCheckBox(QStringLiteral("基準"), this), "ChkMIDIkijun");
    lblMIDITitle = Named(new QLabel(QStringLiteral("Song Title"), this), "lblMIDITitle");
    lblMIDITime = Named(new QLabel(QStringLiteral("00:00"), this), "lblMIDITime");
    Label19 = Named(new QLabel(QStringLiteral("♪＝"), this), "Label19");
    lblMIDITempo = Named(new QLabel(QStringLiteral("120"), this), "lblMIDITempo");
    lblMIDISec = Named(new QLabel(QStringLiteral("2.000"), this), "lblMIDISec");
    SpinButtonMIDI = Named(new QSpinBox(this), "SpinButtonMIDI");
    SpinButtonMIDI->setRange(kMinTempo, kMaxTempo);
    SpinButtonMIDI->setSingleStep(1);
    SpinButtonMIDI->setValue(120);
    SpinButtonMIDI->setToolTip(QStringLiteral("BPM変更"));
    // A typed tempo applies when it is finished (Enter, leaving the box) or stepped by the
    // arrows: typing 128 must not play at 1 and then 12 BPM on the way.
    SpinButtonMIDI->setKeyboardTracking(false);
    lblmiditest = Named(new QLabel(QStringLiteral("lblmiditest"), this), "lblmiditest");
    lblmiditest->setVisible(false);
    TimerMIDI = Named(new QTimer(this), "TimerMIDI");

    connect(ComMIDIOpen, &QPushButton::clicked, this, [this] { ComMIDIOpen_Click(); });
    connect(ComMIDIStart, &QPushButton::clicked, this, [this] { ComMIDIStart_Click(); });
    connect(ComMIDIPause, &QPushButton::clicked, this, [this] { ComMIDIPause_Click(); });
    connect(ComMIDIStop, &QPushButton::clicked, this, [this] { ComMIDIStop_Click(); });
    connect(ComMIDIFF, &QPushButton::clicked, this, [this] { ComMIDIFF_Click(); });
    connect(ComMIDIRe, &QPushButton::clicked, this, [this] { ComMIDIRe_Click(); });
    // Every choice the performer makes sends its reset, the item already shown included:
    // choosing "GM" again is how a stuck synth is reset.
    connect(ComboMIDISys, &QComboBox::activated, this, [this] { ComboMIDISys_Click(); });
    connect(SpinButtonMIDI, &QSpinBox::valueChanged, this, [this] { SpinButtonMIDI_Change(); });
    connect(TimerMIDI, &QTimer::timeout, this, [this] { TimerMIDI_Timer(); });
}

void MidiPanel::OpenDevice() {
    ModuleMIDI& midi = m_app.midi;
    if (midi.midiOpened) {
        return;
    }
    if (!midi.MidiOpenDevice()) {
        m_app.showMessage(QStringLiteral("MIDIデバイスが開けません。"));
        ComMIDIOpen->setEnabled(false);
    } else {
        ShowMidiTempo();
        ComMIDIOpen->setEnabled(true);
        ComboMIDISys->setEnabled(true);
        midi.midiOpened = true;
    }
    // The first kind, sent also when it was already selected by an earlier failed opening.
    ComboMIDISys->setCurrentIndex(0);
    ComboMIDISys_Click();
}

void MidiPanel::ShowMidiTempo() {
    ModuleMIDI& midi = m_app.midi;
    lblMIDITempo->setText(QString::number(midi.midiTempo));
    midi.UpdateBarSeconds();
    lblMIDISec->setText(midi.BarSecondsText());
}

void MidiPanel::ComMIDIOpen_Click() {
    FileDialogRequest request;
    request.title = QStringLiteral("MIDIファイルを開く");
    request.filter = QStringLiteral("MIDIファイル (*.mid)|*.mid|");
    request.filterIndex = 1;
    request.fileName = CommonDialogMIDIFileName;
    const std::optional<QString> chosen = m_app.platform.fileDialogs.openFile(request);
    if (!chosen) {
        return;
    }
    CommonDialogMIDIFileName = *chosen;
    const WaitCursor wait(m_app.platform.cursor);
    MidiLoadSong(*chosen);
}

void MidiPanel::MidiLoadSong(const QString& path) {
    if (!m_app.midi.MidiLoadSong(path, ComboMIDISys->currentIndex())) {
        // The previous song was freed before the new one failed: an empty player, whose
        // timer would otherwise ask the library about a song it no longer has.
        TimerMIDI->stop();
        setTransport(false, false, false, false, false);
        lblMIDITitle->setText(QStringLiteral("Song Title"));
        lblMIDITime->setText(QStringLiteral("00:00"));
        return;
    }
    TimerMIDI->start(kPreviewMs);
}

void MidiPanel::setTransport(bool start, bool pause, bool stop, bool ff, bool re) {
    ComMIDIStart->setEnabled(start);
    ComMIDIPause->setEnabled(pause);
    ComMIDIStop->setEnabled(stop);
    ComMIDIFF->setEnabled(ff);
    ComMIDIRe->setEnabled(re);
}

void MidiPanel::ComMIDIStart_Click() {
    ModuleMIDI& midi = m_app.midi;
    if (midi.midiState.isEmpty()) {
        return; // no song to play
    }
    if (midi.midiState == QLatin1String("Preview")) {
        // Start (left enabled from the previous song) during a preview: the preview ends
        // first, or the song would play without its title, tempo and resolution read.
        TimerMIDI_Timer();
    }
    if (midi.midiState == QLatin1String("Stopping")) {
        midi.MidiPlay(ChkMIDILoop->isChecked());
        midi.MidiSetTempo(midi.midiStartTempo);
    } else if (midi.midiState == QLatin1String("Pausing")) {
        midi.MidiResume();
    }
    setTransport(false, true, true, true, true);
    midi.midiState = QStringLiteral("Playing");
    TimerMIDI->start(kPlayingTickMs);
}

void MidiPanel::ComMIDIPause_Click() {
    m_app.midi.MidiPause();
    TimerMIDI->stop();
    m_app.midi.midiState = QStringLiteral("Pausing");
    ComMIDIStart->setEnabled(true);
    ComMIDIStop->setEnabled(true);
    ComMIDIFF->setEnabled(false);
    ComMIDIRe->setEnabled(false);
}

void MidiPanel::enterStopped() {
    setTransport(true, false, false, false, false);
    m_app.midi.midiState = QStringLiteral("Stopping");
    TimerMIDI->stop();
}

void MidiPanel::ComMIDIStop_Click() {
    m_app.midi.MidiStop();
    enterStopped();
}

void MidiPanel::ComMIDIFF_Click() {
    m_app.midi.MidiForward();
}

void MidiPanel::ComMIDIRe_Click() {
    m_app.midi.MidiRewind();
}

void MidiPanel::ComboMIDISys_Click() {
    m_app.midi.SendMidiReset(ComboMIDISys->currentIndex());
}

void MidiPanel::ComboMIDISys_Change() {
    m_app.midi.SendMidiReset(ComboMIDISys->currentIndex());
}

void MidiPanel::SpinButtonMIDI_Change() {
    ModuleMIDI& midi = m_app.midi;
    midi.midiTempo = SpinButtonMIDI->value();
    // Without a song there is nothing to ask or to send: the tempo is only shown (and
    // matched to).
    if (!midi.midiState.isEmpty() && midi.MidiGetInfo() && midi.midiInfo.playing == 1) {
        midi.MidiSetTempo(midi.midiTempo);
    }
    ShowMidiTempo();
    if (ChkMIDIkijun->isChecked() && mnuLock != nullptr && mnuLock->isChecked() && onBarChanged) {
        onBarChanged();
    }
}

void MidiPanel::TimerMIDI_Timer() {
    // A failing library shows its message on every tick; the box is modal and the timer
    // keeps firing under it, so without this each tick would stack one more box.
    if (m_inTick) {
        return;
    }
    m_inTick = true;
    tick();
    m_inTick = false;
}

void MidiPanel::tick() {
    ModuleMIDI& midi = m_app.midi;
    if (midi.midiState == QLatin1String("Preview")) {
        midi.MidiGetInfo();
        lblMIDITitle->setText(midi.midiInfo.title);
        midi.midiTempo = midi.midiInfo.tempo;
        midi.midiResolution = midi.midiInfo.resolution;
        ShowMidiTempo();
        midi.MidiStop();
        midi.midiState = QStringLiteral("Stopping");
        SpinButtonMIDI->setValue(midi.midiTempo);
        midi.midiStartTempo = midi.midiTempo;
        TimerMIDI->stop();
        ComMIDIStart->setEnabled(true);
        return;
    }
    if (midi.midiState != QLatin1String("Playing")) {
        return;
    }
    if (!midi.MidiGetInfo()) {
        return;
    }
    if (midi.midiInfo.playing == 0) {
        if (ChkMIDILoop->isChecked()) {
            midi.MidiPlay(true);
        } else {
            enterStopped();
        }
        return;
    }
    if (midi.midiInfo.tempo != midi.midiTempo) {
        midi.midiTempo = midi.midiInfo.tempo;
        ShowMidiTempo();
        SpinButtonMIDI->setValue(midi.midiTempo);
    }
    std::int32_t beats = 0;
    std::int32_t hundredths = 0;
    if (midi.ElapsedFromPosition(midi.midiInfo.position, beats, hundredths)) {
        midi.midiTimeHundredths = hundredths;
        FormatPanelTime(*lblMIDITime, hundredths, 1);
        lblmiditest->setText(QString::number(beats));
    }
}

} // namespace mt
