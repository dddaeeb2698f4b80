#include "ui/FileBrowser.h"

#include "audio/SoundFormat.h"
#include "audio/WavInfoText.h"
#include "core/AppContext.h"
#include "platform/CursorService.h"
#include "platform/MessageBoxService.h"
#include "platform/Numbers.h"
#include "platform/SystemServices.h"

#include <QComboBox>
#include <QDir>
#include <QFileInfo>
#include <QKeyEvent>
#include <QLabel>
#include <QListWidget>
#include <QMenu>
#include <QMouseEvent>
#include <QStorageInfo>

namespace mt {

FileBrowser::FileBrowser(AppContext& app, QWidget* parent) : QWidget(parent), m_app(app) {
    setObjectName(QStringLiteral("FileBrowser"));
    Drive1 = new QComboBox(this);
    Drive1->setObjectName(QStringLiteral("Drive1"));
    Dir2 = new QListWidget(this);
    Dir2->setObjectName(QStringLiteral("Dir2"));
    File2 = new QListWidget(this);
    File2->setObjectName(QStringLiteral("File2"));
    File2->setToolTip(QStringLiteral("ダブルクリックでプレビュー"));
    File2->installEventFilter(this);
    File2->viewport()->installEventFilter(this);
    lblPreviewFileSize = new QLabel(QStringLiteral("kB"), this);
    lblPreviewFileSize->setObjectName(QStringLiteral("lblPreviewFileSize"));
    lblWavInfo = new QLabel(QStringLiteral("Infomation"), this);
    lblWavInfo->setObjectName(QStringLiteral("lblWavInfo"));

    Drive1->addItems(BrowsableVolumes());
    connect(Drive1, &QComboBox::activated, this, [this] { Drive1_Change(); });
    connect(Dir2, &QListWidget::itemActivated, this,
            [this](QListWidgetItem* item) { setDirPath(item->data(Qt::UserRole).toString()); });
    // Any change of the current file is a selection, whether by a click or by the arrow keys,
    // Home, End or typing a name: what Delete and "Change!" act on is what the list shows
    // selected. A click on the file already current selects it again (and ends its preview).
    connect(File2, &QListWidget::currentItemChanged, this, [this] { File2_Click(); });
    connect(File2, &QListWidget::itemClicked, this, [this] { File2_Click(); });
    connect(File2, &QListWidget::itemDoubleClicked, this, [this] { File2_DblClick(); });
    setDirPath(QDir::homePath());
}

FileBrowser::~FileBrowser() {
    m_app.preview.release();
}

QStringList FileBrowser::BrowsableVolumes() {
    QStringList volumes{QStringLiteral("/"), QDir::homePath()};
    for (const QStorageInfo& volume : QStorageInfo::mountedVolumes()) {
        const QString root = volume.rootPath();
        if (volume.isValid() && volume.isReady() &&
            (root.startsWith(QStringLiteral("/media/")) ||
             root.startsWith(QStringLiteral("/run/media/")) ||
             root.startsWith(QStringLiteral("/mnt/")))) {
            volumes << root;
        }
    }
    volumes.removeDuplicates();
    return volumes;
}

QString FileBrowser::FullPath(const QString& folder, const QString& name) {
    const bool hasSeparator = !folder.isEmpty() && folder.back() == QLatin1Char('/');
    return hasSeparator ? folder + name : folder + QLatin1Char('/') + name;
}

QString FileBrowser::KilobyteText(qint64 bytes) {
    return FormatNumber(RoundHalfEven(static_cast<double>(bytes) / 1000.0), "#,##0") +
           QStringLiteral("kB");
}

QString FileBrowser::fileName() const {
    const QListWidgetItem* item = File2->currentItem();
    return item != nullptr && item->isSelected() ? item->text() : QString();
}

void FileBrowser::Drive1_Change() {
    // A volume that cannot be read leaves the folder as it was, without a word.
    setDirPath(Drive1->currentText());
}

bool FileBrowser::setDirPath(const QString& path) {
    const QDir dir(path);
    if (path.isEmpty() || !dir.exists() || !dir.isReadable()) {
        return false;
    }
    m_dirPath = dir.absolutePath();
    followFolderWithDrive();
    fillFolders();
    Dir2_Change();
    return true;
}

bool FileBrowser::setDrive(const QString& drive) {
    const int index = Drive1->findText(drive);
    if (index < 0) {
        return false;
    }
    if (index != Drive1->currentIndex()) {
        Drive1->setCurrentIndex(index);
        Drive1_Change();
    }
    return true;
}

void FileBrowser::followFolderWithDrive() {
    int best = -1;
    qsizetype bestLength = -1;
    for (int i = 0; i < Drive1->count(); ++i) {
        const QString root = Drive1->itemText(i);
        const bool holds = m_dirPath == root || m_dirPath.startsWith(FullPath(root, QString()));
        if (holds && root.size() > bestLength) {
            best = i;
            bestLength = root.size();
        }
    }
    if (best >= 0) {
        Drive1->setCurrentIndex(best); // currentIndexChanged is not what Drive1_Change follows
    }
}

void FileBrowser::fillFolders() {
    Dir2->clear();
    QDir dir(m_dirPath);
    if (!dir.isRoot()) {
        auto* up = new QListWidgetItem(QStringLiteral(".."), Dir2);
        up->setData(Qt::UserRole, QFileInfo(m_dirPath).absolutePath());
    }
    const QStringList folders =
        dir.entryList(QDir::Dirs | QDir::NoDotAndDotDot | QDir::Readable, QDir::Name);
    for (const QString& name : folders) {
        auto* item = new QListWidgetItem(name, Dir2);
        item->setData(Qt::UserRole, FullPath(m_dirPath, name));
    }
}

void FileBrowser::Dir2_Change() {
    refreshFiles();
}

void FileBrowser::refreshFiles() {
    File2->clear();
    QDir dir(m_dirPath);
    dir.setNameFilters(SoundFileNameFilters()); // matches .WAV, .Flac too
    File2->addItems(dir.entryList(QDir::Files, QDir::Name | QDir::IgnoreCase));
}

void FileBrowser::File2_Click() {
    if (fileName().isEmpty()) {
        return;
    }
    m_app.bank.browserFilePath = FullPath(m_dirPath, fileName());
    const QFileInfo file(m_app.bank.browserFilePath);
    if (file.exists()) {
        lblPreviewFileSize->setText(KilobyteText(file.size()));
        lblWavInfo->setText(QStringLiteral("(") + FormatWavInfo(m_app.bank.browserFilePath, 0) +
                            QStringLiteral(")"));
    } else {
        // Gone between listing and click: nothing to measure.
        lblPreviewFileSize->setText(QStringLiteral("kB"));
        lblWavInfo->setText(QString());
    }
    m_app.preview.release();
}

void FileBrowser::File2_DblClick() {
    if (fileName().isEmpty()) {
        return;
    }
    m_app.bank.browserFilePath = FullPath(m_dirPath, fileName());
    const WaitCursor wait(m_app.platform.cursor);
    m_app.preview.start(m_app.bank.browserFilePath, m_app.previewLoop);
}

void FileBrowser::mnuDeleteFile_Click() {
    if (m_app.bank.browserFilePath.isEmpty()) {
        return;
    }
    DeleteBrowserFile();
    refreshFiles();
}

void FileBrowser::DeleteBrowserFile() {
    const QString& path = m_app.bank.browserFilePath;
    if (path.isEmpty()) {
        return;
    }
    // The desktop's trash has no confirmation of its own: ask first, as the old shell did.
    const QString question = QStringLiteral("「") + QFileInfo(path).fileName() +
                             QStringLiteral("」をごみ箱に移動しますか？");
    if (!m_app.platform.messages.confirm(question, QStringLiteral("削除"))) {
        return;
    }
    // A missing file or a failure leaves everything as it was; the list is refreshed anyway.
    m_app.platform.trash.moveToTrash(path);
}

bool FileBrowser::eventFilter(QObject* watched, QEvent* event) {
    if (watched == File2 && event->type() == QEvent::KeyPress) {
        if (static_cast<QKeyEvent*>(event)->key() == Qt::Key_Delete) {
            mnuDeleteFile_Click();
            return true;
        }
    } else if (watched == File2->viewport() && event->type() == QEvent::MouseButtonPress) {
        const auto* mouse = static_cast<QMouseEvent*>(event);
        if (mouse->button() == Qt::RightButton && m_popup != nullptr) {
            m_popup->popup(mouse->globalPosition().toPoint());
        }
    }
    return QWidget::eventFilter(watched, event);
}

} // namespace mt
