#include "ui/MainWindow.h"

#include "app/AppContext.h"
#include "ui/AppShell.h"
#include "ui/AudioStatusLine.h"
#include "ui/BpmCounterWindow.h"
#include "ui/CdPanel.h"
#include "ui/ClickableLabel.h"
#include "ui/ControlGeometry.h"
#include "ui/DisplayFeed.h"
#include "ui/ExternalPrograms.h"
#include "ui/FileBrowser.h"
#include "ui/KeyboardPlayer.h"
#include "ui/LanguageMenu.h"
#include "ui/LevelMeter.h"
#include "ui/MidiPanel.h"
#include "ui/MissingFilesWindow.h"
#include "ui/MixPanel.h"
#include "ui/OutputWindow.h"
#include "ui/PlayModeWindow.h"
#include "ui/SettingFileCommands.h"
#include "ui/SoundQualityWindow.h"
#include "ui/SyncWindow.h"
#include "ui/TrackPanel.h"

#include <QAction>
#include <QCheckBox>
#include <QCloseEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QSignalBlocker>
#include <QStyle>

namespace mt {

MainWindow::MainWindow(AppContext& app, QWidget* parent) : QMainWindow(parent), m_app(app) {
    setObjectName(QStringLiteral("Form1"));
    setWindowTitle(QStringLiteral("Marrowtune - New"));
    auto* client = new QWidget(this);
    client->setObjectName(QStringLiteral("Form1Client"));
    setCentralWidget(client);
    buildMenus();
    // The browser's controls sit on the window itself; its panel only groups them.
    m_browser = new FileBrowser(m_app, client);
    m_browser->setPopup(m_fileListPopup);
    m_tracks = new TrackPanel(m_app, *m_browser, *m_trackPopup, *client);
    m_mix = new MixPanel(m_app, *m_tracks, *menuItem(QStringLiteral("mnuLock")), *client);
    m_cdPanel = new CdPanel(m_app, client);
    m_cdPanel->onBpmCounter = [this] { onCounterTriggered(); };
    // The CD's reference box chooses the CD's bar for tempo matching.
    m_mix->cdReferenceCheck = m_cdPanel->cdReferenceCheck;
    connect(m_cdPanel->cdReferenceCheck, &QCheckBox::toggled, m_mix,
            [this] { m_mix->onCdReferenceClicked(); });
    m_midiPanel = new MidiPanel(m_app, client);
    // The MIDI song's reference box and bar in the same way.
    m_mix->midiReferenceCheck = m_midiPanel->midiReferenceCheck;
    connect(m_midiPanel->midiReferenceCheck, &QCheckBox::toggled, m_mix,
            [this] { m_mix->onMidiReferenceClicked(); });
    mediaPanelShown.push_back([this] { m_midiPanel->OpenDevice(); });
    m_files = new SettingFileCommands(m_app, *this);
    MissingFilesWindow::OpenOnMissing(m_app, *this);
    m_keyboard = new KeyboardPlayer(m_app.keyPositions, m_app.keys, *this);
    m_shell = new AppShell(m_app, *this);

    editButton = new QPushButton(style()->standardIcon(QStyle::SP_FileDialogDetailedView),
                                 QString(), client);
    editButton->setObjectName(QStringLiteral("ComEdit"));
    editButton->setToolTip(tr("波形編集ソフト起動"));
    editButton->setEnabled(false); // until an editor is known
    volumeControlButton = new QPushButton(style()->standardIcon(QStyle::SP_MediaVolume),
                                          QStringLiteral("Vol"), client);
    volumeControlButton->setObjectName(QStringLiteral("ComVol_Show"));
    connect(volumeControlButton, &QPushButton::clicked, this,
            [this] { menuItem(QStringLiteral("mnuVolumeControl"))->trigger(); });
    wireMenus();
    m_external = new ExternalPrograms(m_app, *this);
    // The sound output's state, always in sight: in the menu bar's free corner, so the track
    // area keeps its measured layout. While there is no device at all, a red notice stands in
    // its place.
    auto* corner = new QWidget(menuBar());
    auto* cornerLayout = new QHBoxLayout(corner);
    cornerLayout->setContentsMargins(0, 0, 0, 0);
    cornerLayout->setSpacing(0);
    m_audioStatus = new AudioStatusLine(m_app.sound, corner);
    m_audioStatus->onClicked = [this] { onOutputTriggered(); };
    noSoundDeviceLabel =
        new QLabel(tr("サウンドデバイスがありません（トラックの音は出ません）"), corner);
    noSoundDeviceLabel->setObjectName(QStringLiteral("lblNoSoundDevice"));
    noSoundDeviceLabel->setStyleSheet(
        QStringLiteral("QLabel { color: white; background: rgb(192, 0, 0); padding: 0 6px; }"));
    noSoundDeviceLabel->hide();
    sessionLabel = new QLabel(corner);
    sessionLabel->setContentsMargins(0, 0, 3, 0);
    sessionLabel->hide();
    cornerLayout->addWidget(sessionLabel);
    cornerLayout->addWidget(noSoundDeviceLabel);
    cornerLayout->addWidget(m_audioStatus);
    menuBar()->setCornerWidget(corner, Qt::TopRightCorner);

    const double twipsPerPixel = TwipsPerPixel(this);
    mediaPanelOpenHeight = TwipsToPixels(kMediaPanelOpenHeightTwips, twipsPerPixel);
    mediaPanelClosedHeight = TwipsToPixels(kMediaPanelClosedHeightTwips, twipsPerPixel);
    ApplyGeometry(*client, MainWindowGeometry(), twipsPerPixel);
    fitBrowser();
    masterMeter = new LevelMeter(client);
    masterMeter->setObjectName(QStringLiteral("masterMeter"));
    beatLabel = new ClickableLabel(SyncWindow::BeatText(m_app.performance.clock()), client);
    beatLabel->setObjectName(QStringLiteral("lblBeat"));
    beatLabel->setToolTip(tr("テンポと小節内の拍（クリックでテンポ同期）"));
    beatLabel->setCursor(Qt::PointingHandCursor);
    beatLabel->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    connect(beatLabel, &ClickableLabel::mousePressed, this, [this](Qt::MouseButton button) {
        if (button == Qt::LeftButton) {
            onSyncTriggered();
        }
    });
    m_tracks->loneWolfLabel->installEventFilter(this);
    if (auto* next = client->findChild<QWidget*>(QStringLiteral("Comgo"))) {
        next->installEventFilter(this);
    }
    placeBesideLoneWolfLabel();
    auto* feed = new DisplayFeed(*this);
    feed->add([this] {
        m_tracks->showPlaying();
        masterMeter->takePeak(m_tracks->outputPeak());
        const QString beat = SyncWindow::BeatText(m_app.performance.clock());
        if (beat != beatLabel->text()) {
            beatLabel->setText(beat);
        }
    });
    // The window's own size counts the menu bar in; the client area is what is left.
    resize(TwipsToPixels(kMainWindowWidthTwips, twipsPerPixel),
           TwipsToPixels(kMediaPanelClosedHeightTwips, twipsPerPixel));
    move(x(), TwipsToPixels(kMainWindowTopTwips, twipsPerPixel));
}

void MainWindow::onLoad() {
    m_shell->onLoad();
}

void MainWindow::showSoundDevice(bool available) {
    noSoundDeviceLabel->setVisible(!available);
    m_audioStatus->setVisible(available);
}

bool MainWindow::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::Move || event->type() == QEvent::Resize) {
        placeBesideLoneWolfLabel();
    }
    return QMainWindow::eventFilter(watched, event);
}

void MainWindow::placeBesideLoneWolfLabel() {
    constexpr int kGap = 6;
    // The beat: left of the label, right-aligned, across the browser's column, which no
    // layout uses on that row.
    const QRect wolf = m_tracks->loneWolfLabel->geometry();
    const QRect beat(QPoint(m_browser->geometry().left(), wolf.top()),
                     QPoint(wolf.left() - kGap, wolf.bottom()));
    beatLabel->setGeometry(beat.isValid() ? beat : QRect());
    constexpr int kWidth = 56;
    const QRect label = m_tracks->loneWolfLabel->geometry();
    int right = label.right() + kGap + kWidth;
    const auto* next = centralWidget()->findChild<QWidget*>(QStringLiteral("Comgo"));
    if (next != nullptr && next->geometry().left() > label.right() &&
        next->geometry().top() <= label.bottom() && next->geometry().bottom() >= label.top()) {
        right = std::min(right, next->geometry().left() - kGap);
    }
    const QRect meter(QPoint(label.right() + kGap, label.top() + 3),
                      QPoint(right, label.bottom() - 3));
    masterMeter->setGeometry(meter.isValid() ? meter : QRect());
}

void MainWindow::fitBrowser() {
    m_browser->setGeometry(m_browser->childrenRect().united(QRect(0, 0, 1, 1)));
}

void MainWindow::closeEvent(QCloseEvent* event) {
    if ((closeInstead && closeInstead()) || !m_files->confirmDiscard()) {
        event->ignore();
        return;
    }
    m_shell->onUnload();
    QMainWindow::closeEvent(event);
}

QAction* MainWindow::addItem(QMenu* menu, const QString& caption, const char* name) {
    QAction* item = menu->addAction(caption);
    item->setObjectName(QLatin1String(name));
    // Enabled by the part of the program that gives the item its behaviour.
    item->setEnabled(false);
    return item;
}

void MainWindow::buildMenus() {
    QMenu* file = menuBar()->addMenu(tr("ファイル(&F)"));
    addItem(file, tr("新規作成(&N)"), "mnunew");
    addItem(file, tr("開く(&O)"), "mnuFileOpen");
    addItem(file, tr("上書き保存(&V)"), "mnuUwagaki");
    addItem(file, tr("名前を付けて保存(&S)"), "mnuFileSave");
    addItem(file, tr("セットをまとめて保存(&C)..."), "mnuFileCollect");
    file->addSeparator();
    QAction* close = addItem(file, tr("終了(&X)"), "mnuClose");
    close->setEnabled(true);
    connect(close, &QAction::triggered, this, &QWidget::close);

    QMenu* view = menuBar()->addMenu(tr("表示(&V)"));
    addItem(view, tr("プレイモードへ(&P)"), "mnuplay");
    addItem(view, tr("カウンター(&X)"), "mnuCounter");
    addItem(view, tr("メディアコントローラー(&M)"), "mnuCD")->setCheckable(true);
    addItem(view, tr("ボリュームコントロール(&B)"), "mnuVolumeControl");

    QMenu* functions = menuBar()->addMenu(tr("機能(&K)"));
    addItem(functions, QStringLiteral("Lock on(&L)"), "mnuLock")->setCheckable(true);
    addItem(functions, tr("テンポ同期(&T)"), "mnuSync");
    addItem(functions, tr("波形編集（外部プログラム）(&E)"), "mnuEditWav");
    functions->addSeparator();
    addItem(functions, tr("ファイル削除(&D)"), "mnuDeleteFile");

    QMenu* settings = menuBar()->addMenu(tr("設定(&S)"));
    addItem(settings, tr("音質(&O)"), "mnuonshitu");
    addItem(settings, tr("出力(&A)"), "mnuOutput");
    addItem(settings, tr("参照設定(&P)"), "mnuPreference");
    addItem(settings, tr("その他の設定(&S)"), "mnuOtherSetting");
    AddLanguageMenu(*settings, m_app);

    QMenu* help = menuBar()->addMenu(tr("ヘルプ(&H)"));
    addItem(help, tr("Marrowtuneヘルプ(&D)"), "mnuhelp1"); // stays disabled
    addItem(help, tr("サウンドを集めに行く（webサイト)(&S)"), "mnuhelpAtume");
    help->addSeparator();
    addItem(help, tr("バージョン情報(&V)"), "mnuhelpver");

    m_fileListPopup = new QMenu(this);
    addItem(m_fileListPopup, tr("ファイル削除"), "mnuDeleteWAV_popup");

    m_trackPopup = new QMenu(this);
    addItem(m_trackPopup, tr("一匹狼"), "mnuOokami")->setCheckable(true);
    // The track's choke group: none, the lone-wolf group, then groups 2 to 4, in that order.
    QMenu* choke = m_trackPopup->addMenu(tr("チョークグループ"));
    choke->setObjectName(QStringLiteral("mnuChokeGroup"));
    addItem(choke, tr("なし"), "mnuChokeNone");
    addItem(choke, tr("1（一匹狼）"), "mnuChokeLoneWolf");
    addItem(choke, QStringLiteral("2"), "mnuChokeTwo");
    addItem(choke, QStringLiteral("3"), "mnuChokeThree");
    addItem(choke, QStringLiteral("4"), "mnuChokeFour");
    addItem(m_trackPopup, tr("WAVファイル情報表示"), "mnuWavInfo");
    // Where the track's start lands, in the order of Quantise; and whether its stops wait too.
    QMenu* quantise = m_trackPopup->addMenu(tr("クオンタイズ"));
    quantise->setObjectName(QStringLiteral("mnuQuantise"));
    addItem(quantise, tr("なし（押したとき）"), "mnuQuantiseOff");
    addItem(quantise, QStringLiteral("1/16"), "mnuQuantiseSixteenth");
    addItem(quantise, QStringLiteral("1/8"), "mnuQuantiseEighth");
    addItem(quantise, tr("1拍"), "mnuQuantiseBeat");
    addItem(quantise, tr("1小節"), "mnuQuantiseBar");
    addItem(quantise, tr("2小節"), "mnuQuantiseTwoBars");
    addItem(quantise, tr("4小節"), "mnuQuantiseFourBars");
    addItem(m_trackPopup, tr("グリッドで停止"), "mnuStopOnGrid")->setCheckable(true);
    addItem(m_trackPopup, tr("音程を保つ"), "mnuKeepPitch")->setCheckable(true);
}

void MainWindow::wireMenus() {
    for (const char* name : {"mnuDeleteFile", "mnuDeleteWAV_popup"}) {
        QAction* item = menuItem(QLatin1String(name));
        item->setEnabled(true);
        connect(item, &QAction::triggered, m_browser, &FileBrowser::onDeleteFileTriggered);
    }
    menuItem(QStringLiteral("mnuWavInfo"))->setEnabled(true);
    QAction* quality = menuItem(QStringLiteral("mnuonshitu"));
    quality->setEnabled(true);
    connect(quality, &QAction::triggered, this, &MainWindow::onSoundQualityTriggered);
    QAction* output = menuItem(QStringLiteral("mnuOutput"));
    output->setEnabled(true);
    connect(output, &QAction::triggered, this, &MainWindow::onOutputTriggered);
    QAction* play = menuItem(QStringLiteral("mnuplay"));
    play->setEnabled(true);
    connect(play, &QAction::triggered, this, &MainWindow::onPlayModeTriggered);
    QAction* sync = menuItem(QStringLiteral("mnuSync"));
    sync->setEnabled(true);
    connect(sync, &QAction::triggered, this, &MainWindow::onSyncTriggered);
    QAction* counter = menuItem(QStringLiteral("mnuCounter"));
    counter->setEnabled(true);
    connect(counter, &QAction::triggered, this, &MainWindow::onCounterTriggered);

    QAction* media = menuItem(QStringLiteral("mnuCD"));
    media->setEnabled(true);
    connect(media, &QAction::triggered, this, [this, media](bool checked) {
        // Qt has already flipped the tick; the handler decides it from the state before.
        const QSignalBlocker quiet(media);
        media->setChecked(!checked);
        onMediaPanelTriggered();
    });
}

void MainWindow::onMediaPanelTriggered() {
    QAction* media = menuItem(QStringLiteral("mnuCD"));
    if (!media->isChecked()) {
        m_cdPanel->OpenOnShow();
        resize(width(), mediaPanelOpenHeight);
        media->setChecked(true);
        for (const std::function<void()>& shown : mediaPanelShown) {
            shown();
        }
    } else {
        m_cdPanel->cdReferenceCheck->setChecked(false);
        resize(width(), mediaPanelClosedHeight);
        media->setChecked(false); // the disc plays on and the CD watch keeps running
    }
}

MainWindow::~MainWindow() {
    delete m_playMode; // a window of its own, not a child
}

SoundQualityWindow* MainWindow::onSoundQualityTriggered() {
    // One window at a time: a second would offer choices that an OK in the first makes stale.
    if (m_quality && m_quality->isVisible()) {
        m_quality->raise();
        m_quality->activateWindow();
        return m_quality;
    }
    m_quality = new SoundQualityWindow(m_app.sound, m_app.outputFormat,
                                       this); // not modal; deletes itself when closed
    m_quality->show();
    return m_quality;
}

OutputWindow* MainWindow::onOutputTriggered() {
    if (!m_output) {
        m_output = new OutputWindow(m_app.sound, m_app.outputChoice,
                                    this); // not modal; deletes itself when closed
    }
    m_output->show();
    m_output->raise();
    m_output->activateWindow();
    return m_output;
}

SyncWindow* MainWindow::onSyncTriggered() {
    if (!m_sync) {
        m_sync = new SyncWindow(m_app, this); // not modal; deletes itself when closed
    }
    m_sync->show();
    m_sync->raise();
    m_sync->activateWindow();
    return m_sync;
}

PlayModeWindow* MainWindow::playModeWindow() const {
    return m_playMode;
}

void MainWindow::onPlayModeTriggered() {
    if (!m_playMode) {
        m_playMode = new PlayModeWindow(m_app.bank, *m_tracks);
        m_playMode->showMain = [this] { show(); };
        m_keyboard->setPlayModeWindow(m_playMode);
    }
    m_playMode->refresh(m_app.performance.title());
    hide();
    m_playMode->show();
    m_playMode->activateWindow();
    m_playMode->setFocus();
}

void MainWindow::onCounterTriggered() {
    if (!m_counter) {
        m_counter = new BpmCounterWindow(m_app, this);
        m_counter->onUnloaded = [this] {
            m_counter->deleteLater();
            m_counter = nullptr;
        };
    }
    m_counter->Open();
}

BpmCounterWindow* MainWindow::counterWindow() const {
    return m_counter;
}

QAction* MainWindow::menuItem(const QString& name) const {
    return findChild<QAction*>(name);
}

} // namespace mt
