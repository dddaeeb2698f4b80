#include "files/LayoutFile.h"
#include "support/UiFixture.h"
#include "ui/AppShell.h"
#include "ui/ControlGeometry.h"
#include "ui/SoundQualityWindow.h"

#include <QDir>
#include <QFile>
#include <QLabel>
#include <QRadioButton>

namespace mt {
namespace {

const QString kData = QStringLiteral(MT_BUILD_DATA_DIR);

// A program started from stored settings that the test writes first.
class StartUpTest : public test::AppTest {
protected:
    void store(const char* key, const QString& value) {
        m_platform.settings.setValue(m_app.appName, "Info", key, value);
    }
    QString stored(const char* key) {
        return m_platform.settings.value(m_app.appName, "Info", key).value_or("<none>");
    }
    MainWindow& start(const QString& dataDir = kData) {
        m_app.dataDir = dataDir;
        m_platform.settings.written.clear();
        m_window = std::make_unique<MainWindow>(m_app);
        m_window->shell().endProcess = [this] { ++m_ended; };
        m_window->onLoad();
        return *m_window;
    }
    void TearDown() override { m_app.sound.TerminateSoundLibrary(); }
    // The media panel shown or hidden from the menu, as a performer does it.
    void toggleMediaPanel() {
        test::ShowActive(*m_window);
        test::ChooseMenuItem(*m_window, *m_window->menuItem(QStringLiteral("mnuCD")));
    }

    std::unique_ptr<MainWindow> m_window;
    int m_ended = 0;
};

TEST_F(StartUpTest, FirstStartUsesDefaultsShowsTheDemoKitAndWritesOnlyAtTheEnd) {
    MainWindow& w = start();
    EXPECT_TRUE(m_platform.settings.written.empty() && m_platform.messages.shown.empty());
    EXPECT_EQ(std::make_tuple(m_output->config().sampleRate, w.windowTitle(), w.browser().dirPath(),
                              w.browser().fileList->count()),
              std::make_tuple(22050, QStringLiteral("Marrowtune - New"),
                              QDir(kData + "/demo").absolutePath(), 6));
    EXPECT_FALSE(w.editButton->isEnabled() || w.menuItem("mnuUwagaki")->isEnabled());
    EXPECT_TRUE(w.noSoundDeviceLabel->isHidden()) << "a device is open";

    EXPECT_TRUE(w.close());
    EXPECT_EQ(m_ended, 1);
    EXPECT_EQ(QStringList(m_platform.settings.written.begin(), m_platform.settings.written.end())
                  .join(' '),
              "WAVDir WAVDrive WSCDir MIDIDir QuSample Qubit QuSm VolumeControlPath "
              "editProgramPath PreviewLoop EndCDEnd FormSizeFlag CdImage SoundFont AudioSystem "
              "AudioDevice AudioBlockMs SeparateOutputs Bpm BeatsPerBar Source Folders JackMaster "
              "LinkStartStop Enabled Port AllInterfaces Language");
    EXPECT_EQ(stored("PreviewLoop") + " " + stored("WAVDir"),
              "False " + QDir(kData + "/demo").absolutePath());
    EXPECT_EQ(m_app.sound.soundLibHandle, 0) << "shutdown terminates the library";
}

TEST_F(StartUpTest, StoredSettingsComeBack) {
    store("WAVDir", m_dir.path());
    store("EndCDEnd", "True");
    store("editProgramPath", "/usr/bin/audacity");
    store("WSCDir", "/sets/live.mrw");
    store("FormSizeFlag", "7"); // any non-zero flag is the small layout
    m_platform.settings.setValue(m_app.appName, "Marrowtune", "CdImage", "/discs/live.cue");
    m_platform.settings.setValue(m_app.appName, "BeatClock", "Bpm", "96.5");
    MainWindow& w = start();
    EXPECT_EQ(std::make_tuple(w.browser().dirPath(), m_app.cd.state.imagePath,
                              m_app.performance.clock().bpm(), w.mediaPanelClosedHeight),
              std::make_tuple(m_dir.path(), QStringLiteral("/discs/live.cue"), 96.5, 454))
        << "454: the small layout's heights";
    EXPECT_TRUE(m_app.cd.state.stopCdOnExit && w.editButton->isEnabled());
    EXPECT_TRUE(m_platform.messages.shown.empty());

    // The editor's way out keeps the stored layout flag and the CD setting.
    prefer([](Preferences& p) { p.formSize = 0; });
    m_app.cd.state.stopCdOnExit = false;
    w.shell().SaveSettingsAndEnd();
    EXPECT_EQ(m_ended, 1);
    EXPECT_EQ(stored("FormSizeFlag") + stored("EndCDEnd") + stored("WSCDir"),
              "7True/sets/live.mrw");
    EXPECT_EQ(m_platform.settings.written.size(), 26u); // ten of "Info", sixteen of our own
}

// The stored output format ("Qubit" is read back as "QuBit"); each part the sound-quality
// window does not offer, or that is no number, is the default alone.
TEST_F(StartUpTest, AnOutputFormatTheWindowDoesNotOfferIsTheDefault) {
    const struct {
        const char *rate, *bits, *channels;
        int hz, bitsUsed, channelsUsed;
    } rows[] = {{"44100", "8", "1", 44100, 8, 1},
                {"1", "0", "9", 22050, 16, 2},
                {"48000", "8", "1", 22050, 8, 1},
                {"lots", "x", "", 22050, 16, 2}};
    for (const auto& r : rows) {
        store("QuSample", r.rate);
        store("Qubit", r.bits);
        store("QuSm", r.channels);
        start();
        EXPECT_EQ(m_output->config().sampleRate, r.hz) << r.rate;
        EXPECT_EQ(m_app.outputFormat.bits, r.bitsUsed) << r.bits;
        EXPECT_EQ(m_output->config().channels, r.channelsUsed) << r.channels;
        m_app.sound.TerminateSoundLibrary();
    }
}

TEST_F(StartUpTest, WithoutASoundDeviceTheWindowSaysSoInOnePlace) {
    m_noSoundDevice = true;
    MainWindow& w = start();
    w.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&w));
    EXPECT_TRUE(w.noSoundDeviceLabel->isVisible());
    EXPECT_EQ(w.noSoundDeviceLabel->text(),
              QStringLiteral("サウンドデバイスがありません（トラックの音は出ません）"));
    const QRect inWindow(w.noSoundDeviceLabel->mapTo(&w, QPoint(0, 0)),
                         w.noSoundDeviceLabel->size());
    EXPECT_TRUE(QRect(QPoint(0, 0), w.size()).contains(inWindow)) << "out of sight";
    w.resize(w.width(), w.mediaPanelOpenHeight);
    EXPECT_TRUE(w.noSoundDeviceLabel->isVisible());
}

// A folder that is gone is told and the start goes on; settings that cannot be written are
// told at the end.
TEST_F(StartUpTest, AGoneFolderAndSettingsThatCannotBeWrittenAreTold) {
    store("WAVDir", m_dir.filePath("gone"));
    store("WAVDrive", "/no/such/volume");
    MainWindow& w = start();
    const QString notReady = QStringLiteral("前回使ったドライブが用意されていません");
    EXPECT_EQ(messageTexts(), (std::vector<QString>{notReady, notReady}));
    EXPECT_EQ(w.windowTitle(), QStringLiteral("Marrowtune - New"));
    m_platform.settings.failWrites = true;
    w.close();
    ASSERT_EQ(m_platform.messages.shown.size(), 3u);
    EXPECT_TRUE(m_platform.messages.shown[2].text.startsWith("設定を保存できませんでした") &&
                m_ended == 1);
}

// Where a control sits according to a layout file's record, in pixels.
QRect RecordRect(const LayoutRecord& r, const QWidget& control, bool noHeight, double tpp) {
    return {TwipsToPixels(r.left, tpp), TwipsToPixels(r.top, tpp), TwipsToPixels(r.width, tpp),
            noHeight ? control.height() : TwipsToPixels(r.height, tpp)};
}

TEST_F(StartUpTest, BothShippedLayoutsMoveEveryListedControl) {
    MainWindow& w = start();
    for (int flag : {1, 0}) {
        QFile file(kData + "/" + layoutFileName(flag));
        ASSERT_TRUE(file.open(QIODevice::ReadOnly));
        const DecodedLayout layout = DecodeLayoutFile(file.readAll());
        ASSERT_EQ(layout.records.size(), 216u);
        ASSERT_TRUE(layout.hasDimensions);
        const int comboHeight = w.findChild<QWidget*>("Combo(2)")->height();
        w.shell().LoadLayout(flag);
        const double tpp = TwipsPerPixel(&w);
        for (std::size_t i = 0; i < layout.records.size(); ++i) {
            const LayoutRecordSpec& entry = LayoutRecordOrder()[i];
            const QWidget* control = w.findChild<QWidget*>(entry.name);
            ASSERT_NE(control, nullptr) << entry.name.toStdString();
            EXPECT_EQ(control->geometry(),
                      RecordRect(layout.records[i], *control, entry.noHeight, tpp))
                << entry.name.toStdString();
            if (!entry.noFont) {
                EXPECT_FLOAT_EQ(static_cast<float>(control->font().pointSizeF()),
                                layout.records[i].fontSize)
                    << entry.name.toStdString();
            }
        }
        EXPECT_EQ(std::make_tuple(w.findChild<QWidget*>("Combo(2)")->height(),
                                  w.mediaPanelClosedHeight, w.height()),
                  std::make_tuple(comboHeight, layout.dimensions.mediaPanelClosedHeight,
                                  layout.dimensions.mediaPanelClosedHeight));
    }

    // Small and with the media panel shown: the small open height, inside an 800x600 screen
    // with room for a title bar; hidden: the small closed height.
    w.shell().LoadLayout(1);
    toggleMediaPanel();
    EXPECT_EQ(w.height(), 538);
    EXPECT_LE(w.width(), 800);
    for (const LayoutRecordSpec& entry : LayoutRecordOrder()) {
        const auto* control = w.findChild<QWidget*>(entry.name);
        const QRect inWindow(control->mapTo(&w, QPoint(0, 0)), control->size());
        EXPECT_TRUE(w.rect().contains(inWindow)) << entry.name.toStdString() << " lies outside";
    }
    toggleMediaPanel();
    EXPECT_EQ(w.height(), 454);
}

TEST_F(StartUpTest, ABrokenLayoutFileKeepsWhatWasAppliedAndTheWindowSize) {
    QFile normal(kData + "/normal.dat");
    ASSERT_TRUE(normal.open(QIODevice::ReadOnly));
    QList<QByteArray> lines = normal.readAll().split('\n');
    lines[1] = "99,99,99,99,9\r"; // fileList moves
    lines[3] = "1,2,3,x,9\r";     // lockedLabel has a letter: the load ends there
    ASSERT_TRUE(test::WriteFile(m_dir.filePath("normal.dat"), lines.join('\n')));
    ASSERT_TRUE(QFile::copy(kData + "/small.dat", m_dir.filePath("small.dat")));
    MainWindow& w = start(m_dir.path());
    const QSize size = w.size();
    const QRect locked = w.findChild<QWidget*>("LabelLocked")->geometry();
    w.shell().LoadLayout(0);
    const double tpp = TwipsPerPixel(&w);
    EXPECT_EQ(w.findChild<QWidget*>("File2")->geometry().topLeft(),
              QPoint(TwipsToPixels(99, tpp), TwipsToPixels(99, tpp)));
    EXPECT_EQ(w.findChild<QWidget*>("LabelLocked")->geometry(), locked);
    EXPECT_EQ(w.size(), size);

    QFile::remove(m_dir.filePath("normal.dat"));
    w.shell().LoadLayout(0); // missing: nothing happens
    EXPECT_EQ(w.size(), size);
}

// The menu brings the open sound-quality window to the front rather than opening a second,
// whose choices an OK in the first would make stale. OK applies, cancel keeps the format.
TEST_F(StartUpTest, OneSoundQualityWindowAppliesOnOk) {
    MainWindow& w = start();
    test::ShowActive(w);
    QAction& item = *w.menuItem(QStringLiteral("mnuonshitu"));
    const auto open = [&] {
        test::ChooseMenuItem(w, item);
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        const QList<SoundQualityWindow*> windows = w.findChildren<SoundQualityWindow*>();
        EXPECT_EQ(windows.size(), 1);
        return windows.front();
    };
    // 44.1 kHz, 8 bits, mono, then the button that ends the window.
    const auto choose = [](SoundQualityWindow* quality, QPushButton* SoundQualityWindow::*end) {
        for (QWidget* choice :
             std::initializer_list<QWidget*>{quality->rate44100Option, quality->bits8Option,
                                             quality->monoOption, quality->*end}) {
            QTest::mouseClick(choice, Qt::LeftButton);
        }
    };
    SoundQualityWindow* quality = open();
    open();
    EXPECT_FALSE(quality->isModal());
    choose(quality, &SoundQualityWindow::cancelButton);
    EXPECT_EQ((std::pair<int, int>(m_app.outputFormat.sampleRate, m_app.outputFormat.channels)),
              std::make_pair(22050, 2));

    quality = open();
    choose(quality, &SoundQualityWindow::okButton);
    EXPECT_FALSE(quality->isVisible());
    EXPECT_EQ(
        (std::tuple<int, int, int, int, int>(
            m_app.outputFormat.sampleRate, m_app.outputFormat.bits, m_app.outputFormat.channels,
            m_output->config().sampleRate, m_output->config().channels)),
        std::make_tuple(44100, 8, 1, 44100, 1));
    EXPECT_TRUE(open()->rate44100Option->isChecked()) << "a fresh window shows the choice in force";
    EXPECT_TRUE(m_platform.settings.written.empty()) << "stored only at shutdown";
}

} // namespace
} // namespace mt
