#include "ui/QtDialogServices.h"

#include <QApplication>
#include <QFileDialog>
#include <QMessageBox>

namespace mt {
namespace {

QMessageBox::Icon ToQt(MessageIcon icon) {
    switch (icon) {
    case MessageIcon::Information:
        return QMessageBox::Information;
    case MessageIcon::Exclamation:
        return QMessageBox::Warning;
    case MessageIcon::Critical:
        return QMessageBox::Critical;
    case MessageIcon::None:
        break;
    }
    return QMessageBox::NoIcon;
}

std::optional<QString> RunDialog(const FileDialogRequest& request, QFileDialog::AcceptMode mode) {
    QFileDialog dialog(QApplication::activeWindow(), request.title, request.directory);
    dialog.setAcceptMode(mode);
    dialog.setFileMode(mode == QFileDialog::AcceptOpen ? QFileDialog::ExistingFile
                                                       : QFileDialog::AnyFile);
    const QStringList filters = QtFilterList(request.filter);
    dialog.setNameFilters(filters);
    if (request.filterIndex >= 1 && request.filterIndex <= filters.size()) {
        dialog.selectNameFilter(filters[request.filterIndex - 1]);
    }
    dialog.setDefaultSuffix(request.defaultSuffix);
    if (!request.fileName.isEmpty()) {
        dialog.selectFile(request.fileName);
    }
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) {
        return std::nullopt;
    }
    return dialog.selectedFiles().constFirst();
}

} // namespace

QStringList QtFilterList(const QString& oldStyleFilter) {
    QStringList parts = oldStyleFilter.split(QLatin1Char('|'));
    if (!parts.isEmpty() && parts.constLast().isEmpty()) {
        parts.removeLast();
    }
    QStringList filters;
    for (qsizetype i = 0; i + 1 < parts.size(); i += 2) {
        const QString patterns = QString(parts[i + 1]).replace(QLatin1Char(';'), QLatin1Char(' '));
        const QString& description = parts[i];
        filters << (description.contains(patterns)
                        ? description
                        : description + QStringLiteral(" (") + patterns + QLatin1Char(')'));
    }
    return filters;
}

void QtMessageBoxService::show(const QString& text, const QString& title, MessageIcon icon) {
    QMessageBox box(ToQt(icon), title, text, QMessageBox::Ok, QApplication::activeWindow());
    box.exec();
}

bool QtMessageBoxService::confirm(const QString& text, const QString& title) {
    return QMessageBox::question(QApplication::activeWindow(), title, text,
                                 QMessageBox::Yes | QMessageBox::No) == QMessageBox::Yes;
}

int QtModalRunner::run(QDialog& dialog) {
    return dialog.exec();
}

std::optional<QString> QtFileDialogService::openFile(const FileDialogRequest& request) {
    return RunDialog(request, QFileDialog::AcceptOpen);
}

std::optional<QString> QtFileDialogService::saveFile(const FileDialogRequest& request) {
    return RunDialog(request, QFileDialog::AcceptSave);
}

std::optional<QString> QtFileDialogService::chooseFolder(const FileDialogRequest& request) {
    QFileDialog dialog(QApplication::activeWindow(), request.title, request.directory);
    dialog.setFileMode(QFileDialog::Directory);
    dialog.setOption(QFileDialog::ShowDirsOnly);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) {
        return std::nullopt;
    }
    return dialog.selectedFiles().constFirst();
}

} // namespace mt
