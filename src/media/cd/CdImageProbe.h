#pragma once

#include <QByteArray>
#include <QString>
#include <QTimer>

#include <cstdint>
#include <functional>

class QProcess;

namespace mt {

// Tries a disc image in a short-lived child process before this process parses it: libcdio's
// image parsers crash (a division by zero in a two-line .toc, bad pointers in .nrg footers)
// or loop forever on damaged files, and a crash there must not take the program with it.
// The child (`marrowtune-cdprobe <image>`, installed beside the program) opens the image as
// the program would, reads its table of contents and a sector of each track, and exits 0;
// it is killed when it takes longer than the time limit. Of what it says on stderr, the first
// line goes to the program's stderr, printable characters only.
//
// The verdicts: kMciOk when the image opened and read in the child; the image's own error
// (missing, .bin missing, damaged) when it refused it; kCdErrImageDamaged when it crashed or
// ran out of time; kCdErrProbeMissing when there is no probe to run.
class CdImageProbe {
public:
    static constexpr int kDefaultTimeLimitMs = 5000;
    // The probe's exit code for an MciError of the device's own range: kFirstErrorExit plus
    // the code's distance from kCdErrNoSource.
    static constexpr int kFirstErrorExit = 10;

    using Verdict = std::function<void(std::uint32_t error)>;

    // `program` empty: the probe beside the running executable.
    explicit CdImageProbe(QString program = {}, int timeLimitMs = kDefaultTimeLimitMs);
    // A child still running is killed; its verdict never comes.
    ~CdImageProbe();
    CdImageProbe(const CdImageProbe&) = delete;
    CdImageProbe& operator=(const CdImageProbe&) = delete;

    // UI thread; returns at once, so a child caught in a loop never holds the window. Starts
    // the child on `image`, dropping a check under way; `done` comes once, later, through the
    // event loop, with the verdict. False, and no `done`, when there is no probe to run.
    bool start(const QString& image, Verdict done);
    // Whether a check is under way.
    bool running() const { return m_child != nullptr; }
    // Drops the check under way: its child is killed, its verdict never comes.
    void cancel();

    // The verdict on `image`, waiting for the child up to the time limit: for a thread with
    // nothing else to do (the fuzzer); the program uses start().
    std::uint32_t checkAndWait(const QString& image) const;

    // The probe installed beside the running executable ("" when there is none).
    static QString findProgram();

    // The child's side: opens `image` in this process and reads it; the exit code that is its
    // verdict.
    static int runInThisProcess(const QString& image);

private:
    QString program() const;
    void keep(const QByteArray& said);
    void end(std::uint32_t error);

    QString m_program;
    int m_timeLimitMs;
    QProcess* m_child = nullptr; // the check under way
    QByteArray m_said;           // the start of its stderr
    Verdict m_done;
    QTimer m_limit;
};

} // namespace mt
