#include "ui/MidiPanel.h"

#include "app/AppContext.h"
#include "platform/CursorService.h"
#include "platform/FileDialogService.h"
#include "ui/Colours.h"
#include "ui/PanelTime.h"

#include <QCheckBox>
#include <QComboBox>
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
    : QGroupBox(QStringLiteral("MIDI"), parent), m_app(app), m_midi(app.midi) {
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
    midiReferenceCheck = Named(new QCheckBox(QStringLiteral("基準"), this), "ChkMIDIkijun");
    lblMIDITitle = Named(new QLabel(QStringLiteral("Song Title"), this), "lblMIDITitle");
    lblMIDITime = Named(new QLabel(QStringLiteral("00:00"), this), "lblMIDITime");
    midiTempoCaption = Named(new QLabel(QStringLiteral("♪＝"), this), "Label19");
    lblMIDITempo = Named(new QLabel(QStringLiteral("120"), this), "lblMIDITempo");
    lblMIDISec = Named(new QLabel(QStringLiteral("2.000"), this), "lblMIDISec");
    SpinButtonMIDI = Named(new QSpinBox(this), "SpinButtonMIDI");
    SpinButtonMIDI->setRange(ModuleMIDI::kMinTempo, ModuleMIDI::kMaxTempo);
    SpinButtonMIDI->setSingleStep(1);
    SpinButtonMIDI->setValue(120);
    SpinButtonMIDI->setToolTip(QStringLiteral("BPM変更"));
    // A typed tempo applies when it is finished (Enter, leaving the box) or stepped by the
    // arrows: typing 128 must not play at 1 and then 12 BPM on the way.
    SpinButtonMIDI->setKeyboardTracking(false);
    lblmiditest = Named(new QLabel(QStringLiteral("lblmiditest"), this), "lblmiditest");
    lblmiditest->setVisible(false);

    ModuleMIDI* midi = &m_midi;
    connect(ComMIDIOpen, &QPushButton::clicked, this, [this] { ComMIDIOpen_Click(); });
    connect(ComMIDIStart, &QPushButton::clicked, midi, &ModuleMIDI::start);
    connect(ComMIDIPause, &QPushButton::clicked, midi, &ModuleMIDI::pause);
    connect(ComMIDIStop, &QPushButton::clicked, midi, &ModuleMIDI::stop);
    connect(ComMIDIFF, &QPushButton::clicked, midi, &ModuleMIDI::forward);
    connect(ComMIDIRe, &QPushButton::clicked, midi, &ModuleMIDI::rewind);
    // Every choice the performer makes sends its reset, the item already shown included.
    connect(ComboMIDISys, &QComboBox::activated, midi, &ModuleMIDI::chooseReset);
    connect(ChkMIDILoop, &QCheckBox::toggled, midi, [midi](bool on) { midi->repeat = on; });
    // The performer's tempo, or the song's own moving the up-down: the player takes it, and
    // tempo matching follows it under the lock while the song is the reference.
    connect(SpinButtonMIDI, &QSpinBox::valueChanged, this, [this](int tempo) {
        m_midi.setTempo(tempo);
        m_app.tempo.referenceBarChanged(TempoReference::Midi);
    });
    connect(midi, &ModuleMIDI::changed, this, &MidiPanel::showPlayer);
}

void MidiPanel::OpenDevice() {
    m_midi.openDevice();
}

void MidiPanel::showPlayer() {
    const ModuleMIDI& midi = m_midi;
    ComMIDIOpen->setEnabled(midi.midiOpened);
    ComboMIDISys->setEnabled(midi.midiOpened);
    ComboMIDISys->setCurrentIndex(midi.resetKind);
    const std::pair<QPushButton*, MidiButton> buttons[] = {{ComMIDIStart, kMidiStart},
                                                           {ComMIDIPause, kMidiPause},
                                                           {ComMIDIStop, kMidiStop},
                                                           {ComMIDIFF, kMidiForward},
                                                           {ComMIDIRe, kMidiRewind}};
    for (const auto& [button, flag] : buttons) {
        button->setEnabled(midi.canPress(flag));
    }
    lblMIDITitle->setText(midi.songTitle.value_or(QStringLiteral("Song Title")));
    FormatPanelTime(*lblMIDITime, midi.midiTimeHundredths, 1);
    lblmiditest->setText(QString::number(midi.midiBeats));
    lblMIDITempo->setText(QString::number(midi.midiTempo));
    lblMIDISec->setText(midi.BarSecondsText());
    if (midi.midiMuted != m_shownMuted) {
        m_shownMuted = midi.midiMuted;
        colours::SetBackground(*this, midi.midiMuted ? colours::kBlue : colours::ButtonFace());
    }
    // Last: the up-down's change handler runs when the player's tempo moved it.
    if (SpinButtonMIDI->value() != midi.midiTempo) {
        SpinButtonMIDI->setValue(midi.midiTempo);
    }
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
    m_midi.openSong(*chosen);
}

} // namespace mt
