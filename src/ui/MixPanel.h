#pragma once

#include <QObject>

class QAction;
class QCheckBox;
class QPushButton;

namespace mt {

struct AppContext;
class ClickableLabel;
class TrackPanel;

// The tracks' volume, pan and speed bars with their resets, and the tempo controls: the
// "テンポ合わせ" button, the ratio boxes, the CD and MIDI reference boxes and the lock (its
// menu item and its label). Each is one call into the bank or its tempo control; the lock's
// menu tick and label and the reference boxes are drawn from the tempo control whenever it
// says it changed. Its buttons are children of the main window's client.
class MixPanel final : public QObject {
    Q_OBJECT

public:
    MixPanel(AppContext& app, TrackPanel& tracks, QAction& lockAction, QWidget& client);

    void onPanResetClicked(int index);
    void onSpeedResetClicked(int index);
    void onMatchTempoClicked();
    // A reference box was ticked or unticked (the main window forwards its toggles).
    void onCdReferenceClicked();
    void onMidiReferenceClicked();
    void onRatioChosen(int index);
    void onLockTriggered();

    // The CD and MIDI panels' reference boxes, set by the main window once those panels
    // exist; they show the tempo control's reference.
    QCheckBox* cdReferenceCheck = nullptr;
    QCheckBox* midiReferenceCheck = nullptr;

    QPushButton* matchTempoButton = nullptr; // "テンポ合わせ"
    ClickableLabel* lockedLabel = nullptr;   // "Lock On": yellow while locked

    // Set at the end of start-up; a ratio chosen before it leaves the lock alone.
    bool formLoaded = false;

private:
    void wire(int index);
    void redrawTempo();

    AppContext& m_app;
    TrackPanel& m_tracks;
    QAction& m_mnuLock;
};

} // namespace mt
