#include "ui/MissingFilesWindow.h"

#include "app/AppContext.h"
#include "audio/SoundFormat.h"
#include "files/SampleSearch.h"
#include "platform/FileDialogService.h"
#include "ui/NamedWidget.h"

#include <QApplication>
#include <QCoreApplication>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QHideEvent>
#include <QLabel>
#include <QPushButton>
#include <QTableWidget>
#include <QThread>
#include <QTimer>
#include <QVBoxLayout>

#include <algorithm>
#include <atomic>
#include <utility>

namespace mt {
namespace {

// Each missing track with the path its set stored, in track order.
using MissingList = std::vector<std::pair<int, QString>>;

MissingList MissingNow(const AppContext& app) {
    MissingList list;
    for (const int track : app.performance.missingTracks()) {
        list.emplace_back(track, app.bank.track(track).path);
    }
    return list;
}

// The name of a stored path, which may have been written on another system.
QString NameOf(const QString& storedPath) {
    return storedPath.section(QLatin1Char('/'), -1).section(QLatin1Char('\\'), -1);
}

QString SoundFilter() {
    return QCoreApplication::translate("mt::MissingFilesWindow", "サウンドファイル") +
           QLatin1Char('|') + SoundFileNameFilters().join(QLatin1Char(';')) + QLatin1Char('|') +
           QCoreApplication::translate("mt::MissingFilesWindow", "すべてのファイル") +
           QStringLiteral("|*|");
}

enum Column { kTrackColumn, kTitleColumn, kPathColumn, kStateColumn, kButtonColumn, kColumns };

} // namespace

// What the worker and the window share; the worker writes `found` and ends, the window reads it
// once the thread's end has come through the event loop.
struct MissingFilesWindow::Search {
    std::atomic<bool> cancel{false};
    std::atomic<qint64> seen{0};
    MissingList tracks; // what was looked for
    std::vector<QStringList> found;
};

MissingFilesWindow::MissingFilesWindow(AppContext& app, QWidget* parent)
    : QDialog(parent), m_app(app), m_progressTimer(new QTimer(this)) {
    setObjectName(QStringLiteral("frmMissingFiles"));
    setWindowTitle(tr("見つからないファイル"));
    // Opened by a set's open, not by the performer: the main window keeps the keyboard, and
    // no held key is let go as it would be when that window lost the focus.
    setAttribute(Qt::WA_ShowWithoutActivating);

    table = Named(new QTableWidget(0, kColumns, this), "missingTable");
    table->setHorizontalHeaderLabels(
        {tr("トラック"), tr("タイトル"), tr("保存されていた場所"), tr("状態"), QString()});
    table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    table->setSelectionMode(QAbstractItemView::NoSelection);
    table->verticalHeader()->hide();
    table->horizontalHeader()->setSectionResizeMode(kPathColumn, QHeaderView::Stretch);
    statusLabel = Named(new QLabel(this), "statusLabel");
    searchFolderButton =
        Named(new QPushButton(tr("フォルダを検索..."), this), "searchFolderButton");
    cancelSearchButton = Named(new QPushButton(tr("中止"), this), "cancelSearchButton");
    cancelSearchButton->setEnabled(false);
    closeButton = Named(new QPushButton(tr("閉じる"), this), "closeButton");

    auto* buttons = new QHBoxLayout;
    buttons->addWidget(searchFolderButton);
    buttons->addWidget(cancelSearchButton);
    buttons->addStretch(1);
    buttons->addWidget(closeButton);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(table, 1);
    layout->addWidget(statusLabel);
    layout->addLayout(buttons);
    resize(760, 300);

    connect(searchFolderButton, &QPushButton::clicked, this,
            &MissingFilesWindow::onSearchFolderClicked);
    connect(cancelSearchButton, &QPushButton::clicked, this,
            &MissingFilesWindow::onCancelSearchClicked);
    connect(closeButton, &QPushButton::clicked, this, &QWidget::close);
    connect(&app.performance, &Performance::missingChanged, this, [this] {
        if (!m_relinking) {
            takeMissing();
        }
    });
    m_progressTimer->setInterval(100);
    connect(m_progressTimer, &QTimer::timeout, this, [this] {
        if (m_search) {
            statusLabel->setText(tr("%1 件を調べました").arg(m_search->seen.load()));
        }
    });
    takeMissing();
}

MissingFilesWindow::~MissingFilesWindow() {
    // The worker ends by itself at its next look at the flag; its thread deletes itself.
    if (m_search) {
        m_search->cancel = true;
    }
}

void MissingFilesWindow::OpenOnMissing(AppContext& app, QWidget& parent) {
    connect(&app.performance, &Performance::openedWithMissing, &parent, [&app, &parent] {
        auto* window = parent.findChild<MissingFilesWindow*>(QString(), Qt::FindDirectChildrenOnly);
        if (window == nullptr) {
            window = new MissingFilesWindow(app, &parent);
        }
        window->show();
        window->raise();
    });
}

bool MissingFilesWindow::stillMissing(const Row& row) const {
    const std::vector<int>& missing = m_app.performance.missingTracks();
    return std::find(missing.begin(), missing.end(), row.track) != missing.end() &&
           m_app.bank.track(row.track).path == row.storedPath;
}

void MissingFilesWindow::takeMissing() {
    const MissingList now = MissingNow(m_app);
    const bool fresh = std::any_of(now.begin(), now.end(), [this](const auto& missing) {
        return std::none_of(m_rows.begin(), m_rows.end(), [&](const Row& row) {
            return row.state != RowState::Relinked && row.track == missing.first &&
                   row.storedPath == missing.second;
        });
    });
    if (fresh) {
        m_rows.clear();
        for (const auto& [track, path] : now) {
            m_rows.push_back({track, path, RowState::Missing, {}});
        }
    } else {
        std::erase_if(m_rows, [this](const Row& row) {
            return row.state != RowState::Relinked && !stillMissing(row);
        });
    }
    showRows();
    if (!m_search) {
        statusLabel->setText(countText());
    }
}

void MissingFilesWindow::showRows() {
    table->setRowCount(static_cast<int>(m_rows.size()));
    for (int row = 0; row < table->rowCount(); ++row) {
        const Row& r = m_rows[static_cast<std::size_t>(row)];
        const auto cell = [this, row](int column, const QString& text) {
            auto* item = new QTableWidgetItem(text);
            item->setToolTip(text);
            table->setItem(row, column, item);
        };
        cell(kTrackColumn, QString::number(r.track + 1));
        cell(kTitleColumn, m_app.bank.track(r.track).fileName);
        cell(kPathColumn, r.storedPath);
        // Kept once made: the list is read again while a click on it is still being handled.
        if (table->cellWidget(row, kButtonColumn) == nullptr) {
            auto* choose = Named(new QPushButton(tr("ファイルを選択...")), "chooseFileButton", row);
            connect(choose, &QPushButton::clicked, this, [this, row] { onChooseFileClicked(row); });
            table->setCellWidget(row, kButtonColumn, choose);
        }
        showRow(row);
    }
    table->resizeColumnToContents(kTrackColumn);
    table->resizeColumnToContents(kButtonColumn);
}

void MissingFilesWindow::showRow(int row) {
    const Row& r = m_rows[static_cast<std::size_t>(row)];
    QString state;
    switch (r.state) {
    case RowState::Missing:
        state = tr("見つかりません");
        break;
    case RowState::Candidates:
        state = tr("候補が %1 件").arg(r.candidates.size());
        break;
    case RowState::Relinked:
        state = tr("割り当てました");
        break;
    }
    table->setItem(row, kStateColumn, new QTableWidgetItem(state));
    table->cellWidget(row, kButtonColumn)->setEnabled(r.state != RowState::Relinked);
}

QString MissingFilesWindow::countText() const {
    const auto left = std::count_if(m_rows.begin(), m_rows.end(),
                                    [](const Row& row) { return row.state != RowState::Relinked; });
    return left == 0 ? tr("すべて見つかりました")
                     : tr("%1 トラックのファイルが見つかりません").arg(left);
}

void MissingFilesWindow::onSearchFolderClicked() {
    if (m_search) {
        return;
    }
    FileDialogRequest request;
    request.title = tr("探すフォルダを選択");
    request.directory = !m_lastFolder.isEmpty() || m_app.performance.filePath().isEmpty()
                            ? m_lastFolder
                            : QFileInfo(m_app.performance.filePath()).absolutePath();
    const std::optional<QString> folder = m_app.platform.fileDialogs.chooseFolder(request);
    if (!folder) {
        return;
    }
    m_lastFolder = *folder;
    auto search = std::make_shared<Search>();
    std::vector<WantedSample> wanted;
    for (const Row& row : m_rows) {
        if (row.state != RowState::Relinked && stillMissing(row)) {
            search->tracks.emplace_back(row.track, row.storedPath);
            wanted.push_back(
                {NameOf(row.storedPath), m_app.performance.missingHint(row.track).size});
        }
    }
    if (wanted.empty()) {
        return;
    }
    m_search = search;
    QThread* worker = QThread::create([search, root = *folder, wanted = std::move(wanted)] {
        SampleSearchOptions options;
        options.cancel = &search->cancel;
        options.progress = [shared = search.get()](qint64 seen) { shared->seen = seen; };
        search->found = SearchSamples(root, wanted, options);
    });
    connect(worker, &QThread::finished, worker, &QObject::deleteLater);
    // Queued: the thread's end is told on the worker.
    connect(worker, &QThread::finished, this, [this, search] { searchEnded(search); });
    searchFolderButton->setEnabled(false);
    cancelSearchButton->setEnabled(true);
    statusLabel->setText(tr("0 件を調べました"));
    m_progressTimer->start();
    worker->start();
}

void MissingFilesWindow::onCancelSearchClicked() {
    if (m_search) {
        m_search->cancel = true;
    }
}

void MissingFilesWindow::hideEvent(QHideEvent* event) {
    // Closed, or Escape: not the window system hiding it with its parent.
    if (!event->spontaneous()) {
        onCancelSearchClicked();
        // The keys go back to the main window, whether or not the window manager sees to it.
        const QWidget* active = QApplication::activeWindow();
        if ((active == nullptr || active == this) && parentWidget() != nullptr &&
            parentWidget()->isVisible()) {
            parentWidget()->activateWindow();
        }
    }
    QDialog::hideEvent(event);
}

void MissingFilesWindow::searchEnded(const std::shared_ptr<Search>& search) {
    if (search != m_search) {
        return;
    }
    m_search.reset();
    m_progressTimer->stop();
    searchFolderButton->setEnabled(true);
    cancelSearchButton->setEnabled(false);
    if (search->cancel) {
        statusLabel->setText(tr("中止しました（%1 件を調べました）").arg(search->seen.load()));
        return;
    }
    {
        // One redraw and one look at the list for all the relinks.
        const TrackBank::Batch batch(m_app.bank);
        m_relinking = true;
        for (std::size_t i = 0; i < search->tracks.size(); ++i) {
            const std::pair<int, QString>& asked = search->tracks[i];
            const auto row = std::find_if(m_rows.begin(), m_rows.end(), [&](const Row& r) {
                return r.track == asked.first && r.storedPath == asked.second;
            });
            if (row == m_rows.end() || row->state == RowState::Relinked || !stillMissing(*row)) {
                continue; // given a file otherwise meanwhile
            }
            row->candidates = search->found[i];
            row->state = row->candidates.isEmpty() ? RowState::Missing : RowState::Candidates;
            if (row->candidates.size() == 1 &&
                m_app.performance.relink(asked.first, row->candidates[0])) {
                row->state = RowState::Relinked;
            }
        }
        m_relinking = false;
    }
    takeMissing();
    statusLabel->setText(tr("%1 件を調べました。").arg(search->seen.load()) + countText());
}

void MissingFilesWindow::onChooseFileClicked(int row) {
    if (row < 0 || row >= static_cast<int>(m_rows.size())) {
        return;
    }
    // The rows may be made afresh while the dialog is open (another set opened meanwhile).
    const Row asked = m_rows[static_cast<std::size_t>(row)];
    FileDialogRequest request;
    request.title = tr("トラック %1 のファイルを選択").arg(asked.track + 1);
    request.filter = SoundFilter();
    request.fileName = NameOf(asked.storedPath);
    if (!asked.candidates.isEmpty()) {
        request.directory = QFileInfo(asked.candidates.front()).absolutePath();
    }
    const std::optional<QString> chosen = m_app.platform.fileDialogs.openFile(request);
    const auto r = std::find_if(m_rows.begin(), m_rows.end(), [&](const Row& other) {
        return other.track == asked.track && other.storedPath == asked.storedPath;
    });
    if (!chosen || r == m_rows.end() || r->state == RowState::Relinked || !stillMissing(*r)) {
        return;
    }
    m_relinking = true;
    const bool relinked = m_app.performance.relink(r->track, *chosen);
    m_relinking = false;
    if (relinked) {
        r->state = RowState::Relinked;
    }
    takeMissing();
}

} // namespace mt
