#include "ui/FileBrowser.h"

#include "app/AppContext.h"
#include "audio/SoundFormat.h"
#include "audio/WavInfoText.h"
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
    driveBox = new QComboBox(this);
    driveBox->setObjectName(QStringLiteral("Drive1"));
    folderList = new QListWidget(this);
    folderList->setObjectName(QStringLiteral("Dir2"));
    fileList = new QListWidget(this);
    fileList->setObjectName(QStringLiteral("File2"));
    fileList->setToolTip(tr("ダブルクリックでプレビュー"));
    fileList->installEventFilter(this);
    fileList->viewport()->installEventFilter(this);
    previewFileSizeLabel = new QLabel(QStringLiteral("kB"), this);
    previewFileSizeLabel->setObjectName(QStringLiteral("lblPreviewFileSize"));
    wavInfoLabel = new QLabel(QStringLiteral("Infomation"), this);
    wavInfoLabel->setObjectName(QStringLiteral("lblWavInfo"));

    driveBox->addItems(BrowsableVolumes());
    connect(driveBox, &QComboBox::activated, this, [this] { onDriveChanged(); });
    connect(folderList, &QListWidget::itemActivated, this,
            [this](QListWidgetItem* item) { setDirPath(item->data(Qt::UserRole).toString()); });
    // Any change of the current file is a selection, whether by a click or by the arrow keys,
    // Home, End or typing a name: what Delete and "Change!" act on is what the list shows
    // selected. A click on the file already current selects it again (and ends its preview).
    connect(fileList, &QListWidget::currentItemChanged, this, [this] { onFileClicked(); });
    connect(fileList, &QListWidget::itemClicked, this, [this] { onFileClicked(); });
    connect(fileList, &QListWidget::itemDoubleClicked, this, [this] { onFileDoubleClicked(); });
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
    const QListWidgetItem* item = fileList->currentItem();
    return item != nullptr && item->isSelected() ? item->text() : QString();
}

void FileBrowser::onDriveChanged() {
    // A volume that cannot be read leaves the folder as it was, without a word.
    setDirPath(driveBox->currentText());
}

bool FileBrowser::setDirPath(const QString& path) {
    const QDir dir(path);
    if (path.isEmpty() || !dir.exists() || !dir.isReadable()) {
        return false;
    }
    m_dirPath = dir.absolutePath();
    followFolderWithDrive();
    fillFolders();
    onFolderChanged();
    return true;
}

bool FileBrowser::setDrive(const QString& drive) {
    const int index = driveBox->findText(drive);
    if (index < 0) {
        return false;
    }
    if (index != driveBox->currentIndex()) {
        driveBox->setCurrentIndex(index);
        onDriveChanged();
    }
    return true;
}

void FileBrowser::followFolderWithDrive() {
    int best = -1;
    qsizetype bestLength = -1;
    for (int i = 0; i < driveBox->count(); ++i) {
        const QString root = driveBox->itemText(i);
        const bool holds = m_dirPath == root || m_dirPath.startsWith(FullPath(root, QString()));
        if (holds && root.size() > bestLength) {
            best = i;
            bestLength = root.size();
        }
    }
    if (best >= 0) {
        driveBox->setCurrentIndex(best); // currentIndexChanged is not what onDriveChanged follows
    }
}

void FileBrowser::fillFolders() {
    folderList->clear();
    QDir dir(m_dirPath);
    if (!dir.isRoot()) {
        auto* up = new QListWidgetItem(QStringLiteral(".."), folderList);
        up->setData(Qt::UserRole, QFileInfo(m_dirPath).absolutePath());
    }
    const QStringList folders =
        dir.entryList(QDir::Dirs | QDir::NoDotAndDotDot | QDir::Readable, QDir::Name);
    for (const QString& name : folders) {
        auto* item = new QListWidgetItem(name, folderList);
        item->setData(Qt::UserRole, FullPath(m_dirPath, name));
    }
}

void FileBrowser::onFolderChanged() {
    refreshFiles();
}

void FileBrowser::refreshFiles() {
    fileList->clear();
    QDir dir(m_dirPath);
    dir.setNameFilters(SoundFileNameFilters()); // matches .WAV, .Flac too
    fileList->addItems(dir.entryList(QDir::Files, QDir::Name | QDir::IgnoreCase));
}

void FileBrowser::onFileClicked() {
    if (fileName().isEmpty()) {
        return;
    }
    m_selectedPath = FullPath(m_dirPath, fileName());
    const QFileInfo file(m_selectedPath);
    if (file.exists()) {
        previewFileSizeLabel->setText(KilobyteText(file.size()));
        wavInfoLabel->setText(QStringLiteral("(") + FormatWavInfo(m_selectedPath, 0) +
                              QStringLiteral(")"));
    } else {
        // Gone between listing and click: nothing to measure.
        previewFileSizeLabel->setText(QStringLiteral("kB"));
        wavInfoLabel->setText(QString());
    }
    m_app.preview.release();
}

void FileBrowser::onFileDoubleClicked() {
    if (fileName().isEmpty()) {
        return;
    }
    m_selectedPath = FullPath(m_dirPath, fileName());
    const WaitCursor wait(m_app.platform.cursor);
    m_app.preview.start(m_selectedPath, m_app.previewLoop);
}

void FileBrowser::onDeleteFileTriggered() {
    if (m_selectedPath.isEmpty()) {
        return;
    }
    DeleteBrowserFile();
    refreshFiles();
}

void FileBrowser::DeleteBrowserFile() {
    const QString& path = m_selectedPath;
    if (path.isEmpty()) {
        return;
    }
    // The desktop's trash has no confirmation of its own: ask first, as the old shell did.
    const QString question = tr("「%1」をごみ箱に移動しますか？").arg(QFileInfo(path).fileName());
    if (!m_app.platform.messages.confirm(question, tr("削除"))) {
        return;
    }
    // A missing file or a failure leaves everything as it was; the list is refreshed anyway.
    m_app.platform.trash.moveToTrash(path);
}

bool FileBrowser::eventFilter(QObject* watched, QEvent* event) {
    if (watched == fileList && event->type() == QEvent::KeyPress) {
        if (static_cast<QKeyEvent*>(event)->key() == Qt::Key_Delete) {
            onDeleteFileTriggered();
            return true;
        }
    } else if (watched == fileList->viewport() && event->type() == QEvent::MouseButtonPress) {
        const auto* mouse = static_cast<QMouseEvent*>(event);
        if (mouse->button() == Qt::RightButton && m_popup != nullptr) {
            m_popup->popup(mouse->globalPosition().toPoint());
        }
    }
    return QWidget::eventFilter(watched, event);
}

} // namespace mt
