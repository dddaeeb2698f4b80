#pragma once

#include <QDialog>

class QCheckBox;
class QLabel;
class QPushButton;
class QSpinBox;

namespace mt {

struct AppContext;
class MainWindow;
class OscControl;

// OSC set-up (settings menu): on or off, the port, whether other machines may send too (with
// a warning while they may), and what the server is doing. Each change is stored and taken at
// once. Not modal. UI thread only.
class OscWindow final : public QDialog {
    Q_OBJECT

public:
    OscWindow(OscControl& control, QWidget* parent = nullptr);

    QCheckBox* enabledCheck;
    QSpinBox* portSpin;
    QCheckBox* allInterfacesCheck;
    QLabel* warningLabel; // shown while every interface is accepted
    QLabel* statusLabel;
    QPushButton* closeButton;

private:
    void take();
    void showState();

    OscControl& m_control;
};

// The window's item in the settings menu, and a mark on the main window's status line while
// the server listens on every interface.
void AttachOscWindow(MainWindow& main, OscControl& control);

} // namespace mt
