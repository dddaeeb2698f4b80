#pragma once

#include <QWidget>

class QComboBox;
class QLabel;
class QListWidget;
class QListWidgetItem;
class QMenu;

namespace mt {

struct AppContext;

// The WAV browser beside the tracks: a volume list `driveBox`, a folder list `folderList`, the WAV
// files of that folder in `fileList`, and the selected file's size and format. Double-clicking
// a file previews it (the context's preview player); Delete moves it to the trash. The file
// chosen here is what a track's "Change!" button loads (selectedFilePath).
class FileBrowser final : public QWidget {
    Q_OBJECT

public:
    FileBrowser(AppContext& app, QWidget* parent);
    ~FileBrowser() override;

    QComboBox* driveBox;
    QListWidget* folderList;
    QListWidget* fileList;
    QLabel* previewFileSizeLabel;
    QLabel* wavInfoLabel;

    // The folder shown by folderList and listed by fileList.
    QString dirPath() const { return m_dirPath; }
    // The file last clicked in the list, "" before the first click.
    const QString& selectedFilePath() const { return m_selectedPath; }
    // Shows `path` in the folder list; a folder that cannot be listed leaves the old one.
    bool setDirPath(const QString& path);

    // Shows this volume of the drive list; a change of volume moves the folder list to it.
    // False when the list has no such volume.
    bool setDrive(const QString& drive);

    // The file list's selected file name, "" when none.
    QString fileName() const;
    // Folder + "/" (unless the folder already ends in one) + name.
    static QString FullPath(const QString& folder, const QString& name);

    // The mounted volumes a performer picks from: root, home, removable media.
    static QStringList BrowsableVolumes();

    void onDriveChanged();
    void onFolderChanged();
    void onFileClicked();
    void onFileDoubleClicked();
    void onDeleteFileTriggered();
    void DeleteBrowserFile();
    void refreshFiles();

    // The popup of the file list (mnuPOPDeleteFile), owned by the main window.
    void setPopup(QMenu* popup) { m_popup = popup; }

    // "#,##0" of bytes / 1000, halves to even, + "kB".
    static QString KilobyteText(qint64 bytes);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void fillFolders();
    // Selects the drive list's volume that holds the folder, without moving the folder.
    void followFolderWithDrive();

    AppContext& m_app;
    QString m_dirPath;
    QString m_selectedPath;
    QMenu* m_popup = nullptr;
};

} // namespace mt
