#include "files/SettingFile.h"

#include "platform/Numbers.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QStringDecoder>
#include <QStringList>

#include <iconv.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <limits>
#include <memory>
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

// A text as one line. A text with a line break would add lines that a reader takes for the
// next values; no track takes such a path, and should one come here it is written empty,
// as a track without a file.
QByteArray TextLine(const QString& text) {
    const bool breaks = text.contains(QLatin1Char('\r')) || text.contains(QLatin1Char('\n'));
    return breaks ? QByteArray() : text.toUtf8();
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
        if (line.contains('\r')) {
            return std::nullopt; // a value split by a line break some writer let through
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

// A save's temporary file beside the file it replaces: hidden, and named after that file and
// this program, a name nobody gives a file of their own. Six letters or digits end it.
QString TemporaryPrefix(const QFileInfo& target) {
    return QLatin1Char('.') + target.fileName() + QStringLiteral(".marrowtune-save-");
}
constexpr int kTemporarySuffixLength = 6;
// A save holds its temporary file for a moment: one unchanged for this long was left by a save
// that was killed, and no writer, of this instance or another, still owns it.
constexpr qint64 kStaleTemporarySeconds = 3600;

QString RandomSuffix() {
    static const char kCharacters[] =
        "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
    QString suffix;
    for (int i = 0; i < kTemporarySuffixLength; ++i) {
        suffix += QLatin1Char(kCharacters[QRandomGenerator::global()->bounded(
            static_cast<int>(sizeof kCharacters) - 1)]);
    }
    return suffix;
}

// Removes the temporary files of saves of `path` that died before their rename; never a file
// of another name, nor one a save may still be writing.
void RemoveStaleSaveFiles(const QString& path) {
    const QFileInfo target(path);
    const QString prefix = TemporaryPrefix(target);
    static const QRegularExpression suffix(QStringLiteral("^[A-Za-z0-9]{6}$"));
    const QDateTime staleBefore = QDateTime::currentDateTimeUtc().addSecs(-kStaleTemporarySeconds);
    QDir folder = target.absoluteDir();
    const QFileInfoList entries =
        folder.entryInfoList(QDir::Files | QDir::Hidden | QDir::NoSymLinks);
    for (const QFileInfo& entry : entries) {
        const QString name = entry.fileName();
        if (name.startsWith(prefix) && suffix.match(name.mid(prefix.size())).hasMatch() &&
            entry.lastModified() < staleBefore) {
            folder.remove(name);
        }
    }
}

} // namespace

QByteArray EncodeSettingFile(const std::array<TrackSetting, 8>& tracks) {
    QByteArray out;
    const QByteArray crlf("\r\n");
    for (const TrackSetting& t : tracks) {
        out += NumberLine(t.speed) + crlf;
        out += NumberLine(t.volume) + crlf;
        out += NumberLine(t.pan) + crlf;
        out += TextLine(t.fileName) + crlf;
        out += TextLine(t.path) + crlf;
        out += FloatLine(t.length44k) + crlf;
        out += NumberLine(t.loop) + crlf;
        out += NumberLine(t.hold) + crlf;
        out += TextLine(t.ratio) + crlf;
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
    if (file.ok && !in.atEnd()) {
        file.ok = false; // lines beyond the eighth block: values moved by a line break
    }
    return file;
}

namespace {

// Writes `bytes` in full to a new temporary file beside `path` through `file` and closes it:
// true once all of it is on disk. Else false with the reason ("" when the write stopped short
// without saying why) and no temporary file of ours left.
bool WriteTemporary(QFile& file, const QString& path, const QByteArray& bytes, QString& reason) {
    const QFileInfo target(path);
    const QString prefix = target.absolutePath() + QLatin1Char('/') + TemporaryPrefix(target);
    // Unbuffered, so a full disk fails the write itself rather than a flush at the close. A
    // file that exists keeps who may read it; until then the temporary file is the owner's.
    const QIODevice::OpenMode mode =
        QIODevice::WriteOnly | QIODevice::NewOnly | QIODevice::Unbuffered;
    const bool replaces = target.exists();
    bool created = false;
    for (int attempt = 0; attempt < 16 && !created; ++attempt) {
        file.setFileName(prefix + RandomSuffix());
        created =
            replaces ? file.open(mode, QFile::ReadOwner | QFile::WriteOwner) : file.open(mode);
        if (!created && !QFileInfo::exists(file.fileName())) {
            break; // not a name another save holds: the folder refuses
        }
    }
    if (!created) {
        reason = file.errorString();
        return false;
    }
    // The size on disk is checked too: a write may claim more than reached the file.
    const bool written = (!replaces || file.setPermissions(target.permissions())) &&
                         file.write(bytes) == bytes.size() && file.flush() &&
                         file.size() == bytes.size() && ::fsync(file.handle()) == 0;
    if (!written && file.error() != QFileDevice::NoError) {
        reason = file.errorString();
    }
    file.close();
    if (written && reason.isEmpty() && file.error() != QFileDevice::NoError) {
        reason = file.errorString(); // what only the close found
    }
    if (written && reason.isEmpty()) {
        return true;
    }
    QFile::remove(file.fileName()); // the old file stays as it was
    return false;
}

} // namespace

bool CommitFilesWhole(const std::vector<FileWrite>& writes, QString* error) {
    QString reason;
    std::size_t prepared = 0;
    while (prepared < writes.size() && WriteTemporary(*writes[prepared].file, writes[prepared].path,
                                                      writes[prepared].bytes, reason)) {
        ++prepared;
    }
    std::size_t renamed = 0;
    while (prepared == writes.size() && renamed < writes.size()) {
        if (::rename(QFile::encodeName(writes[renamed].file->fileName()).constData(),
                     QFile::encodeName(writes[renamed].path).constData()) != 0) {
            reason = QString::fromLocal8Bit(std::strerror(errno));
            break;
        }
        ++renamed;
    }
    if (renamed == writes.size()) {
        return true;
    }
    for (std::size_t i = renamed; i < prepared; ++i) {
        // Written, never renamed: its file stays as it was.
        QFile::remove(writes[i].file->fileName());
    }
    if (error != nullptr) {
        *error = reason.isEmpty() ? QCoreApplication::translate(
                                        "mt::SettingFile", "書き込みが最後まで終わりませんでした。")
                                  : reason;
    }
    return false;
}

bool CommitWhole(QFile& file, const QString& path, const QByteArray& bytes, QString* error) {
    return CommitFilesWhole({{&file, path, bytes}}, error);
}

bool WriteFilesWhole(const std::vector<std::pair<QString, QByteArray>>& files, QString* error) {
    std::vector<std::unique_ptr<QFile>> temporaries;
    std::vector<FileWrite> writes;
    for (const auto& [path, bytes] : files) {
        // A link is followed: the file it names is replaced, the link stays.
        const QFileInfo given(path);
        const QString target = given.isSymLink() ? given.symLinkTarget() : path;
        RemoveStaleSaveFiles(target);
        temporaries.push_back(std::make_unique<QFile>());
        writes.push_back({temporaries.back().get(), target, bytes});
    }
    return CommitFilesWhole(writes, error);
}

bool WriteFileWhole(const QString& path, const QByteArray& bytes, QString* error) {
    return WriteFilesWhole({{path, bytes}}, error);
}

} // namespace mt
