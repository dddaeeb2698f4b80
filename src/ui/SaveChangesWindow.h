#pragma once

#include <QDialog>

class QLabel;
class QPushButton;

namespace mt {

// Asks whether to save a changed bank before it is replaced or the program ends.
class SaveChangesWindow final : public QDialog {
    Q_OBJECT

public:
    enum Answer { Cancel = 0, Yes = 1, No = 2 };

    // `title` is the setting file's title; empty for a bank that was never saved.
    SaveChangesWindow(const QString& title, QWidget* parent);

    QLabel* questionLabel;
    QPushButton* yesButton;
    QPushButton* noButton;
    QPushButton* cancelButton;
};

} // namespace mt
