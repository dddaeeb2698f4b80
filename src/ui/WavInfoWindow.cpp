#include "ui/WavInfoWindow.h"

#include "audio/WavInfoText.h"
#include "core/TrackBank.h"
#include "platform/Numbers.h"

#include <QFileInfo>
#include <QGridLayout>
#include <QLabel>
#include <QPushButton>

namespace mt {

WavInfoWindow::WavInfoWindow(const TrackBank& bank, int track, QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("frmWavInfo"));
    setWindowTitle(QStringLiteral("WAVファイル情報 - ") + QString::number(track + 1) +
                   QStringLiteral("トラック"));
    const QString& path = bank.track(track).path;

    formatCaption = new QLabel(QStringLiteral("形式："), this);
    fileNameLabel = new QLabel(QStringLiteral("ファイル ： ") + path, this);
    // Whole kilobytes of 1000 bytes, as the pattern rounds.
    sizeLabel = new QLabel(QStringLiteral("サイズ ： ") +
                               FormatNumber(QFileInfo(path).size() / 1000.0, "#,##0") +
                               QStringLiteral("kB"),
                           this);
    infoLabel = new QLabel(FormatWavInfo(path, 1), this);
    loneWolfMemberLabel = new QLabel(bank.track(track).loneWolf() ? QStringLiteral("一匹狼： ON")
                                                                : QStringLiteral("一匹狼： OFF"),
                                     this);
    okButton = new QPushButton(QStringLiteral("OK"), this);
    okButton->setDefault(true);
    connect(okButton, &QPushButton::clicked, this, &QDialog::accept);

    fileNameLabel->setTextInteractionFlags(Qt::TextSelectableByMouse);
    auto* grid = new QGridLayout(this);
    grid->addWidget(fileNameLabel, 0, 0, 1, 2);
    grid->addWidget(sizeLabel, 1, 0, 1, 2);
    grid->addWidget(formatCaption, 2, 0);
    grid->addWidget(infoLabel, 2, 1);
    grid->addWidget(loneWolfMemberLabel, 3, 0, 1, 2);
    grid->addWidget(okButton, 4, 1, Qt::AlignRight);
}

} // namespace mt
