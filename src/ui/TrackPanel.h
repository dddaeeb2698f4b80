#pragma once

#include "audio/VoiceStatus.h"

#include <QObject>

#include <array>

class QMenu;
class QPoint;
class QWidget;

namespace mt {

struct AppContext;
class ClickableLabel;
class FileBrowser;
class TrackFrame;

// The eight track frames on the main window: each control is one call into the track bank,
// and every frame, the selection highlight, the lone-wolf label and the window's mute colour
// are drawn from the bank whenever it says it changed. Also the number label's popup (the
// lone-wolf membership, the file information, the track's quantise and stop on the grid) and
// the file-information window. The frames are children of the main window's client area, placed
// by its geometry table.
class TrackPanel final : public QObject {
    Q_OBJECT

public:
    TrackPanel(AppContext& app, FileBrowser& browser, QMenu& trackPopup, QWidget& client);

    TrackFrame& frame(int index) const { return *m_frames[index]; }

    // Loads the browser's file into the track; tells the performer when it cannot.
    void onChangeClicked(int index);
    void onClearClicked(int index);
    void onStartClicked(int index);
    void onLoneWolfModeClicked();
    void onLoneWolfMemberTriggered();
    void onFineSpeedReleased(int index);
    void ShowTrackPopup(int index, const QPoint& globalPos);
    void onWavInfoTriggered();

    ClickableLabel* loneWolfLabel = nullptr; // "一匹狼(F3)": yellow when the mode is on

    // What the track's sound does now (silent and still without a buffer), and the level of
    // the whole output: for the meters and playheads, at display rate.
    VoiceStatus trackStatus(int index) const;
    float outputPeak() const;
    // One display tick of the frames' meters and playheads.
    void showPlaying();

private:
    void wire(int index);
    void redrawTrack(int index);
    void redrawBank();

    AppContext& m_app;
    FileBrowser& m_browser;
    QMenu& m_trackPopup;
    int m_popupTrack = 0; // the track whose number label was last right-clicked
    std::array<TrackFrame*, 8> m_frames{};
};

} // namespace mt
