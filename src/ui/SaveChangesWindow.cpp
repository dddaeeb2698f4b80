#include "ui/SaveChangesWindow.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

namespace mt {

SaveChangesWindow::SaveChangesWindow(const QString& title, QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("frmhenkou"));
    setWindowTitle(QStringLiteral("Form3"));
    questionLabel =
        new QLabel(title.isEmpty() ? tr("ファイルは変更されています。保存しますか？")
                                   : tr("%1  は変更されています。変更を保存しますか？").arg(title),
                   this);
    yesButton = new QPushButton(tr("はい(&Y)"), this);
    noButton = new QPushButton(tr("いいえ(&N)"), this);
    cancelButton = new QPushButton(tr("キャンセル"), this);
    yesButton->setDefault(true);
    connect(yesButton, &QPushButton::clicked, this, [this] { done(Yes); });
    connect(noButton, &QPushButton::clicked, this, [this] { done(No); });
    connect(cancelButton, &QPushButton::clicked, this, [this] { done(Cancel); });

    auto* buttons = new QHBoxLayout;
    buttons->addWidget(yesButton);
    buttons->addWidget(noButton);
    buttons->addWidget(cancelButton);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(questionLabel);
    layout->addLayout(buttons);
}

} // namespace mt
