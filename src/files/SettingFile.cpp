#include "files/SettingFile.h"

#include "platform/Numbers.h"

#include <QDir>
#include <QFileInfo>
#include <QRegularExpression>
#include <QSaveFile>
#include <QStringDecoder>
#include <QStringList>

#include <iconv.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <limits>
#include <optional>

namespace mt {
namespace {

const QStringList kRatioTexts{"/32", "/16", "/8", "/4", "/2",  "基準", "",
                              "*1",  "*2",  "*4", "*8", "*16", "*32"};

QByteArray NumberLine(long long value) {
    return (value < 0 ? QByteArray() : QByteArray(" ")) + QByteArray::number(value) + ' ';
}

// A float with at most 7 significant digits, as the length has always been written. A value
// that is not a finite number is written as 0, which every reader takes back.
QByteArray FloatLine(float value) {
    if (!std::isfinite(value)) {
        value = 0.0f;
    }
    char text[32];
    std::snprintf(text, sizeof text, "%.7G", static_cast<double>(value));
    QByteArray digits(text);
    return (value < 0 ? QByteArray() : QByteArray(" ")) + digits + ' ';
}

QString ShiftJisToUnicode(const QByteArray& bytes) {
    iconv_t cd = iconv_open("UTF-8", "CP932");
    // NOLINTNEXTLINE(performance-no-int-to-ptr): iconv_open's documented failure value
    if (cd == reinterpret_cast<iconv_t>(-1)) {
        return QString::fromLatin1(bytes);
    }
    QByteArray in = bytes;
    QByteArray out(in.size() * 3 + 4, '\0');
    char* inPtr = in.data();
    char* outPtr = out.data();
    std::size_t inLeft = static_cast<std::size_t>(in.size());
    std::size_t outLeft = static_cast<std::size_t>(out.size());
    const std::size_t result = iconv(cd, &inPtr, &inLeft, &outPtr, &outLeft);
    iconv_close(cd);
    if (result == static_cast<std::size_t>(-1)) {
        return QString::fromLatin1(bytes);
    }
    out.truncate(out.size() - static_cast<qsizetype>(outLeft));
    return QString::fromUtf8(out);
}

QString DecodeLine(const QByteArray& bytes) {
    QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    const QString text = utf8.decode(bytes);
    return utf8.hasError() ? ShiftJisToUnicode(bytes) : text;
}

class LineReader {
public:
    explicit LineReader(const QByteArray& bytes) : m_lines(bytes.split('\n')) {
        // A final CR LF leaves one empty piece behind that is not a line.
        if (!m_lines.isEmpty() && m_lines.constLast().isEmpty()) {
            m_lines.removeLast();
        }
    }

    bool atEnd() const { return m_next >= m_lines.size(); }

    std::optional<QString> text() {
        if (atEnd()) {
            return std::nullopt;
        }
        QByteArray line = m_lines[m_next++];
        if (line.endsWith('\r')) {
            line.chop(1);
        }
        return DecodeLine(line).trimmed();
    }

    std::optional<double> number() {
        const std::optional<QString> line = text();
        if (!line || line->isEmpty()) {
            return std::nullopt;
        }
        bool ok = false;
        const double value = line->toDouble(&ok);
        if (!ok || !std::isfinite(value)) {
            return std::nullopt;
        }
        return value;
    }

    // A whole number in the range of a 16-bit signed integer (fractions round halves to even).
    std::optional<int> integer() {
        const std::optional<double> value = number();
        if (!value) {
            return std::nullopt;
        }
        const double rounded = RoundHalfEven(*value);
        if (rounded < std::numeric_limits<std::int16_t>::min() ||
            rounded > std::numeric_limits<std::int16_t>::max()) {
            return std::nullopt;
        }
        return static_cast<int>(rounded);
    }

private:
    QList<QByteArray> m_lines;
    qsizetype m_next = 0;
};

std::optional<int> InRange(std::optional<int> value, int lowest, int highest) {
    if (!value || *value < lowest || *value > highest) {
        return std::nullopt;
    }
    return value;
}

std::optional<TrackSetting> ReadBlock(LineReader& in) {
    TrackSetting t;
    std::optional<int> speed = in.integer();
    if (speed && *speed == 0) {
        speed = 4410;
    }
    speed = InRange(speed, 5, 9000);
    const std::optional<int> volume = InRange(in.integer(), -70, 0);
    const std::optional<int> pan = speed && volume ? in.integer() : std::nullopt;
    if (!speed || !volume || !pan) {
        return std::nullopt;
    }
    t.speed = *speed;
    t.volume = *volume;
    t.pan = std::clamp(*pan, -40, 40);
    const std::optional<QString> fileName = in.text();
    const std::optional<QString> path = in.text();
    // Discarded by the load, but a float all the same: beyond its range it would come back as
    // infinity.
    const std::optional<double> lengthRead = in.number();
    const bool lengthOk =
        lengthRead && *lengthRead >= 0.0 && *lengthRead <= std::numeric_limits<float>::max();
    const double length = lengthOk ? *lengthRead : 0.0;
    const std::optional<int> loop = InRange(in.integer(), 0, 1);
    const std::optional<int> hold = InRange(in.integer(), 0, 1);
    const std::optional<QString> ratio = in.text();
    if (!fileName || !path || !lengthOk || !loop || !hold || !ratio ||
        !kRatioTexts.contains(*ratio)) {
        return std::nullopt;
    }
    t.fileName = *fileName;
    t.path = *path;
    t.length44k = static_cast<float>(length);
    t.loop = *loop;
    t.hold = *hold;
    t.ratio = *ratio;
    return t;
}

} // namespace

QByteArray EncodeSettingFile(const std::array<TrackSetting, 8>& tracks) {
    QByteArray out;
    const QByteArray crlf("\r\n");
    for (const TrackSetting& t : tracks) {
        out += NumberLine(t.speed) + crlf;
        out += NumberLine(t.volume) + crlf;
        out += NumberLine(t.pan) + crlf;
        out += t.fileName.toUtf8() + crlf;
        out += t.path.toUtf8() + crlf;
        out += FloatLine(t.length44k) + crlf;
        out += NumberLine(t.loop) + crlf;
        out += NumberLine(t.hold) + crlf;
        out += t.ratio.toUtf8() + crlf;
    }
    return out;
}

DecodedSettingFile DecodeSettingFile(const QByteArray& bytes) {
    DecodedSettingFile file;
    if (bytes.trimmed().isEmpty()) {
        // What a failed write leaves behind, never a bank that was saved.
        file.ok = false;
        return file;
    }
    LineReader in(bytes);
    for (int i = 0; i < 8 && !in.atEnd(); ++i) {
        std::optional<TrackSetting> block = ReadBlock(in);
        if (!block) {
            file.ok = false;
            break;
        }
        file.tracks.push_back(std::move(*block));
    }
    return file;
}

void RemoveStaleSaveFiles(const QString& path) {
    const QFileInfo target(path);
    const QString prefix = target.fileName() + QLatin1Char('.');
    static const QRegularExpression temporarySuffix(QStringLiteral("^[A-Za-z0-9]{6}$"));
    QDir folder = target.absoluteDir();
    const QStringList names = folder.entryList(QDir::Files | QDir::Hidden | QDir::System);
    for (const QString& name : names) {
        if (name.startsWith(prefix) && temporarySuffix.match(name.mid(prefix.size())).hasMatch()) {
            folder.remove(name);
        }
    }
}

bool CommitWhole(QSaveFile& file, const QByteArray& bytes, QString* error) {
    // Unbuffered, so a full disk fails the write itself rather than a flush inside commit(),
    // whose failure commit() does not report; the size on disk is checked before the rename.
    const bool written = file.open(QIODevice::WriteOnly | QIODevice::Unbuffered) &&
                         file.write(bytes) == bytes.size() && file.flush() &&
                         file.size() == bytes.size();
    if (written && file.commit()) {
        return true;
    }
    if (error != nullptr) {
        *error = file.error() != QFileDevice::NoError
                     ? file.errorString()
                     : QStringLiteral("書き込みが最後まで終わりませんでした。");
    }
    file.cancelWriting(); // the temporary file goes with `file`; the old file stays
    return false;
}

bool WriteFileWhole(const QString& path, const QByteArray& bytes, QString* error) {
    RemoveStaleSaveFiles(path);
    QSaveFile file(path);
    return CommitWhole(file, bytes, error);
}

} // namespace mt
