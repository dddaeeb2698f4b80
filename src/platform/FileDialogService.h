#pragma once

#include <QString>

#include <optional>

namespace mt {

// What a file dialog is asked. The filter is written the old way, "description|pattern|..."
// with an optional trailing "|", and filterIndex counts its pairs from 1.
struct FileDialogRequest {
    QString title;
    QString filter;
    int filterIndex = 1;
    QString fileName;  // preselected name, usually the one chosen last time
    QString directory; // empty: the dialog's own choice
    // Added by a save dialog to a typed name without one ("mrw", no dot), before it asks
    // about replacing an existing file, so that its question names the file really written.
    QString defaultSuffix;
};

class FileDialogService {
public:
    virtual ~FileDialogService() = default;

    // UI thread only. Blocks until the user chooses; nullopt when cancelled.
    virtual std::optional<QString> openFile(const FileDialogRequest& request) = 0;
    virtual std::optional<QString> saveFile(const FileDialogRequest& request) = 0;
    // An existing folder, starting in `request.directory`; the filter and names are not used.
    virtual std::optional<QString> chooseFolder(const FileDialogRequest& request) = 0;
};

} // namespace mt
