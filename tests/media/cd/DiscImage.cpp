#include "DiscImage.h"

#include "support/WavBytes.h"

#include <QDir>
#include <QFile>

#include <cmath>
#include <numbers>

namespace mt::test {

namespace {

QString WriteBytes(const QString& path, const QByteArray& bytes) {
    return WriteFile(path, bytes) ? path : QString();
}

QByteArray BigEndian(quint64 value, int bytes) {
    QByteArray out;
    for (int i = bytes - 1; i >= 0; --i) {
        out += static_cast<char>((value >> (8 * i)) & 0xff);
    }
    return out;
}

// A Nero image: 4 KiB of nothing, one chunk, and the version-2 footer pointing at it.
QByteArray NrgWithChunk(const char* id, quint32 length) {
    const QByteArray body(4096, '\0');
    return body + QByteArray(id) + BigEndian(length, 4) + "NER5" + BigEndian(body.size(), 8);
}

} // namespace

int SectorsOf(double seconds) {
    return static_cast<int>(std::lround(seconds * 75.0));
}

QString WriteToneDisc(const QString& dir, const QString& name, const std::vector<ToneTrack>& tracks,
                      const DiscImageOptions& options) {
    QString cue = QStringLiteral("FILE \"%1\" %2\n")
                      .arg(options.fileLine, options.motorola ? "MOTOROLA" : "BINARY");
    QFile bin(QDir(dir).filePath(name + ".bin"));
    if (options.writeBin && !bin.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
        return {};
    }
    qint64 sector = 0;
    for (std::size_t t = 0; t < tracks.size(); ++t) {
        const qint64 m = sector / (qint64{75} * 60);
        const qint64 s = (sector / 75) % 60;
        const qint64 f = sector % 75;
        cue += QStringLiteral("  TRACK %1 AUDIO\n    INDEX 01 %2:%3:%4\n")
                   .arg(t + 1, 2, 10, QLatin1Char('0'))
                   .arg(m, 2, 10, QLatin1Char('0'))
                   .arg(s, 2, 10, QLatin1Char('0'))
                   .arg(f, 2, 10, QLatin1Char('0'));
        const int sectors = SectorsOf(tracks[t].seconds);
        const qint64 frames = qint64{sectors} * 588;
        if (options.writeBin) {
            if (tracks[t].hz <= 0.0) {
                bin.resize(bin.size() + frames * 4);
                bin.seek(bin.size());
            } else {
                QByteArray bytes(static_cast<qsizetype>(frames * 4), '\0');
                for (qint64 i = 0; i < frames; ++i) {
                    const double x = 0.5 * std::sin(2 * std::numbers::pi * tracks[t].hz *
                                                    static_cast<double>(i) / 44100.0);
                    const auto v = static_cast<std::uint16_t>(
                        static_cast<std::int16_t>(std::lround(x * 32767.0)));
                    const char lo = static_cast<char>(v & 0xff);
                    const char hi = static_cast<char>(v >> 8);
                    for (int ch = 0; ch < 2; ++ch) {
                        const qsizetype at = i * 4 + ch * qsizetype{2};
                        bytes[at] = options.motorola ? hi : lo;
                        bytes[at + 1] = options.motorola ? lo : hi;
                    }
                }
                bin.write(bytes);
            }
        }
        sector += sectors;
    }
    return WriteBytes(QDir(dir).filePath(name + ".cue"), cue.toLatin1());
}

QString WriteTocThatDividesByZero(const QString& dir) {
    // The FILE is found from the working folder, so it is named in full.
    const QString bin = dir + "/disc.bin";
    WriteBytes(bin, QByteArray(qsizetype{2352} * 75, '\0'));
    return WriteBytes(dir + "/fpe.toc", "TRACK\nFILE \"" + QFile::encodeName(bin) + "\" 0\n");
}

QString WriteNrgThatCrashes(const QString& dir) {
    return WriteBytes(dir + "/segv.nrg", NrgWithChunk("CUEX", 0xFFFFFFF0u));
}

QString WriteNrgThatNeverEnds(const QString& dir) {
    return WriteBytes(dir + "/loop.nrg", NrgWithChunk("DAOX", 0xFFFFFFF0u));
}

} // namespace mt::test
