#pragma once

#include <QString>

#include <cstdint>

namespace mt {

// Tries a disc image in a short-lived child process before this process parses it: libcdio's
// image parsers crash (a division by zero in a two-line .toc, bad pointers in .nrg footers)
// or loop forever on damaged files, and a crash there must not take the program with it.
// The child (`marrowtune-cdprobe <image>`, installed beside the program) opens the image as
// the program would, reads its table of contents and a sector of each track, and exits 0;
// it is killed when it takes longer than the time limit. Of what it says on stderr, the first
// line goes to the program's stderr, printable characters only.
class CdImageProbe {
public:
    static constexpr int kDefaultTimeLimitMs = 5000;
    // The probe's exit code for an MciError of the device's own range: kFirstErrorExit plus
    // the code's distance from kCdErrNoSource.
    static constexpr int kFirstErrorExit = 10;

    // `program` empty: the probe beside the running executable.
    explicit CdImageProbe(QString program = {}, int timeLimitMs = kDefaultTimeLimitMs);

    // UI thread; blocks for as long as the child runs, at most the time limit and a moment to
    // reap it. kMciOk when the image opened and read in the child; the image's own error
    // (missing, .bin missing, damaged) when it refused it; kCdErrImageDamaged when it crashed
    // or ran out of time; kCdErrProbeMissing when there is no probe to run.
    std::uint32_t check(const QString& image) const;

    // The probe installed beside the running executable ("" when there is none).
    static QString findProgram();

    // The child's side: opens `image` in this process and reads it; the exit code for check().
    static int runInThisProcess(const QString& image);

private:
    QString m_program;
    int m_timeLimitMs;
};

} // namespace mt
