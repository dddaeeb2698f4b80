#pragma once

#include <QDialog>

#include <cstdint>
#include <vector>

class QComboBox;
class QLabel;
class QPushButton;
class QSpinBox;

namespace mt {

struct AppContext;
class KeyPositions;
class MessageBoxService;
class MidiPerformance;
class SettingsStore;

// MIDI controller set-up (settings menu): the port to connect to, the MIDI system, a learn
// button per action with the kind of knob it learns for a bar (a knob's position or an
// endless encoder's turns), the velocity curve and its range, and the defaults back. Every change
// is stored at once in the program's own section (`appName` in `settings`). Not modal.
class MidiSetupWindow final : public QDialog {
    Q_OBJECT

public:
    MidiSetupWindow(MidiPerformance& midi, SettingsStore& settings, QString appName,
                    QWidget* parent = nullptr);

    QComboBox* portBox = nullptr;
    QComboBox* midiSystemBox = nullptr;
    QComboBox* curveBox = nullptr;
    QSpinBox* rangeSpin = nullptr;
    QComboBox* knobModeBox = nullptr; // CcMode's order
    QPushButton* defaultsButton = nullptr;
    QLabel* statusLabel = nullptr;
    std::vector<QPushButton*> learnButtons; // in MidiMapping's action order
    std::vector<QLabel*> triggerLabels;

private:
    void refresh();
    void takeCurve();

    MidiPerformance& m_midi;
    SettingsStore& m_settings;
    QString m_appName;
};

// Which key performs what (settings menu), each key shown by its name on the performer's
// layout: a change button per action takes the next key pressed, by its place on the
// keyboard, and Escape takes the choice back. A key another action has moves only when the
// performer agrees, and panic's last key never moves. The defaults come back with one
// button. Stored at once in the program's own section (`appName` in `settings`); the question
// goes through `messages`. Not modal.
class KeyRemapWindow final : public QDialog {
    Q_OBJECT

public:
    KeyRemapWindow(KeyPositions& positions, SettingsStore& settings, QString appName,
                   MessageBoxService& messages, QWidget* parent = nullptr);

    std::vector<QPushButton*> changeButtons; // in KeyPositions' action order
    std::vector<QLabel*> keyLabels;
    QPushButton* defaultsButton = nullptr;

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private:
    // -1: no longer waiting for a key.
    void setWaiting(int action);
    void take(int action, std::uint32_t keycode);
    void refresh();

    KeyPositions& m_positions;
    SettingsStore& m_settings;
    QString m_appName;
    MessageBoxService& m_messages;
    int m_waiting = -1; // the action taking the next key
};

// Adds both windows to the main window's settings menu.
class MainWindow;
void AddControllerMenus(MainWindow& main, AppContext& app, MidiPerformance& midi);

} // namespace mt
