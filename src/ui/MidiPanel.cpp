#include "ui/MidiPanel.h"

#include "app/AppContext.h"
#include "platform/CursorService.h"
#include "platform/FileDialogService.h"
#include "ui/Colours.h"
#include "ui/NamedWidget.h"
#include "ui/PanelTime.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QPushButton>
#include <QSpinBox>
#include <QStyle>

namespace mt {
namespace {

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
    midiOpenButton =
        PictureButton(this, "ComMIDIOpen", QStyle::SP_DialogOpenButton, tr("MIDIファイルを開く"));
    midiStartButton = PictureButton(this, "ComMIDIStart", QStyle::SP_MediaPlay, QString());
    midiPauseButton = PictureButton(this, "ComMIDIPause", QStyle::SP_MediaPause, QString());
    midiStopButton = PictureButton(this, "ComMIDIStop", QStyle::SP_MediaStop, QString());
    midiRewindButton = PictureButton(this, "ComMIDIRe", QStyle::SP_MediaSeekBackward, QString());
    midiForwardButton = PictureButton(this, "ComMIDIFF", QStyle::SP_MediaSeekForward, QString());
    resetSystemBox = Named(new QComboBox(this), "ComboMIDISys");
    resetSystemBox->addItems({QStringLiteral("GM"), QStringLiteral("GS"), QStringLiteral("XG"),
                              QStringLiteral("VL"), QStringLiteral("VL2")});
    resetSystemBox->setCurrentIndex(-1); // nothing chosen until the device opens
    resetSystemBox->setEnabled(false);
    midiRepeatCheck = Named(new QCheckBox(QStringLiteral("REPEAT"), this), "ChkMIDILoop");
    midiReferenceCheck = Named(new QCheckBox(tr("基準"), this), "ChkMIDIkijun");
    midiTitleLabel = Named(new QLabel(QStringLiteral("Song Title"), this), "lblMIDITitle");
    midiTimeLabel = Named(new QLabel(QStringLiteral("00:00"), this), "lblMIDITime");
    midiTempoCaption = Named(new QLabel(tr("♪＝"), this), "Label19");
    midiTempoLabel = Named(new QLabel(QStringLiteral("120"), this), "lblMIDITempo");
    midiBarSecondsLabel = Named(new QLabel(QStringLiteral("2.000"), this), "lblMIDISec");
    midiTempoSpin = Named(new QSpinBox(this), "SpinButtonMIDI");
    midiTempoSpin->setRange(MidiFilePlayer::kMinTempo, MidiFilePlayer::kMaxTempo);
    midiTempoSpin->setSingleStep(1);
    midiTempoSpin->setValue(120);
    midiTempoSpin->setToolTip(tr("BPM変更"));
    // A typed tempo applies when it is finished (Enter, leaving the box) or stepped by the
    // arrows: typing 128 must not play at 1 and then 12 BPM on the way.
    midiTempoSpin->setKeyboardTracking(false);
    midiBeatsLabel = Named(new QLabel(QStringLiteral("lblmiditest"), this), "lblmiditest");
    midiBeatsLabel->setVisible(false);

    MidiFilePlayer* midi = &m_midi;
    connect(midiOpenButton, &QPushButton::clicked, this, [this] { onMidiOpenClicked(); });
    connect(midiStartButton, &QPushButton::clicked, midi, &MidiFilePlayer::start);
    connect(midiPauseButton, &QPushButton::clicked, midi, &MidiFilePlayer::pause);
    connect(midiStopButton, &QPushButton::clicked, midi, &MidiFilePlayer::stop);
    connect(midiForwardButton, &QPushButton::clicked, midi, &MidiFilePlayer::forward);
    connect(midiRewindButton, &QPushButton::clicked, midi, &MidiFilePlayer::rewind);
    // Every choice the performer makes sends its reset, the item already shown included.
    connect(resetSystemBox, &QComboBox::activated, midi, &MidiFilePlayer::chooseReset);
    connect(midiRepeatCheck, &QCheckBox::toggled, midi, [midi](bool on) { midi->repeat = on; });
    // The performer's tempo, or the song's own moving the up-down: the player takes it, and
    // tempo matching follows it under the lock while the song is the reference.
    connect(midiTempoSpin, &QSpinBox::valueChanged, this, [this](int tempo) {
        m_midi.setTempo(tempo);
        m_app.performance.midiBarMoved();
    });
    connect(midi, &MidiFilePlayer::changed, this, &MidiPanel::showPlayer);
}

void MidiPanel::OpenDevice() {
    m_midi.openDevice();
}

void MidiPanel::showPlayer() {
    const MidiFilePlayer& midi = m_midi;
    midiOpenButton->setEnabled(midi.midiOpened);
    resetSystemBox->setEnabled(midi.midiOpened);
    resetSystemBox->setCurrentIndex(midi.resetKind);
    const std::pair<QPushButton*, MidiButton> buttons[] = {{midiStartButton, kMidiStart},
                                                           {midiPauseButton, kMidiPause},
                                                           {midiStopButton, kMidiStop},
                                                           {midiForwardButton, kMidiForward},
                                                           {midiRewindButton, kMidiRewind}};
    for (const auto& [button, flag] : buttons) {
        button->setEnabled(midi.canPress(flag));
    }
    midiTitleLabel->setText(midi.songTitle.value_or(QStringLiteral("Song Title")));
    FormatPanelTime(*midiTimeLabel, midi.midiTimeHundredths, 1);
    midiBeatsLabel->setText(QString::number(midi.midiBeats));
    midiTempoLabel->setText(QString::number(midi.midiTempo));
    midiBarSecondsLabel->setText(midi.BarSecondsText());
    if (midi.midiMuted != m_shownMuted) {
        m_shownMuted = midi.midiMuted;
        colours::SetBackground(*this, midi.midiMuted ? colours::kBlue : colours::ButtonFace());
    }
    // Last: the up-down's change handler runs when the player's tempo moved it.
    if (midiTempoSpin->value() != midi.midiTempo) {
        midiTempoSpin->setValue(midi.midiTempo);
    }
}

void MidiPanel::onMidiOpenClicked() {
    FileDialogRequest request;
    request.title = tr("MIDIファイルを開く");
    request.filter = tr("MIDIファイル (*.mid)|*.mid|");
    request.filterIndex = 1;
    request.fileName = lastMidiFile;
    const std::optional<QString> chosen = m_app.platform.fileDialogs.openFile(request);
    if (!chosen) {
        return;
    }
    lastMidiFile = *chosen;
    const WaitCursor wait(m_app.platform.cursor);
    m_midi.openSong(*chosen);
}

} // namespace mt
