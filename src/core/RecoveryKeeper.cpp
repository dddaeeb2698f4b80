#include "core/RecoveryKeeper.h"

#include "core/Performance.h"
#include "files/SettingFile.h"
#include "platform/MessageBoxService.h"
#include "platform/RegularFile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLockFile>
#include <QStandardPaths>
#include <QTimer>

#include <cstdio>

namespace mt {
namespace {

// Far beyond a set's two files in Base64; anything larger is no copy of ours.
constexpr qint64 kMaxCopyBytes = 4 << 20;

} // namespace

RecoveryKeeper::RecoveryKeeper(Performance& performance, QString folder)
    : m_performance(performance), m_folder(std::move(folder)), m_delay(new QTimer(this)) {
    m_delay->setSingleShot(true);
    m_delay->setInterval(kDelayMs);
    connect(m_delay, &QTimer::timeout, this, &RecoveryKeeper::write);
    connect(&m_performance, &Performance::edited, this, &RecoveryKeeper::edited);
    connect(&m_performance, &Performance::changedFlag, this, [this](bool changed) {
        if (!changed && m_keeping) {
            m_delay->stop();
            post(std::nullopt); // the file on disk is the set again
        }
    });
}

RecoveryKeeper::~RecoveryKeeper() {
    {
        const std::lock_guard lock(m_mutex);
        m_stop = true;
    }
    m_wake.notify_one();
    if (m_writer.joinable()) {
        m_writer.join();
    }
}

QString RecoveryKeeper::DefaultFolder() {
    return QStandardPaths::writableLocation(QStandardPaths::AppDataLocation) +
           QStringLiteral("/recovery");
}

QString RecoveryKeeper::copyPath() const {
    return m_folder + QStringLiteral("/unsaved.mrwr");
}

RecoveryKeeper::Found RecoveryKeeper::start(bool* taken) {
    if (taken != nullptr) {
        *taken = false;
    }
    if (m_keeping || !QDir().mkpath(m_folder)) {
        return {};
    }
    m_lock = std::make_unique<QLockFile>(m_folder + QStringLiteral("/recovery.lock"));
    // Only a lock whose program is gone is stale, however old.
    m_lock->setStaleLockTime(0);
    if (!m_lock->tryLock(0)) {
        std::fprintf(stderr,
                     "marrowtune: another Marrowtune keeps its recovery copies in %s; "
                     "this one keeps none\n",
                     qUtf8Printable(m_folder));
        return {};
    }
    if (taken != nullptr) {
        *taken = true;
    }
    m_keeping = true;
    m_writer = std::thread([this] { run(); });
    Found found;
    if (!QFile::exists(copyPath())) {
        return found;
    }
    QFile file(copyPath());
    std::optional<RecoveryCopy> copy;
    if (OpenRegularFileForReading(file)) {
        const QByteArray bytes = file.read(kMaxCopyBytes + 1);
        if (bytes.size() <= kMaxCopyBytes) {
            copy = DecodeRecovery(bytes);
        }
    }
    if (!copy) {
        QFile::remove(copyPath());
        found.left = Left::Damaged;
        return found;
    }
    found.left = Left::Copy;
    found.copy = *copy;
    return found;
}

bool RecoveryKeeper::startAndOffer(MessageBoxService& messages) {
    const Found found = start();
    const QString damaged =
        tr("保存されていなかったセットの復元用ファイルが壊れていたため、開きませんでした。");
    if (found.left == Left::Damaged) {
        messages.show(damaged, kAppTitle, MessageIcon::Exclamation);
        return false;
    }
    if (found.left != Left::Copy) {
        return false;
    }
    const QString name =
        found.copy.path.isEmpty() ? QStringLiteral("New") : QFileInfo(found.copy.path).fileName();
    if (!messages.confirm(tr("前回、保存されずに終わったセット「%1」があります。\n"
                             "復元しますか？")
                              .arg(name),
                          kAppTitle)) {
        discardFound();
        return false;
    }
    if (!m_performance.openRecovered({found.copy.setting, found.copy.companion}, found.copy.path)) {
        messages.show(damaged, kAppTitle, MessageIcon::Exclamation);
        discardFound();
        return false;
    }
    return true;
}

void RecoveryKeeper::discardFound() {
    if (m_keeping && !m_performance.bank().changed()) {
        post(std::nullopt);
    }
}

void RecoveryKeeper::endCleanly() {
    if (!m_keeping) {
        return;
    }
    m_delay->stop();
    post(std::nullopt);
    {
        const std::lock_guard lock(m_mutex);
        m_stop = true;
    }
    m_wake.notify_one();
    m_writer.join();
    m_keeping = false;
    m_lock.reset();
}

void RecoveryKeeper::edited() {
    // Not restarted by later edits: a stream of them (a bar dragged) is copied every kDelayMs.
    if (m_keeping && !m_delay->isActive()) {
        m_delay->start();
    }
}

void RecoveryKeeper::write() {
    if (!m_keeping || !m_performance.bank().changed()) {
        return;
    }
    const QString path = m_performance.filePath();
    const Performance::SetBytes bytes = m_performance.currentBytes(path);
    post(EncodeRecovery({path, bytes.setting, bytes.companion}));
}

void RecoveryKeeper::post(std::optional<QByteArray> job) {
    {
        const std::lock_guard lock(m_mutex);
        m_job = std::move(job);
    }
    m_wake.notify_one();
}

void RecoveryKeeper::run() {
    for (;;) {
        std::optional<QByteArray> job;
        {
            std::unique_lock lock(m_mutex);
            m_wake.wait(lock, [this] { return m_job.has_value() || m_stop; });
            if (!m_job) {
                return; // stopped with nothing left to do
            }
            job = std::move(*m_job);
            m_job.reset();
        }
        if (!job) {
            QFile::remove(copyPath());
            continue;
        }
        QString reason;
        if (!WriteFileWhole(copyPath(), *job, &reason)) {
            std::fprintf(stderr, "marrowtune: the recovery copy %s could not be written: %s\n",
                         qUtf8Printable(copyPath()), qUtf8Printable(reason));
        }
    }
}

} // namespace mt
