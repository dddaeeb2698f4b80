#include "media/cd/CdImageProbe.h"

#include "media/cd/CdDisc.h"
#include "media/cd/MciErrors.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QProcess>

#include <cstdio>
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

} // namespace

CdImageProbe::CdImageProbe(QString program, int timeLimitMs)
    : m_program(std::move(program)), m_timeLimitMs(timeLimitMs) {}

QString CdImageProbe::findProgram() {
    if (QCoreApplication::instance() == nullptr) {
        return {};
    }
    const QString beside =
        QCoreApplication::applicationDirPath() + QLatin1Char('/') + QLatin1String(kProgramName);
    return QFileInfo(beside).isExecutable() ? beside : QString();
}

std::uint32_t CdImageProbe::check(const QString& image) const {
    const QString program = m_program.isEmpty() ? findProgram() : m_program;
    if (program.isEmpty() || !QFileInfo(program).isExecutable()) {
        return kCdErrProbeMissing;
    }
    QProcess child;
    child.setStandardOutputFile(QProcess::nullDevice());
    child.start(program, {image}, QIODevice::ReadOnly);
    if (!child.waitForStarted(m_timeLimitMs)) {
        return kCdErrProbeMissing;
    }
    if (!child.waitForFinished(m_timeLimitMs)) {
        child.kill(); // a parser caught in a loop
        child.waitForFinished(1000);
        LogWhatTheChildSaid(child.readAllStandardError());
        return kCdErrImageDamaged;
    }
    LogWhatTheChildSaid(child.readAllStandardError());
    if (child.exitStatus() != QProcess::NormalExit) {
        return kCdErrImageDamaged; // the parser crashed
    }
    const int code = child.exitCode();
    if (code == 0) {
        return kMciOk;
    }
    const std::uint32_t own = kCdErrNoSource + static_cast<std::uint32_t>(code - kFirstErrorExit);
    return code >= kFirstErrorExit && MciErrorText(own) != nullptr ? own : kCdErrImageDamaged;
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
