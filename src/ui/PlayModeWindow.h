#pragma once

#include <QWidget>

#include <array>
#include <functional>

class QCheckBox;
class QFrame;
class QLabel;
class QPushButton;

namespace mt {

class TrackBank;
class ClickableLabel;
class LevelMeter;
class TrackPanel;

// The play-mode window: only the eight tracks' PLAY/STOP buttons, loop and hold boxes, titles
// and numbers, and the lone-wolf label. It owns no state: its controls call the track bank,
// and it draws itself from the bank whenever the bank says it changed.
class PlayModeWindow final : public QWidget {
    Q_OBJECT

public:
    PlayModeWindow(TrackBank& bank, TrackPanel& tracks);

    // Takes the setting file's title.
    void refresh(const QString& settingFileTitle);

    void onPlayModeStartClicked(int index);
    void onPlayModeLoopReleased(int index);
    void onPlayModeHoldReleased(int index);
    void onBackClicked();

    std::array<QFrame*, 8> trackRows{};
    std::array<QPushButton*, 8> playModeStartButtons{};
    std::array<QCheckBox*, 8> playModeLoopChecks{};
    std::array<QCheckBox*, 8> playModeHoldChecks{};
    std::array<QLabel*, 8> fileNameLabels{};         // the file name
    std::array<ClickableLabel*, 8> trackKeyLabels{}; // "1-Z" ...: carries the selection highlight
    std::array<LevelMeter*, 8> levelMeters{}; // beside each PLAY/STOP button: the track's output
    LevelMeter* masterMeter = nullptr;        // beside the lone-wolf label: the whole output
    QPushButton* backButton = nullptr;
    ClickableLabel* loneWolfLabel = nullptr;

    // Shows the main window again; set by the main window.
    std::function<void()> showMain;

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void redrawTrack(int index);
    void redrawBank();

    TrackBank& m_bank;
    TrackPanel& m_tracks;
};

} // namespace mt
