#pragma once

#include <QColor>
#include <QObject>
#include <QPointer>

#include <array>

class QMenu;
class QPoint;
class QWidget;

namespace mt {

struct AppContext;
class ClickableLabel;
class FileBrowser;
class Form2;
class TrackFrame;

// The eight track frames and what their controls do: loading the browser's file into a
// track, clearing it, showing its playing time and the selection, the number label's popup,
// and starting and stopping tracks with the lone-wolf group. PlayTrack, PlayTrackLooping and
// StopTrack are the only way any window starts or stops a track. The frames are children of
// the main window's client area, placed by its geometry table.
class TrackPanel final : public QObject {
    Q_OBJECT

public:
    TrackPanel(AppContext& app, FileBrowser& browser, QMenu& trackPopup, QWidget& client);

    TrackFrame& frame(int index) const { return *m_frames[index]; }

    void ComChange_Click(int index);
    void ComClear_Click(int index);
    void ShowTrackDuration(int index);
    void HighlightSelectedTrack(int index);
    void SelectNextLoadedTrack();
    void Check_MouseUp(int index);
    void ShowTrackPopup(int index, const QPoint& globalPos);
    void mnuWavInfo_Click();

    // Callers check trackLoaded first (or the button is disabled).
    void PlayTrack(int index);
    void PlayTrackLooping(int index);
    void StopTrack(int index);
    void UpdatePlayButtonColour(int index);
    bool isPlaying(int index) const;
    void ComStart_Click(int index);
    void lblOrAliveOokamis_Click();
    void mnuOokami_Click();
    // Puts the track in or out of the lone-wolf group, grey frame and all.
    void setLoneWolfMember(int index, bool member);
    // The track's frames on both windows; an invalid colour puts back the membership colour.
    void setTrackFrameColour(int index, const QColor& colour);

    // The play-mode window, kept up to date by the operations above; null when closed.
    void setPlayModeWindow(Form2* window);
    // Paints the play-mode window's mirrors as the main window's controls stand.
    void syncPlayModeWindow();

    ClickableLabel* lblOrAliveOokamis = nullptr; // "一匹狼(F3)": yellow when the mode is on

private:
    void wire(int index);
    void play(int index, bool looping);

    AppContext& m_app;
    FileBrowser& m_browser;
    QMenu& m_trackPopup;
    std::array<TrackFrame*, 8> m_frames{};
    QPointer<Form2> m_playMode;
};

} // namespace mt
