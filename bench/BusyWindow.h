#pragma once

#include "app/AppContext.h"
#include "platform/DesktopServices.h"
#include "platform/IniSettingsStore.h"
#include "platform/MessageBoxService.h"
#include "platform/PlatformServices.h"
#include "ui/QtDialogServices.h"

#include <QTemporaryDir>
#include <QTimer>

#include <atomic>
#include <functional>
#include <memory>
#include <thread>

namespace mt {
class MainWindow;
class OfflineOutput;
} // namespace mt

namespace mt::bench {

// Messages go to stderr, after the bench's name: nothing here may wait for a person.
class PrintedMessages final : public MessageBoxService {
public:
    explicit PrintedMessages(const char* name) : m_name(name) {}
    void show(const QString& text, const QString& title, MessageIcon icon) override;
    bool confirm(const QString& text, const QString& title) override;

private:
    const char* m_name;
};

class SlowPaint;

// The running program's arrangement for the input benches: the main window shown (offscreen
// platform unless QT_QPA_PLATFORM says otherwise), repainted 50 times a second with one part
// of it taking setPaintMs() of the UI thread to paint, the sound library on an offline output
// pulled by a pretend audio thread (128 frames every 2.9 ms), and a 1 s tone on track 1 in
// hold mode (a press plays it, a release stops it). Settings live in a temporary folder.
// Construct after the application object; UI thread.
class BusyWindow {
public:
    // `beforeWindow` may store settings that the window reads as it loads.
    explicit BusyWindow(const char* name,
                        const std::function<void(AppContext&, SettingsStore&)>& beforeWindow = {});
    // Stops the audio thread and ends the sound library.
    ~BusyWindow();
    BusyWindow(const BusyWindow&) = delete;
    BusyWindow& operator=(const BusyWindow&) = delete;

    // The tone is on track 1.
    bool ready() const { return m_ready; }
    AppContext& context() { return *m_context; }
    MainWindow& window() { return *m_window; }
    // From the next repaint on, the slow part takes `ms` to paint; 0 paints nothing slowly.
    void setPaintMs(int ms);
    // Slow paints so far. Any thread.
    int slowPaints() const;

private:
    QTemporaryDir m_dir;
    PrintedMessages m_messages;
    QtFileDialogService m_fileDialogs;
    OverrideCursor m_cursor;
    IniSettingsStore m_settings;
    DesktopTrash m_trash;
    DetachedProcessLauncher m_processes;
    DesktopUrlOpener m_urls;
    QtModalRunner m_modals;
    PlatformServices m_platform;
    OfflineOutput* m_output = nullptr;
    std::unique_ptr<AppContext> m_context;
    std::unique_ptr<MainWindow> m_window;
    SlowPaint* m_slow = nullptr; // the window's
    QTimer m_repaint;
    std::atomic<bool> m_running{true};
    std::thread m_audio;
    bool m_ready = false;
};

} // namespace mt::bench
