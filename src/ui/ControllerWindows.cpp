#include "ui/ControllerWindows.h"

#include "app/AppContext.h"
#include "core/KeyPositions.h"
#include "midiin/MidiMapping.h"
#include "platform/MessageBoxService.h"
#include "platform/SettingsStore.h"
#include "ui/MainWindow.h"
#include "ui/MidiPerformance.h"
#include "ui/X11Keyboard.h"

#include <QAction>
#include <QComboBox>
#include <QCoreApplication>
#include <QGridLayout>
#include <QKeyEvent>
#include <QKeySequence>
#include <QLabel>
#include <QMenu>
#include <QPointer>
#include <QPushButton>
#include <QScrollArea>
#include <QSpinBox>
#include <QVBoxLayout>

#include <algorithm>
#include <memory>
#include <utility>

namespace mt {
namespace {

const QString kSection = QStringLiteral("Marrowtune");
const char* const kSystems[] = {"auto", "jack", "alsa"}; // as the MIDI input stores them

QString ActionCaption(const MidiAction& action) {
    const int track = action.track + 1;
    switch (action.kind) {
    case MidiAction::Kind::Press:
        return QCoreApplication::translate("mt::MidiSetupWindow", "トラック%1 発音").arg(track);
    case MidiAction::Kind::Volume:
        return QCoreApplication::translate("mt::MidiSetupWindow", "トラック%1 音量").arg(track);
    case MidiAction::Kind::Pan:
        return QCoreApplication::translate("mt::MidiSetupWindow", "トラック%1 パン").arg(track);
    case MidiAction::Kind::Speed:
        return QCoreApplication::translate("mt::MidiSetupWindow", "トラック%1 速度").arg(track);
    case MidiAction::Kind::Panic:
        break;
    }
    return QCoreApplication::translate("mt::MidiSetupWindow", "全停止（パニック）");
}

QString TriggerCaption(const MidiTrigger& trigger) {
    const QString channel = trigger.channel == MidiTrigger::kAnyChannel
                                ? QCoreApplication::translate("mt::MidiSetupWindow", "全ch")
                                : QStringLiteral("ch%1").arg(trigger.channel + 1);
    switch (trigger.kind) {
    case MidiTrigger::Kind::Note:
        return QCoreApplication::translate("mt::MidiSetupWindow", "ノート %1 %2")
            .arg(trigger.number)
            .arg(channel);
    case MidiTrigger::Kind::ControlChange:
        return QStringLiteral("CC %1 %2").arg(trigger.number).arg(channel) +
               (trigger.mode == CcMode::Absolute
                    ? QString()
                    : QCoreApplication::translate("mt::MidiSetupWindow", " エンコーダ"));
    case MidiTrigger::Kind::None:
        break;
    }
    return QCoreApplication::translate("mt::MidiSetupWindow", "なし");
}

// The performance keys' actions in KeyPositions::actions() order, translated where shown.
const char* const kKeyCaptions[KeyPositions::kActionCount] = {
    QT_TRANSLATE_NOOP("mt::KeyRemapWindow", "トラック1"),
    QT_TRANSLATE_NOOP("mt::KeyRemapWindow", "トラック2"),
    QT_TRANSLATE_NOOP("mt::KeyRemapWindow", "トラック3"),
    QT_TRANSLATE_NOOP("mt::KeyRemapWindow", "トラック4"),
    QT_TRANSLATE_NOOP("mt::KeyRemapWindow", "トラック5"),
    QT_TRANSLATE_NOOP("mt::KeyRemapWindow", "トラック6"),
    QT_TRANSLATE_NOOP("mt::KeyRemapWindow", "トラック7"),
    QT_TRANSLATE_NOOP("mt::KeyRemapWindow", "トラック8"),
    QT_TRANSLATE_NOOP("mt::KeyRemapWindow", "全体ミュート"),
    QT_TRANSLATE_NOOP("mt::KeyRemapWindow", "選択トラックミュート"),
    QT_TRANSLATE_NOOP("mt::KeyRemapWindow", "CDミュート"),
    QT_TRANSLATE_NOOP("mt::KeyRemapWindow", "MIDIミュート"),
    QT_TRANSLATE_NOOP("mt::KeyRemapWindow", "CD一時停止"),
    QT_TRANSLATE_NOOP("mt::KeyRemapWindow", "一匹狼に加える"),
    QT_TRANSLATE_NOOP("mt::KeyRemapWindow", "一匹狼モード"),
    QT_TRANSLATE_NOOP("mt::KeyRemapWindow", "パン左"),
    QT_TRANSLATE_NOOP("mt::KeyRemapWindow", "パン中央"),
    QT_TRANSLATE_NOOP("mt::KeyRemapWindow", "パン右"),
    QT_TRANSLATE_NOOP("mt::KeyRemapWindow", "次のトラック"),
    QT_TRANSLATE_NOOP("mt::KeyRemapWindow", "全停止（パニック）"),
};

// The key's name on the performer's layout as the X server gives it; elsewhere the US-QWERTY
// name of an action's default key, or the keycode.
QString KeyName(std::uint32_t keycode) {
    if (QString name = X11Keyboard::keyName(keycode); !name.isEmpty()) {
        return name;
    }
    for (int a = 0; a < KeyPositions::kActionCount; ++a) {
        const std::vector<std::uint32_t> keys = KeyPositions::defaultKeys(a);
        if (std::ranges::find(keys, keycode) != keys.end()) {
            return QKeySequence(KeyPositions::actions()[a].usKey)
                .toString(QKeySequence::NativeText);
        }
    }
    return QCoreApplication::translate("mt::KeyRemapWindow", "キー番号 %1").arg(keycode);
}

} // namespace

MidiSetupWindow::MidiSetupWindow(MidiPerformance& midi, SettingsStore& settings, QString appName,
                                 QWidget* parent)
    : QDialog(parent), m_midi(midi), m_settings(settings), m_appName(std::move(appName)) {
    setWindowTitle(tr("MIDIコントローラ"));
    auto* top = new QVBoxLayout(this);
    auto* form = new QGridLayout;
    top->addLayout(form);
    form->addWidget(new QLabel(tr("接続するポート")), 0, 0);
    portBox = new QComboBox;
    form->addWidget(portBox, 0, 1);
    form->addWidget(new QLabel(tr("MIDIシステム")), 1, 0);
    midiSystemBox = new QComboBox;
    midiSystemBox->addItems({tr("自動"), QStringLiteral("JACK"), QStringLiteral("ALSA")});
    form->addWidget(midiSystemBox, 1, 1);
    form->addWidget(new QLabel(tr("ベロシティ")), 2, 0);
    curveBox = new QComboBox;
    curveBox->addItems({tr("固定"), tr("直線"), tr("やわらか")});
    form->addWidget(curveBox, 2, 1);
    form->addWidget(new QLabel(tr("幅(dB)")), 3, 0);
    rangeSpin = new QSpinBox;
    rangeSpin->setRange(0, VelocityCurve::kMaxRangeCentiDb / 100);
    form->addWidget(rangeSpin, 3, 1);
    // How the next knob learnt for a bar sends its turns, in CcMode's order.
    form->addWidget(new QLabel(tr("学習するノブ")), 4, 0);
    knobModeBox = new QComboBox;
    knobModeBox->addItems({tr("位置（普通のノブ）"), tr("エンコーダ（1..63 上 / 127..65 下）"),
                           tr("エンコーダ（65.. 上 / ..63 下）"),
                           tr("エンコーダ（1..63 上 / 65..127 下）")});
    form->addWidget(knobModeBox, 4, 1);

    auto* actions = new QWidget;
    auto* grid = new QGridLayout(actions);
    for (int slot = 0; slot < MidiMapping::kActionCount; ++slot) {
        const MidiAction action = MidiMapping::actionAt(slot);
        grid->addWidget(new QLabel(ActionCaption(action)), slot, 0);
        auto* trigger = new QLabel;
        triggerLabels.push_back(trigger);
        grid->addWidget(trigger, slot, 1);
        auto* learn = new QPushButton(tr("学習"));
        learnButtons.push_back(learn);
        grid->addWidget(learn, slot, 2);
        connect(learn, &QPushButton::clicked, this, [this, learn, action] {
            m_midi.input().learn(action, static_cast<CcMode>(knobModeBox->currentIndex()));
            refresh();
            learn->setText(tr("待機中…"));
        });
    }
    auto* scroll = new QScrollArea;
    scroll->setWidget(actions);
    scroll->setWidgetResizable(true);
    scroll->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    scroll->setMinimumSize(actions->sizeHint().width() + 40, 240);
    top->addWidget(scroll);
    defaultsButton = new QPushButton(tr("初期設定に戻す"));
    top->addWidget(defaultsButton);
    statusLabel = new QLabel;
    statusLabel->setWordWrap(true);
    top->addWidget(statusLabel);

    refresh();
    connect(portBox, &QComboBox::activated, this, [this](int index) {
        m_midi.input().chooseSource(index == 0 ? QString() : portBox->itemText(index));
        m_midi.saveSettings();
    });
    connect(midiSystemBox, &QComboBox::activated, this, [this](int index) {
        m_midi.input().start(static_cast<MidiSystem>(index));
        m_midi.saveSettings();
        // After the input's own save, which keeps the system it was loaded with.
        m_settings.setValue(m_appName, kSection, QStringLiteral("MidiSystem"),
                            QLatin1String(kSystems[index]));
        refresh();
    });
    connect(curveBox, &QComboBox::activated, this, [this] { takeCurve(); });
    connect(rangeSpin, &QSpinBox::valueChanged, this, [this] { takeCurve(); });
    connect(defaultsButton, &QPushButton::clicked, this, [this] {
        m_midi.input().cancelLearn();
        m_midi.input().setMapping(MidiMapping::defaults());
        m_midi.input().setCurve(VelocityCurve{});
        m_midi.input().chooseSource(QString());
        m_midi.input().setConnectHardware(true);
        m_midi.saveSettings();
        refresh();
    });
    connect(&m_midi, &MidiPerformance::learnFinished, this, [this] { refresh(); });
}

void MidiSetupWindow::takeCurve() {
    VelocityCurve curve = m_midi.input().curve();
    curve.kind = static_cast<VelocityCurve::Kind>(curveBox->currentIndex());
    curve.rangeCentiDb = rangeSpin->value() * 100;
    m_midi.input().setCurve(curve);
    m_midi.saveSettings();
}

void MidiSetupWindow::refresh() {
    MidiInput& input = m_midi.input();
    portBox->clear();
    portBox->addItem(tr("（ハードウェアすべて）"));
    QStringList sources = input.sources();
    if (!input.chosenSource().isEmpty() && !sources.contains(input.chosenSource())) {
        sources << input.chosenSource(); // remembered while the device is away
    }
    portBox->addItems(sources);
    portBox->setCurrentIndex(std::max(0, portBox->findText(input.chosenSource())));
    const QString system =
        m_settings.value(m_appName, kSection, QStringLiteral("MidiSystem")).value_or(QString());
    for (int i = 0; i < 3; ++i) {
        if (system.compare(QLatin1String(kSystems[i]), Qt::CaseInsensitive) == 0) {
            midiSystemBox->setCurrentIndex(i);
        }
    }
    const QSignalBlocker blockRange(rangeSpin);
    curveBox->setCurrentIndex(static_cast<int>(input.curve().kind));
    rangeSpin->setValue(input.curve().rangeCentiDb / 100);
    const MidiMapping mapping = input.mapping();
    for (int slot = 0; slot < MidiMapping::kActionCount; ++slot) {
        triggerLabels[slot]->setText(TriggerCaption(mapping.trigger(MidiMapping::actionAt(slot))));
        learnButtons[slot]->setText(tr("学習"));
    }
    statusLabel->setText(input.status());
}

KeyRemapWindow::KeyRemapWindow(KeyPositions& positions, SettingsStore& settings, QString appName,
                               MessageBoxService& messages, QWidget* parent)
    : QDialog(parent), m_positions(positions), m_settings(settings), m_appName(std::move(appName)),
      m_messages(messages) {
    setWindowTitle(tr("キー割り当て"));
    auto* top = new QVBoxLayout(this);
    auto* grid = new QGridLayout;
    top->addLayout(grid);
    for (int a = 0; a < KeyPositions::kActionCount; ++a) {
        grid->addWidget(new QLabel(tr(kKeyCaptions[a])), a, 0);
        auto* key = new QLabel;
        keyLabels.push_back(key);
        grid->addWidget(key, a, 1);
        auto* change = new QPushButton(tr("変更"));
        change->setFocusPolicy(Qt::NoFocus); // the next key is the window's, not the button's
        changeButtons.push_back(change);
        grid->addWidget(change, a, 2);
        connect(change, &QPushButton::clicked, this, [this, a, change] {
            refresh();
            setWaiting(a);
            change->setText(tr("キーを押す…"));
        });
    }
    top->addWidget(new QLabel(tr("「変更」の次に押したキーが割り当てられます（Escで取り消し）")));
    defaultsButton = new QPushButton(tr("初期設定に戻す"));
    defaultsButton->setFocusPolicy(Qt::NoFocus);
    top->addWidget(defaultsButton);
    connect(defaultsButton, &QPushButton::clicked, this, [this] {
        m_positions.restoreDefaults();
        m_positions.save(m_settings, m_appName);
        setWaiting(-1);
        refresh();
    });
    refresh();
}

void KeyRemapWindow::keyPressEvent(QKeyEvent* event) {
    // Escape takes the choice back; a key with no keycode cannot be told by its place.
    const bool cancel = event->key() == Qt::Key_Escape;
    if (m_waiting < 0 || (!cancel && event->nativeScanCode() == 0)) {
        QDialog::keyPressEvent(event);
        return;
    }
    const int action = m_waiting;
    setWaiting(-1);
    if (!cancel) {
        take(action, event->nativeScanCode());
    }
    refresh();
}

void KeyRemapWindow::setWaiting(int action) {
    // While it waits the window has every key, Escape and the performance keys included (the
    // performance keyboard and the panic key leave a grabbing widget alone).
    m_waiting = action;
    if (action >= 0) {
        grabKeyboard();
    } else if (QWidget::keyboardGrabber() == this) {
        releaseKeyboard();
    }
}

void KeyRemapWindow::hideEvent(QHideEvent* event) {
    setWaiting(-1);
    QDialog::hideEvent(event);
}

void KeyRemapWindow::take(int action, std::uint32_t keycode) {
    const QString title = windowTitle();
    const QString key = KeyName(keycode);
    if (!m_positions.canAssign(action, keycode)) {
        m_messages.show(tr("「%1」は全停止（パニック）のただ一つのキーです。"
                           "先に全停止へ別のキーを割り当ててください。")
                            .arg(key),
                        title, MessageIcon::Exclamation);
        return;
    }
    const int holder = m_positions.actionOf(keycode);
    if (holder >= 0 && holder != action &&
        !m_messages.confirm(tr("「%1」は「%2」のキーです。「%3」に移しますか？")
                                .arg(key, tr(kKeyCaptions[holder]), tr(kKeyCaptions[action])),
                            title)) {
        return;
    }
    m_positions.assign(action, keycode);
    m_positions.save(m_settings, m_appName);
}

void KeyRemapWindow::refresh() {
    for (int a = 0; a < KeyPositions::kActionCount; ++a) {
        QStringList names;
        for (const std::uint32_t code : m_positions.keys(a)) {
            names << KeyName(code);
        }
        keyLabels[a]->setText(names.isEmpty() ? tr("なし") : names.join(QStringLiteral(" / ")));
        changeButtons[a]->setText(tr("変更"));
    }
}

void AddControllerMenus(MainWindow& main, AppContext& app, MidiPerformance& midi) {
    QAction* output = main.menuItem(QStringLiteral("mnuOutput"));
    QMenu* settings = nullptr;
    for (QObject* owner : output->associatedObjects()) {
        settings = settings != nullptr ? settings : qobject_cast<QMenu*>(owner);
    }
    if (settings == nullptr) {
        return;
    }
    auto openOnce = [](QPointer<QDialog>& window, const auto& make) {
        if (window == nullptr) {
            window = make();
            window->setAttribute(Qt::WA_DeleteOnClose);
        }
        window->show();
        window->raise();
    };
    auto* midiItem =
        settings->addAction(QCoreApplication::translate("mt::MainWindow", "MIDIコントローラ(&M)"));
    midiItem->setObjectName(QStringLiteral("mnuMidiControllers"));
    auto* keysItem =
        settings->addAction(QCoreApplication::translate("mt::MainWindow", "キー割り当て(&K)"));
    keysItem->setObjectName(QStringLiteral("mnuKeyRemap"));
    auto midiWindow = std::make_shared<QPointer<QDialog>>();
    auto keysWindow = std::make_shared<QPointer<QDialog>>();
    QObject::connect(midiItem, &QAction::triggered, &main, [=, &main, &app, &midi] {
        openOnce(*midiWindow, [&] {
            return new MidiSetupWindow(midi, app.platform.settings, app.appName, &main);
        });
    });
    QObject::connect(keysItem, &QAction::triggered, &main, [=, &main, &app] {
        openOnce(*keysWindow, [&] {
            return new KeyRemapWindow(app.keyPositions, app.platform.settings, app.appName,
                                      app.platform.messages, &main);
        });
    });
}

} // namespace mt
