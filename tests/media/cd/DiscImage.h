#pragma once

#include <QString>

#include <vector>

namespace mt::test {

// A sine of `hz` (0: silence) at amplitude 0.5 in both channels, `seconds` in whole sectors.
struct ToneTrack {
    double seconds = 2.0;
    double hz = 440.0;
};

struct DiscImageOptions {
    bool motorola = false;      // samples stored big-endian, FILE type MOTOROLA
    bool writeBin = true;       // false: a cue sheet without its .bin
    QString fileLine = "x.bin"; // the name the cue's FILE line gives (libcdio ignores it)
};

// Writes `<dir>/<name>.cue` and `.bin` (silence as holes); returns the cue's path.
QString WriteToneDisc(const QString& dir, const QString& name, const std::vector<ToneTrack>& tracks,
                      const DiscImageOptions& options = {});

// The sectors a track of `seconds` takes on a generated disc.
int SectorsOf(double seconds);

// Images libcdio's own parsers do not survive, written into `dir`; the image's path.
QString WriteTocThatDividesByZero(const QString& dir); // a TRACK and a FILE of length 0
QString WriteNrgThatCrashes(const QString& dir);       // a cue chunk of absurd length
QString WriteNrgThatNeverEnds(const QString& dir);     // a disc-at-once chunk of absurd length

} // namespace mt::test
