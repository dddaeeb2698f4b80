#include "ui/AppShell.h"

#include "app/AppContext.h"
#include "app/Language.h"
#include "core/StoredValue.h"
#include "files/LayoutFile.h"
#include "platform/RegularFile.h"
#include "platform/SettingsStore.h"
#include "ui/ControlGeometry.h"
#include "ui/FileBrowser.h"
#include "ui/MainWindow.h"
#include "ui/MidiPanel.h"
#include "ui/MixPanel.h"

#include <QAction>
#include <QComboBox>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QPushButton>
#include <QStandardPaths>

#include <limits>

namespace mt {
namespace {

const QString kSection = QStringLiteral("Info");
// The program's own settings, kept apart so "Info" holds exactly its twelve keys.
const QString kOwnSection = QStringLiteral("Marrowtune");
const QString kOscSection = QStringLiteral("Osc");

QString BoolText(bool value) {
    return value ? QStringLiteral("True") : QStringLiteral("False");
}

} // namespace

AppShell::AppShell(AppContext& app, MainWindow& window)
    : QObject(&window), endProcess([] { QCoreApplication::exit(0); }), m_app(app),
      m_window(window) {}

std::optional<QString> AppShell::read(const char* key) const {
    return m_app.platform.settings.value(m_app.appName, kSection, QLatin1String(key));
}

bool AppShell::readBool(const char* key, bool fallback) const {
    return StoredBool(read(key)).value_or(fallback);
}

long long AppShell::readInt(const char* key, long long fallback, long long lowest,
                            long long highest) const {
    return StoredInt(read(key), lowest, highest).value_or(fallback);
}

void AppShell::write(const char* key, const QString& value) {
    m_app.platform.settings.setValue(m_app.appName, kSection, QLatin1String(key), value);
}

QString AppShell::FindVolumeControl() {
    for (const char* program : {"pavucontrol", "pavucontrol-qt", "pwvucontrol", "kmix",
                                "mate-volume-control", "xfce4-mixer", "qasmixer"}) {
        QString path = QStandardPaths::findExecutable(QLatin1String(program));
        if (!path.isEmpty()) {
            return path;
        }
    }
    return {};
}

QString AppShell::FindDataDirectory() {
    const QString beside = QCoreApplication::applicationDirPath();
    for (const QString& folder :
         {beside, QDir::cleanPath(beside + QStringLiteral("/../share/marrowtune"))}) {
        if (QFile::exists(folder + QStringLiteral("/normal.dat"))) {
            return folder;
        }
    }
    return {};
}

void AppShell::onLoad() {
    MainWindow& w = m_window;
    const double twipsPerPixel = TwipsPerPixel(&w);
    w.mediaPanelClosedHeight = TwipsToPixels(kMediaPanelClosedHeightTwips, twipsPerPixel);
    w.mediaPanelOpenHeight = TwipsToPixels(kMediaPanelOpenHeightTwips, twipsPerPixel);
    w.mainWindowWidth = TwipsToPixels(kMainWindowWidthTwips, twipsPerPixel);
    w.resize(w.width(), w.mediaPanelClosedHeight);
    w.move(w.x(), TwipsToPixels(kMainWindowTopTwips, twipsPerPixel));

    m_app.performance.readPreferences(m_app.platform.settings, m_app.appName,
                                      &AppShell::FindVolumeControl);
    const Preferences& preferences = m_app.performance.preferences();
    if (!preferences.editProgramPath.isEmpty()) {
        w.editButton->setEnabled(true);
    }
    m_app.cd.state.stopCdOnExit = readBool("EndCDEnd", false);

    // A first start opens the demo sounds that ship with the program.
    FileBrowser& browser = w.browser();
    const QString demo = m_app.dataDir + QStringLiteral("/demo");
    const QString folder = read("WAVDir").value_or(
        !m_app.dataDir.isEmpty() && QDir(demo).exists() ? demo : browser.dirPath());
    const QString notReady = tr("前回使ったドライブが用意されていません");
    if (!browser.setDirPath(folder)) {
        m_app.showMessage(notReady);
    }
    browser.refreshFiles();
    const QString drive = read("WAVDrive").value_or(browser.driveBox->currentText());
    if (!browser.setDrive(drive)) {
        m_app.showMessage(notReady);
    }

    SettingsStore& store = m_app.platform.settings;
    m_app.language = StoredLanguage(store, m_app.appName);
    m_app.cd.state.imagePath =
        store.value(m_app.appName, kOwnSection, QStringLiteral("CdImage")).value_or(QString());
    if (const std::optional<QString> font =
            store.value(m_app.appName, kOwnSection, QStringLiteral("SoundFont"));
        font && !font->isEmpty()) {
        m_app.midi.kbgm.setSoundFont(*font);
    }

    // The output the performer chose; the device is opened on it below.
    OutputChoice& output = m_app.outputChoice;
    output.system =
        AudioSystemFromKey(store.value(m_app.appName, kOwnSection, QStringLiteral("AudioSystem"))
                               .value_or(QString())
                               .toStdString());
    output.device = store.value(m_app.appName, kOwnSection, QStringLiteral("AudioDevice"))
                        .value_or(QString())
                        .toStdString();
    bool blockOk = false;
    const double blockMs = store.value(m_app.appName, kOwnSection, QStringLiteral("AudioBlockMs"))
                               .value_or(QString())
                               .toDouble(&blockOk);
    output.blockSeconds =
        blockOk && blockMs >= 0.5 && blockMs <= 100.0 ? blockMs / 1000.0 : kDefaultBlockSeconds;
    output.separateOutputs =
        StoredBool(store.value(m_app.appName, kOwnSection, QStringLiteral("SeparateOutputs")))
            .value_or(false);

    m_app.performance.readClockSettings(store, m_app.appName);
    m_app.performance.readRelinkFolders(store, m_app.appName);
    m_app.outsideClocks.readSettings(store, m_app.appName);
    const auto osc = [&](const char* key) {
        return store.value(m_app.appName, kOscSection, QLatin1String(key));
    };
    m_app.osc.enabled = StoredBool(osc("Enabled")).value_or(false);
    m_app.osc.port = static_cast<int>(StoredInt(osc("Port"), 0, 65535).value_or(9000));
    m_app.osc.allInterfaces = StoredBool(osc("AllInterfaces")).value_or(false);

    w.midiPanel().lastMidiFile = read("MIDIDir").value_or(QString());

    OutputFormat& format = m_app.outputFormat;
    format.sampleRate = static_cast<std::int32_t>(
        readInt("QuSample", 22050, std::numeric_limits<std::int32_t>::min(),
                std::numeric_limits<std::int32_t>::max()));
    format.bits = static_cast<std::int16_t>(readInt("QuBit", 16, -32768, 32767));
    format.channels = static_cast<std::int16_t>(readInt("QuSm", 2, -32768, 32767));
    format = format.offeredOnly();

    LoadLayout(static_cast<std::int16_t>(preferences.formSize));

    w.showSoundDevice(m_app.performance.start([this, &w, &format] {
        m_app.sound.OpenSoundDevice(static_cast<std::intptr_t>(w.winId()), format);
        // The library opens on the output choice; one opened otherwise takes it now.
        m_app.sound.setOutput(m_app.outputChoice);
        return m_app.sound.soundLibHandle != 0;
    }));
    m_app.midi.midiBarSeconds = 2.0;
    m_app.midi.midiTempo = 120;
    w.mix().formLoaded = true;
    m_app.cd.state.cdSeekStep = 3000;
}

void AppShell::LoadLayout(int flag) {
    QFile file(m_app.dataDir + QLatin1Char('/') + layoutFileName(flag));
    if (m_app.dataDir.isEmpty() || !OpenRegularFileForReading(file)) {
        return;
    }
    const DecodedLayout layout = DecodeLayoutFile(file.readAll());
    const std::vector<LayoutRecordSpec>& order = LayoutRecordOrder();
    const double twipsPerPixel = TwipsPerPixel(&m_window);
    for (std::size_t i = 0; i < layout.records.size(); ++i) {
        const LayoutRecordSpec& entry = order[i];
        const LayoutRecord& r = layout.records[i];
        auto* control = m_window.findChild<QWidget*>(entry.name);
        if (control == nullptr) {
            continue;
        }
        control->setGeometry(
            TwipsToPixels(r.left, twipsPerPixel), TwipsToPixels(r.top, twipsPerPixel),
            TwipsToPixels(r.width, twipsPerPixel),
            entry.noHeight ? control->height() : TwipsToPixels(r.height, twipsPerPixel));
        if (!entry.noFont && r.fontSize > 0.0f) {
            QFont font = control->font();
            font.setPointSizeF(r.fontSize);
            control->setFont(font);
        }
    }
    m_window.fitBrowser();
    if (!layout.hasDimensions) {
        return;
    }
    m_window.mediaPanelClosedHeight = layout.dimensions.mediaPanelClosedHeight;
    m_window.mediaPanelOpenHeight = layout.dimensions.mediaPanelOpenHeight;
    m_window.mainWindowWidth = layout.dimensions.mainWindowWidth;
    const bool mediaShown = m_window.menuItem(QStringLiteral("mnuCD"))->isChecked();
    m_window.resize(m_window.mainWindowWidth,
                    mediaShown ? m_window.mediaPanelOpenHeight : m_window.mediaPanelClosedHeight);
}

void AppShell::writeShared() {
    const FileBrowser& browser = m_window.browser();
    const OutputFormat& format = m_app.outputFormat;
    write("WAVDir", browser.dirPath());
    write("WAVDrive", browser.driveBox->currentText());
    write("WSCDir", m_app.performance.dialogFileName());
    write("MIDIDir", m_window.midiPanel().lastMidiFile);
    write("QuSample", QString::number(format.sampleRate));
    write("Qubit", QString::number(format.bits));
    write("QuSm", QString::number(format.channels));
    write("VolumeControlPath", m_app.volumeControlPath);
    write("editProgramPath", m_app.editProgramPath);
    write("PreviewLoop", BoolText(m_app.previewLoop));
}

void AppShell::writeOwn() {
    SettingsStore& store = m_app.platform.settings;
    store.setValue(m_app.appName, kOwnSection, QStringLiteral("CdImage"), m_app.cd.state.imagePath);
    store.setValue(m_app.appName, kOwnSection, QStringLiteral("SoundFont"),
                   m_app.midi.kbgm.soundFont());
    const OutputChoice& output = m_app.outputChoice;
    store.setValue(m_app.appName, kOwnSection, QStringLiteral("AudioSystem"),
                   QLatin1String(AudioSystemKey(output.system)));
    store.setValue(m_app.appName, kOwnSection, QStringLiteral("AudioDevice"),
                   QString::fromStdString(output.device));
    store.setValue(m_app.appName, kOwnSection, QStringLiteral("AudioBlockMs"),
                   QString::number(1000.0 * output.blockSeconds));
    store.setValue(m_app.appName, kOwnSection, QStringLiteral("SeparateOutputs"),
                   output.separateOutputs ? QStringLiteral("1") : QStringLiteral("0"));
    m_app.performance.writeClockSettings(store, m_app.appName);
    m_app.performance.writeRelinkFolders(store, m_app.appName);
    m_app.outsideClocks.writeSettings(store, m_app.appName);
    store.setValue(m_app.appName, kOscSection, QStringLiteral("Enabled"),
                   BoolText(m_app.osc.enabled));
    store.setValue(m_app.appName, kOscSection, QStringLiteral("Port"),
                   QString::number(m_app.osc.port));
    store.setValue(m_app.appName, kOscSection, QStringLiteral("AllInterfaces"),
                   BoolText(m_app.osc.allInterfaces));
    StoreLanguage(store, m_app.appName, m_app.language);
}

void AppShell::reportWriteFailure() {
    if (!m_app.platform.settings.writesSucceeded()) {
        m_app.showMessage(tr("設定を保存できませんでした。次回の起動では前回の設定が使われます。"));
    }
}

void AppShell::onUnload() {
    m_app.bankLoader.releaseSounds();
    m_app.preview.release();
    m_app.sound.TerminateSoundLibrary();
    m_app.midi.MidiStop();
    m_app.midi.MidiCloseDevice();
    m_app.cd.ShutdownCD();
    writeShared();
    write("EndCDEnd", BoolText(m_app.cd.state.stopCdOnExit));
    write("FormSizeFlag", QString::number(m_app.smallLayout));
    writeOwn();
    reportWriteFailure();
    endProcess();
}

void AppShell::SaveSettingsAndEnd() {
    writeShared();
    writeOwn();
    reportWriteFailure();
    endProcess();
}

} // namespace mt
