#pragma once

#include <QObject>

#include <array>
#include <functional>

class QAction;
class QCheckBox;
class QPushButton;

namespace mt {

struct AppContext;
class ClickableLabel;
class TrackPanel;

// What the tracks' volume, pan and speed bars do, and tempo matching: "テンポ合わせ" sets the
// speeds of the tracks with a ratio so that they fit the reference track, the CD's bar or the
// MIDI song's bar; the Lock keeps the reference track's speed and, while it is on, moving the
// reference bar re-matches the others. Its buttons are children of the main window's client.
class MixPanel final : public QObject {
    Q_OBJECT

public:
    MixPanel(AppContext& app, TrackPanel& tracks, QAction& mnuLock, QWidget& client);

    void HSVol_Change(int index);
    void HSPan_Change(int index);
    void HSFre_Change(int index);
    // The performer took hold of a speed bar (mouse press or focus): under the lock, capture
    // every speed bar, the values a failed re-match returns to.
    void HSFre_GotFocus(int index);
    void ComPanRes_Click(int index);
    void ComFreRes_Click(int index);

    void Comgo_Click();
    void MatchTempoToTrack();
    void MatchTempoToCd();
    void MatchTempoToMidi();
    // The silent re-match of the other tracks to the reference track while Lock is on.
    void RematchUnderLock();
    void ChkCDkijun_Click();
    void ChkMIDIkijun_Click();
    void Combo_Click(int index);
    void UpdateLockAvailability();
    void mnuLock_Click();
    bool lockOn() const;
    // Lock off and unavailable, as a new bank starts.
    void switchLockOff();

    // The CD and MIDI panels' reference boxes and bar lengths (seconds per 4-beat bar), set by
    // the main window once those panels exist. Without them the bars are 2 s and unticked.
    QCheckBox* ChkCDkijun = nullptr;
    QCheckBox* ChkMIDIkijun = nullptr;
    std::function<double()> cdBarSeconds = [] { return 2.0; };
    std::function<double()> midiBarSeconds = [] { return 2.0; };

    QPushButton* Comgo = nullptr;          // "テンポ合わせ"
    ClickableLabel* LabelLocked = nullptr; // "Lock On": yellow while locked

    bool formLoaded = false; // set at the end of start-up; ratio changes before it leave Lock be
    bool lockMatchOk = false;

private:
    void wire(int index);
    // The ratio of each loaded track's box; 0 for empty tracks and unmatched ones.
    std::array<double, 8> ratioPass() const;
    void applyTarget(int index, double target);
    void matchToBar(double barSeconds);
    QString comboText(int index) const;
    bool isTicked(const QCheckBox* box) const;

    AppContext& m_app;
    TrackPanel& m_tracks;
    QAction& m_mnuLock;
};

} // namespace mt
