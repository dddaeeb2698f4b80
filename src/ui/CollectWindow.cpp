#include "ui/CollectWindow.h"

#include "core/Performance.h"

#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QVBoxLayout>

namespace mt {

CollectWindow::CollectWindow(Performance& performance, QWidget* parent)
    : QDialog(parent), progressBar(new QProgressBar(this)),
      cancelButton(new QPushButton(tr("中止"), this)), m_performance(performance) {
    setObjectName(QStringLiteral("frmCollect"));
    setWindowTitle(tr("セットをまとめて保存"));
    setModal(false);
    progressBar->setObjectName(QStringLiteral("ProgressCollect"));
    progressBar->setRange(0, 100);
    progressBar->setValue(0);
    cancelButton->setObjectName(QStringLiteral("ComCollectCancel"));
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(new QLabel(tr("サンプルをセットのフォルダにコピーしています。")));
    layout->addWidget(progressBar);
    layout->addWidget(cancelButton, 0, Qt::AlignRight);
    connect(&m_performance, &Performance::collectProgress, this, [this](qint64 done, qint64 total) {
        progressBar->setValue(total > 0 ? static_cast<int>(done * 100 / total) : 100);
    });
    connect(cancelButton, &QPushButton::clicked, this, &QDialog::reject);
    connect(this, &QDialog::rejected, this, [this] {
        m_cancelled = true;
        m_performance.cancelCollect();
    });
}

} // namespace mt
