#pragma once

#include <QDialog>
#include <QStringList>

#include <memory>
#include <vector>

class QLabel;
class QPushButton;
class QTableWidget;
class QTimer;

namespace mt {

struct AppContext;

// The missing-files window: every track whose file an open found neither where the set says
// nor nearby, with its number, title, the path the set stored and what became of it. A search
// of a chosen folder and all below it, on a worker thread and cancellable, gives back in one go
// the file of every track it finds exactly one of (its name, and its size where the set's
// companion knew it); a track with several is left for the performer, whose file chosen by hand
// relinks one track. Not modal. The performance keys keep playing: the window is shown without
// taking the focus from the main window, and holds no control that types. UI thread only.
class MissingFilesWindow final : public QDialog {
    Q_OBJECT

public:
    MissingFilesWindow(AppContext& app, QWidget* parent);
    ~MissingFilesWindow() override;

    // Shows the one window over `parent` (made the first time) whenever an open leaves tracks
    // missing; not when a relink, a new file or a clear takes tracks off the list.
    static void OpenOnMissing(AppContext& app, QWidget& parent);

    enum class RowState { Missing, Candidates, Relinked };

    void onSearchFolderClicked();
    // Takes nothing of what the search had found so far: a single find may not be the only one.
    void onCancelSearchClicked();
    void onChooseFileClicked(int row);
    bool searching() const { return m_search != nullptr; }

    QTableWidget* table;
    QLabel* statusLabel;
    QPushButton* searchFolderButton;
    QPushButton* cancelSearchButton;
    QPushButton* closeButton;

protected:
    // Closing cancels a search.
    void hideEvent(QHideEvent* event) override;

private:
    struct Row {
        int track = 0;
        QString storedPath;
        RowState state = RowState::Missing;
        QStringList candidates; // absolute paths, as the search met them
    };
    struct Search;

    // The rows again from the performance's list when it holds a track they do not; else the
    // rows of tracks that left the list otherwise than here dropped.
    void takeMissing();
    void showRows();
    void showRow(int row);
    // How many tracks are left without a file, or that none is.
    QString countText() const;
    void searchEnded(const std::shared_ptr<Search>& search);
    // The row's track still misses the file it missed when the row was made.
    bool stillMissing(const Row& row) const;

    AppContext& m_app;
    std::vector<Row> m_rows;
    std::shared_ptr<Search> m_search; // the search running, if any
    QTimer* m_progressTimer;
    QString m_lastFolder;     // the folder searched last
    bool m_relinking = false; // the relinks of a search are taken in one go, the list read after
};

} // namespace mt
