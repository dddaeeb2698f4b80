#include "ui/SaveChangesWindow.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

namespace mt {

SaveChangesWindow::SaveChangesWindow(const QString& title, QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("frmhenkou"));
    setWindowTitle(QStringLiteral("Form3"));
    questionLabel = new QLabel(
        title.isEmpty() ? QStringLiteral("ファイルは変更されています。保存しますか？")
                        : title + QStringLiteral("  は変更されています。変更を保存しますか？"),
        this);
    Comyes = new QPushButton(QStringLiteral("はい(&Y)"), this);
    Comno = new QPushButton(QStringLiteral("いいえ(&N)"), this);
    ComCancel = new QPushButton(QStringLiteral("キャンセル"), this);
    Comyes->setDefault(true);
    connect(Comyes, &QPushButton::clicked, this, [this] { done(Yes); });
    connect(Comno, &QPushButton::clicked, this, [this] { done(No); });
    connect(ComCancel, &QPushButton::clicked, this, [this] { done(Cancel); });

    auto* buttons = new QHBoxLayout;
    buttons->addWidget(Comyes);
    buttons->addWidget(Comno);
    buttons->addWidget(ComCancel);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(questionLabel);
    layout->addLayout(buttons);
}

} // namespace mt
