#pragma once

#include <QMainWindow>

class QAction;
class QMenu;

namespace mt {

struct PlatformServices;

// The main window: the track bank, the file browser and the media panels under one menu bar.
class Form1 final : public QMainWindow {
    Q_OBJECT

public:
    explicit Form1(PlatformServices& platform, QWidget* parent = nullptr);

    // The menu item with this control name (mnunew, mnuCD, mnuOokami ...), or null.
    QAction* menuItem(const QString& name) const;

    QMenu* fileListPopup() const { return m_fileListPopup; }
    QMenu* trackPopup() const { return m_trackPopup; }

private:
    void buildMenus();
    QAction* addItem(QMenu* menu, const QString& caption, const char* name);

    PlatformServices& m_platform;
    QMenu* m_fileListPopup = nullptr;
    QMenu* m_trackPopup = nullptr;
};

} // namespace mt
