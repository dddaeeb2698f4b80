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
    setWindowTitle(tr("WAVファイル情報 - %1トラック").arg(track + 1));
    const QString& path = bank.track(track).path;

    formatCaption = new QLabel(tr("形式："), this);
    fileNameLabel = new QLabel(tr("ファイル ： %1").arg(path), this);
    // Whole kilobytes of 1000 bytes, as the pattern rounds.
    sizeLabel = new QLabel(
        tr("サイズ ： %1kB").arg(FormatNumber(QFileInfo(path).size() / 1000.0, "#,##0")), this);
    infoLabel = new QLabel(FormatWavInfo(path, 1), this);
    loneWolfMemberLabel =
        new QLabel(bank.track(track).loneWolf() ? tr("一匹狼： ON") : tr("一匹狼： OFF"), this);
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
