#pragma once

#include "core/TapSession.h"

#include <QWidget>

#include <functional>

class QCheckBox;
class QKeyEvent;
class QLabel;
class QLineEdit;
class QPushButton;

namespace mt {

struct AppContext;

// The BPM counter, window "frmCount": the performer starts a measurement with C and taps V
// in time with the CD, or types the tempo; the window forwards the keys, the typed text and
// the clicks to its TapSession and shows what that holds. "OK" hands the result to the CD's
// bar; cancel or the close box unloads the window. Not modal. UI thread only.
class BpmCounterWindow final : public QWidget {
    Q_OBJECT

public:
    static const char* const kIdleHint; // "Cで測定開始。Vで測定", translated where shown
    static const char* const kMeasureHint; // "Zでリセット"

    // Loading the window: a new session, typed mode off. Destroyed with its owner, the
    // session stops the clock, without the unload message.
    BpmCounterWindow(AppContext& app, QWidget* parent);

    // Opening from the CD panel's counter button or the menu: shows the CD's bar and tempo and
    // shows the window (not modal), in front.
    void Open();

    // What the taps and the typed tempo measure so far.
    const TapTempo& measurement() const { return m_session.measurement(); }

    // Run after the window unloaded (cancel, close box); its owner forgets and deletes it.
    std::function<void()> onUnloaded;

    QLabel* hintLabel;
    QLabel* bpmCaption; // "♪ ="
    QLineEdit* cdBpmEdit;
    QLabel* barSecondsLabel;
    QLabel* secondsUnit; // "s"
    QCheckBox* typeBpmCheck;
    QPushButton* counterOkButton;
    QPushButton* counterCancelButton;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    // C starts, V taps, Z resets, whichever control has the focus.
    void keyDown(int qtKey);
    // What the entry box lets through: backspace, digits, one "." after something.
    bool entryKeyAllowed(const QKeyEvent& key) const;
    void showSession();

    AppContext& m_app;
    TapSession& m_session; // the performance's; it survives the window
};

} // namespace mt
