#include "ui/OutputWindow.h"

#include "audio/RtAudioOutput.h"
#include "audio/SoundLibrary.h"
#include "audio/VbDSound.h"

#include <QComboBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include <algorithm>
#include <cmath>

namespace mt {
namespace {

QComboBox* ComboBox(QWidget* parent, const char* name) {
    auto* combo = new QComboBox(parent);
    combo->setObjectName(QLatin1String(name));
    return combo;
}

QString Milliseconds(double seconds) {
    return QString::number(1000.0 * seconds, 'g', 3) + QStringLiteral(" ms");
}

} // namespace

OutputWindow::OutputWindow(VbDSound& sound, OutputChoice& choice, QWidget* parent)
    : QDialog(parent), m_sound(sound), m_choice(choice) {
    setObjectName(QStringLiteral("FrmOutput"));
    setWindowTitle(QStringLiteral("Marrowtune-出力の設定"));
    setAttribute(Qt::WA_DeleteOnClose);

    CboSystem = ComboBox(this, "CboSystem");
    CboSystem->addItem(QStringLiteral("自動（JACK → PulseAudio → ALSA）"),
                       static_cast<int>(AudioSystem::Automatic));
    CboSystem->addItem(QStringLiteral("JACK"), static_cast<int>(AudioSystem::Jack));
    CboSystem->addItem(QStringLiteral("PulseAudio"), static_cast<int>(AudioSystem::Pulse));
    CboSystem->addItem(QStringLiteral("ALSA"), static_cast<int>(AudioSystem::Alsa));
    CboDevice = ComboBox(this, "CboDevice");
    CboBlock = ComboBox(this, "CboBlock");
    for (const double seconds : kBlockPresets) {
        CboBlock->addItem(Milliseconds(seconds), seconds);
    }
    lblLatency = new QLabel(this);
    lblLatency->setObjectName(QStringLiteral("lblLatency"));

    CboSystem->setCurrentIndex(CboSystem->findData(static_cast<int>(m_choice.system)));
    int nearest = 0;
    for (int i = 0; i < CboBlock->count(); ++i) {
        if (std::fabs(kBlockPresets[i] - m_choice.blockSeconds) <
            std::fabs(kBlockPresets[nearest] - m_choice.blockSeconds)) {
            nearest = i;
        }
    }
    CboBlock->setCurrentIndex(nearest);
    listDevices(m_choice.device);
    showLatency();
    connect(CboSystem, &QComboBox::currentIndexChanged, this, [this] {
        listDevices(std::string());
        showLatency();
    });
    connect(CboBlock, &QComboBox::currentIndexChanged, this, [this] { showLatency(); });

    ComOK = new QPushButton(QStringLiteral("OK(&Y)"), this);
    ComOK->setObjectName(QStringLiteral("ComOK"));
    ComOK->setDefault(true);
    ComCancel = new QPushButton(QStringLiteral("キャンセル(&N)"), this);
    ComCancel->setObjectName(QStringLiteral("ComCancel"));
    connect(ComOK, &QPushButton::clicked, this, &OutputWindow::ComOK_Click);
    connect(ComCancel, &QPushButton::clicked, this, &OutputWindow::ComCancel_Click);

    auto* form = new QFormLayout;
    form->addRow(QStringLiteral("オーディオシステム"), CboSystem);
    form->addRow(QStringLiteral("デバイス"), CboDevice);
    auto* block = new QHBoxLayout;
    block->addWidget(CboBlock);
    block->addWidget(lblLatency, 1);
    form->addRow(QStringLiteral("ブロック"), block);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(ComOK);
    buttons->addWidget(ComCancel);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addLayout(buttons);
}

void OutputWindow::listDevices(const std::string& keep) {
    CboDevice->clear();
    CboDevice->addItem(QStringLiteral("既定のデバイス"), QString());
    const auto system = static_cast<AudioSystem>(CboSystem->currentData().toInt());
    for (const std::string& name : RtAudioOutput::DeviceNames(system)) {
        const QString text = QString::fromStdString(name);
        CboDevice->addItem(text, text);
    }
    if (!keep.empty()) {
        const QString name = QString::fromStdString(keep);
        if (CboDevice->findData(name) < 0) {
            // Remembered by name: a device that is unplugged now plays on the default meanwhile.
            CboDevice->addItem(name + QStringLiteral("（見つかりません）"), name);
        }
        CboDevice->setCurrentIndex(CboDevice->findData(name));
    }
    CboDevice->setEnabled(system != AudioSystem::Automatic);
}

void OutputWindow::showLatency() {
    const OutputChoice choice = shownChoice();
    LibraryHealth health;
    const bool playing = m_sound.health(health) && !health.device.api.empty();
    AudioSystem system = choice.system;
    if (system == AudioSystem::Automatic && playing) {
        // The automatic choice's figures are those of the system it found.
        system = health.device.api == "jack"   ? AudioSystem::Jack
                 : health.device.api == "alsa" ? AudioSystem::Alsa
                                               : AudioSystem::Pulse;
    }
    if (system == AudioSystem::Jack) {
        // A JACK server runs at its own period, and the delay is its; our block is only the mix's.
        for (int i = 0; i < CboBlock->count(); ++i) {
            CboBlock->setItemText(i, Milliseconds(kBlockPresets[i]));
        }
        if (!playing || health.device.api != "jack") {
            lblLatency->setText(QStringLiteral("遅延は JACK サーバーの周期で決まります"));
            return;
        }
        const OutputHealth& d = health.device;
        lblLatency->setText(
            QStringLiteral("サーバーの周期 %1 フレーム（%2）・ミックスのブロック %3 フレーム（%4）"
                           "・キーから音まで 約 %5")
                .arg(d.blockFrames)
                .arg(Milliseconds(static_cast<double>(d.blockFrames) / std::max(d.deviceRate, 1)))
                .arg(health.format.blockFrames)
                .arg(Milliseconds(static_cast<double>(health.format.blockFrames) /
                                  std::max(health.format.sampleRate, 1)))
                .arg(Milliseconds(d.latencySeconds)));
        return;
    }
    for (int i = 0; i < CboBlock->count(); ++i) {
        const double seconds = kBlockPresets[i];
        CboBlock->setItemText(i, Milliseconds(seconds) +
                                     QStringLiteral("（遅延 約 %1）")
                                         .arg(Milliseconds(ExpectedLatency(system, seconds))));
    }
    lblLatency->setText(QStringLiteral("キーから音まで 約 %1")
                            .arg(Milliseconds(ExpectedLatency(system, choice.blockSeconds))));
}

OutputChoice OutputWindow::shownChoice() const {
    OutputChoice choice;
    choice.system = static_cast<AudioSystem>(CboSystem->currentData().toInt());
    choice.device = CboDevice->currentData().toString().toStdString();
    choice.blockSeconds = CboBlock->currentData().toDouble();
    return choice;
}

void OutputWindow::ComOK_Click() {
    m_choice = shownChoice();
    // A choice that does not open leaves the previous output playing; the status line tells
    // which one plays.
    m_sound.setOutput(m_choice);
    close();
}

void OutputWindow::ComCancel_Click() {
    close();
}

} // namespace mt
