#include "files/SettingFile.h"

#include "platform/Numbers.h"

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

// A float with at most 7 significant digits, as the length has always been written.
QByteArray FloatLine(float value) {
    char text[32];
    std::snprintf(text, sizeof text, "%.7G", static_cast<double>(value));
    QByteArray digits(text);
    return (value < 0 ? QByteArray() : QByteArray(" ")) + digits + ' ';
}

QString ShiftJisToUnicode(const QByteArray& bytes) {
    iconv_t cd = iconv_open("UTF-8", "CP932");
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
    const std::optional<double> length = in.number();
    const std::optional<int> loop = InRange(in.integer(), 0, 1);
    const std::optional<int> hold = InRange(in.integer(), 0, 1);
    const std::optional<QString> ratio = in.text();
    if (!fileName || !path || !length || !loop || !hold || !ratio ||
        !kRatioTexts.contains(*ratio)) {
        return std::nullopt;
    }
    t.fileName = *fileName;
    t.path = *path;
    t.length44k = static_cast<float>(*length);
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

bool WriteFileWhole(const QString& path, const QByteArray& bytes, QString* error) {
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size() || !file.commit()) {
        if (error != nullptr) {
            *error = file.errorString();
        }
        file.cancelWriting();
        return false;
    }
    return true;
}

} // namespace mt
