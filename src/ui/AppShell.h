#pragma once

#include <QObject>
#include <QString>

#include <functional>
#include <optional>

namespace mt {

struct AppContext;
class MainWindow;

// The program's start and end around the main window: the stored settings read at start-up
// and written back at shutdown (application name = the executable's name, section "Info"),
// the browser's folder, the output format and the sound device, the layout files, the empty
// bank; and shutdown's fixed order of freeing, closing and writing. UI thread only.
class AppShell final : public QObject {
    Q_OBJECT

public:
    AppShell(AppContext& app, MainWindow& window);

    // Start-up, once, before the window is shown.
    void onLoad();
    // Shutdown, when the main window closes.
    void onUnload();
    // The editor wait window's way out: the settings without "EndCDEnd" and "FormSizeFlag",
    // then the end, with nothing freed or closed.
    void SaveSettingsAndEnd();

    // Applies normal.dat (flag 0) or small.dat (any other flag) from the data folder. A file
    // that is missing or breaks off leaves what was applied and the window's dimensions.
    void LoadLayout(int flag);

    // The first mixer program found on the PATH; "" when there is none.
    static QString FindVolumeControl();

    // Where the program's data is: beside the executable, or ../share/marrowtune from it.
    static QString FindDataDirectory();

    // Ends the process; tests replace it.
    std::function<void()> endProcess;

private:
    std::optional<QString> read(const char* key) const;
    bool readBool(const char* key, bool fallback) const;
    long long readInt(const char* key, long long fallback, long long lowest,
                      long long highest) const;
    void write(const char* key, const QString& value);
    void writeShared(); // the keys both ways out write, in their order
    void writeOwn();    // the program's own sections: its settings and the beat clock's
    void reportWriteFailure();

    AppContext& m_app;
    MainWindow& m_window;
};

} // namespace mt
