#pragma once

namespace mt {

class MessageBoxService;
class FileDialogService;
class CursorService;
class SettingsStore;
class TrashService;
class ProcessLauncher;
class UrlOpener;
class ModalRunner;

// The program's way out to the desktop. The application passes the real services, tests pass
// doubles that record what was asked and answer from a script. Not owning.
struct PlatformServices {
    MessageBoxService& messages;
    FileDialogService& fileDialogs;
    CursorService& cursor;
    SettingsStore& settings;
    TrashService& trash;
    ProcessLauncher& processes;
    UrlOpener& urls;
    ModalRunner& modals;
};

} // namespace mt
