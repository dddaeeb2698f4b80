#include "media/cd/CdImageProbe.h"

#include "media/cd/CdDisc.h"
#include "media/cd/MciErrors.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QProcess>

#include <algorithm>
#include <cstdio>
#include <utility>
#include <vector>

namespace mt {
namespace {

constexpr const char* kProgramName = "marrowtune-cdprobe";
constexpr int kLogLineLength = 200;

// What the child said on stderr goes to the program's own as one line: the first, printable
// characters only, cut to kLogLineLength. A parser's complaint about a hostile image may hold
// anything, the terminal's escape sequences included, and a crash repeats it a hundred times.
void LogWhatTheChildSaid(const QByteArray& said) {
    const qsizetype end = said.indexOf('\n');
    const QString first = QString::fromUtf8(end < 0 ? said : said.first(end));
    QString line;
    for (const QChar c : first) {
        if (c.isPrint()) {
            line += c;
        }
    }
    line = line.trimmed().left(kLogLineLength);
    if (!line.isEmpty()) {
        std::fprintf(stderr, "marrowtune: disc image probe: %s\n", line.toUtf8().constData());
    }
}

// The verdict of a child that ended by itself.
std::uint32_t VerdictOf(int code, QProcess::ExitStatus status) {
    if (status != QProcess::NormalExit) {
        return kCdErrImageDamaged; // the parser crashed
    }
    if (code == 0) {
        return kMciOk;
    }
    // The image's own errors only: any other code is no answer from a probe that works.
    const std::uint32_t own =
        kCdErrNoSource + static_cast<std::uint32_t>(code - CdImageProbe::kFirstErrorExit);
    const bool imageError =
        own == kCdErrImageMissing || own == kCdErrBinMissing || own == kCdErrImageDamaged;
    return code >= CdImageProbe::kFirstErrorExit && imageError ? own : kCdErrImageDamaged;
}

// Ends a child without waiting for it: killed if it still runs, and deleted through the event
// loop once it is reaped (this may run inside one of its own signals).
void LetGo(QProcess* child) {
    QObject::disconnect(child, nullptr, nullptr, nullptr);
    if (child->state() == QProcess::NotRunning) {
        child->deleteLater();
        return;
    }
    QObject::connect(child, &QProcess::finished, child, &QObject::deleteLater);
    // Owned by the application meanwhile, so one the loop never reaped still goes at exit.
    child->setParent(QCoreApplication::instance());
    child->kill();
}

} // namespace

CdImageProbe::CdImageProbe(QString program, int timeLimitMs)
    : m_program(std::move(program)), m_timeLimitMs(timeLimitMs) {
    m_limit.setSingleShot(true);
    // A parser caught in a loop.
    QObject::connect(&m_limit, &QTimer::timeout, [this] { end(kCdErrImageDamaged); });
}

CdImageProbe::~CdImageProbe() {
    if (m_child != nullptr) {
        // Not inside one of its signals: ended here, so that it never outlives the probe. A
        // killed child is reaped at once.
        QObject::disconnect(m_child, nullptr, nullptr, nullptr);
        m_child->kill();
        m_child->waitForFinished(1000);
        delete m_child;
    }
}

QString CdImageProbe::findProgram() {
    if (QCoreApplication::instance() == nullptr) {
        return {};
    }
    const QString beside =
        QCoreApplication::applicationDirPath() + QLatin1Char('/') + QLatin1String(kProgramName);
    return QFileInfo(beside).isExecutable() ? beside : QString();
}

QString CdImageProbe::program() const {
    const QString program = m_program.isEmpty() ? findProgram() : m_program;
    return !program.isEmpty() && QFileInfo(program).isExecutable() ? program : QString();
}

bool CdImageProbe::start(const QString& image, Verdict done) {
    cancel();
    const QString path = program();
    if (path.isEmpty()) {
        return false;
    }
    m_done = std::move(done);
    m_child = new QProcess;
    m_child->setStandardOutputFile(QProcess::nullDevice());
    QProcess* child = m_child;
    // Read as it comes, so that a child that says much never waits on a full pipe.
    QObject::connect(child, &QProcess::readyReadStandardError, child,
                     [this, child] { keep(child->readAllStandardError()); });
    QObject::connect(
        child, &QProcess::finished, child,
        [this](int code, QProcess::ExitStatus status) { end(VerdictOf(code, status)); });
    QObject::connect(child, &QProcess::errorOccurred, child, [this](QProcess::ProcessError e) {
        if (e == QProcess::FailedToStart) {
            end(kCdErrProbeMissing);
        }
    });
    m_limit.start(m_timeLimitMs);
    child->start(path, {image}, QIODevice::ReadOnly);
    return true;
}

void CdImageProbe::cancel() {
    m_limit.stop();
    if (m_child != nullptr) {
        LetGo(std::exchange(m_child, nullptr));
    }
    m_said.clear();
    m_done = {};
}

void CdImageProbe::keep(const QByteArray& said) {
    constexpr qsizetype kKept = 4096; // far more than the line that is logged
    m_said += said.first(std::min(said.size(), std::max<qsizetype>(kKept - m_said.size(), 0)));
}

void CdImageProbe::end(std::uint32_t error) {
    m_limit.stop();
    QProcess* child = std::exchange(m_child, nullptr);
    if (child == nullptr) {
        return;
    }
    keep(child->readAllStandardError());
    LetGo(child);
    LogWhatTheChildSaid(std::exchange(m_said, {}));
    if (Verdict done = std::exchange(m_done, {})) {
        done(error);
    }
}

std::uint32_t CdImageProbe::checkAndWait(const QString& image) const {
    const QString path = program();
    if (path.isEmpty()) {
        return kCdErrProbeMissing;
    }
    QProcess child;
    child.setStandardOutputFile(QProcess::nullDevice());
    child.start(path, {image}, QIODevice::ReadOnly);
    if (!child.waitForStarted(m_timeLimitMs)) {
        return kCdErrProbeMissing;
    }
    const bool ended = child.waitForFinished(m_timeLimitMs);
    if (!ended) {
        child.kill(); // a parser caught in a loop
        child.waitForFinished(1000);
    }
    LogWhatTheChildSaid(child.readAllStandardError());
    return ended ? VerdictOf(child.exitCode(), child.exitStatus()) : kCdErrImageDamaged;
}

int CdImageProbe::runInThisProcess(const QString& image) {
    std::uint32_t error = kMciOk;
    const std::unique_ptr<CdDisc> disc = CdDisc::openImageInThisProcess(image, error);
    if (disc == nullptr) {
        return kFirstErrorExit + static_cast<int>(error - kCdErrNoSource);
    }
    // The reader will ask for every track's sound: the first and the last sector of each.
    std::vector<std::int16_t> sector(static_cast<std::size_t>(CdDisc::kFramesPerSector) * 2);
    for (int t = 1; t <= disc->trackCount(); ++t) {
        if (!disc->isAudio(t)) {
            continue;
        }
        disc->read(disc->trackStart(t), 1, sector.data());
        const std::int32_t last = disc->trackStart(t + 1) - 1;
        if (last > disc->trackStart(t)) {
            disc->read(last, 1, sector.data());
        }
    }
    return 0;
}

} // namespace mt
