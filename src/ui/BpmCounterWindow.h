#pragma once

#include "core/TapTempo.h"

#include <QWidget>

#include <cstdint>
#include <functional>

class QCheckBox;
class QKeyEvent;
class QLabel;
class QLineEdit;
class QPushButton;

namespace mt {

struct AppContext;
class CdPanel;
class ModuleMMT;

// The BPM counter, window "frmCount": the performer starts a measurement with C and taps V
// in time with the CD, or types the tempo; the window feeds the tap times (from the tap
// clock) and the text to its TapTempo and shows what that measures. "OK" hands the result to
// the CD panel, whose bar tempo matching reads; cancel or the close box unloads the window.
// Not modal. UI thread only.
class BpmCounterWindow final : public QWidget {
    Q_OBJECT

public:
    static const QString kIdleHint;    // "Cで測定開始。Vで測定"
    static const QString kMeasureHint; // "Zでリセット"
    static constexpr std::int32_t kTickMs = 20;

    // Loading the window: clears the sums.
    BpmCounterWindow(AppContext& app, CdPanel& cdPanel, QWidget* parent);
    // Destroyed with its owner: stops the timer, without the unload message.
    ~BpmCounterWindow() override;

    // Opening from the CD panel's counter button or the menu: shows the CD's bar and tempo and
    // shows the window (not modal), in front.
    void Open();

    // The window's key handler: C starts, V taps, Z resets, whichever control has the focus.
    // Returns true for those three keys.
    bool Form_KeyDown(int qtKey);

    void ChkEnterCdBPM_Click();
    void TxtCdBpm_Change();
    void ComCountOK_Click();
    void ComCountNG_Click();

    // What the taps and the typed tempo measure so far.
    const TapTempo& measurement() const { return m_tempo; }

    // Run after the window unloaded (cancel, close box); its owner forgets and deletes it.
    std::function<void()> onUnloaded;

    QLabel* hintLabel;
    QLabel* bpmCaption; // "♪ ="
    QLineEdit* TxtCdBpm;
    QLabel* lblCount;
    QLabel* secondsUnit; // "s"
    QCheckBox* ChkEnterCdBPM;
    QPushButton* ComCountOK;
    QPushButton* ComCountNG;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    void startMeasuring();
    void resetMeasuring();
    void tap();
    void Form_Unload();
    // What the entry box lets through: backspace, digits, one "." after something.
    bool entryKeyAllowed(const QKeyEvent& key) const;
    void showBar(double barSeconds);

    AppContext& m_app;
    CdPanel& m_cdPanel;
    ModuleMMT& m_mmt;
    TapTempo m_tempo; // the measurement; it survives hiding
};

} // namespace mt
