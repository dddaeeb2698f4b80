#pragma once

#include <QObject>

#include <array>

class QMenu;
class QPoint;
class QWidget;

namespace mt {

struct AppContext;
class FileBrowser;
class TrackFrame;

// The eight track frames and what their controls do: loading the browser's file into a
// track, clearing it, showing its playing time and the selection, the number label's popup.
// The frames are children of the main window's client area, placed by its geometry table.
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

private:
    void wire(int index);

    AppContext& m_app;
    FileBrowser& m_browser;
    QMenu& m_trackPopup;
    std::array<TrackFrame*, 8> m_frames{};
};

} // namespace mt
