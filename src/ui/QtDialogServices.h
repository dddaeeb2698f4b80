#pragma once

#include "platform/FileDialogService.h"
#include "platform/MessageBoxService.h"
#include "platform/ModalRunner.h"

class QWidget;

namespace mt {

// Modal message boxes over the active window.
class QtMessageBoxService final : public MessageBoxService {
public:
    void show(const QString& text, const QString& title, MessageIcon icon) override;
    bool confirm(const QString& text, const QString& title) override;
};

// The desktop's file dialogs.
class QtFileDialogService final : public FileDialogService {
public:
    std::optional<QString> openFile(const FileDialogRequest& request) override;
    std::optional<QString> saveFile(const FileDialogRequest& request) override;
    std::optional<QString> chooseFolder(const FileDialogRequest& request) override;
};

class QtModalRunner final : public ModalRunner {
public:
    int run(QDialog& dialog) override;
};

// "desc|*.a|desc2|*.b|" -> {"desc (*.a)", "desc2 (*.b)"}; patterns separated by ';' become
// blank-separated as Qt expects. The description is kept as written when it already shows
// its pattern.
QStringList QtFilterList(const QString& oldStyleFilter);

} // namespace mt
