#pragma once

#include <QMainWindow>

class QAction;
class QMenu;

namespace mt {

struct AppContext;
class FileBrowser;
class MixPanel;
class TrackPanel;

// The main window: the track bank, the file browser and the media panels under one menu bar.
class Form1 final : public QMainWindow {
    Q_OBJECT

public:
    explicit Form1(AppContext& app, QWidget* parent = nullptr);

    // The menu item with this control name (mnunew, mnuCD, mnuOokami ...), or null.
    QAction* menuItem(const QString& name) const;

    QMenu* fileListPopup() const { return m_fileListPopup; }
    QMenu* trackPopup() const { return m_trackPopup; }
    FileBrowser& browser() const { return *m_browser; }
    TrackPanel& tracks() const { return *m_tracks; }
    MixPanel& mix() const { return *m_mix; }

private:
    void buildMenus();
    void wireMenus();
    QAction* addItem(QMenu* menu, const QString& caption, const char* name);

    AppContext& m_app;
    QMenu* m_fileListPopup = nullptr;
    QMenu* m_trackPopup = nullptr;
    FileBrowser* m_browser = nullptr;
    TrackPanel* m_tracks = nullptr;
    MixPanel* m_mix = nullptr;
};

} // namespace mt
