#include "files/SetExtras.h"

#include "platform/RegularFile.h"

#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <algorithm>
#include <cmath>

namespace mt {
namespace {

const QString kFormat = QStringLiteral("marrowtune-set");
constexpr int kVersion = 1;
// Far beyond what eight tracks' values take; anything larger is no companion of ours.
constexpr qint64 kMaxCompanionBytes = 1 << 20;

// The words a quantise is stored as, in the enum's order: stable whatever the enum becomes.
const std::array<QString, kQuantiseCount> kQuantiseWords{
    QStringLiteral("off"), QStringLiteral("1/16"),  QStringLiteral("1/8"),  QStringLiteral("beat"),
    QStringLiteral("bar"), QStringLiteral("2bars"), QStringLiteral("4bars")};

// Reads `key` of `object` into `value` when it is there and `read` takes it; a value there that
// `read` refuses clears `ok` and leaves `value` as it was.
template <typename T>
void Take(const QJsonObject& object, const QString& key, T& value, bool& ok,
          bool (*read)(const QJsonValue&, T&)) {
    const QJsonValue stored = object.value(key);
    if (stored.isUndefined()) {
        return;
    }
    if (!read(stored, value)) {
        ok = false;
    }
}

// A value stored as one of `words`, in the enum's order.
template <typename Enum, std::size_t N>
bool ReadWord(const QJsonValue& stored, Enum& value, const std::array<QString, N>& words) {
    const auto word = std::find(words.begin(), words.end(), stored.toString());
    if (!stored.isString() || word == words.end()) {
        return false;
    }
    value = static_cast<Enum>(word - words.begin());
    return true;
}

const std::array<QString, 2> kStretchWords{QStringLiteral("tape"), QStringLiteral("keepPitch")};

bool ReadQuantise(const QJsonValue& stored, Quantise& value) {
    return ReadWord(stored, value, kQuantiseWords);
}

bool ReadStretch(const QJsonValue& stored, Stretch& value) {
    return ReadWord(stored, value, kStretchWords);
}

bool ReadPitch(const QJsonValue& stored, int& value) {
    const double cents = stored.toDouble(2.0 * kMaxPitchCents);
    if (!stored.isDouble() || cents != std::floor(cents) || cents < kMinPitchCents ||
        cents > kMaxPitchCents) {
        return false;
    }
    value = static_cast<int>(cents);
    return true;
}

bool ReadChokeGroup(const QJsonValue& stored, int& value) {
    const double group = stored.toDouble(0.0);
    if (!stored.isDouble() || (group != 2 && group != 3 && group != 4)) {
        return false;
    }
    value = static_cast<int>(group);
    return true;
}

bool ReadSize(const QJsonValue& stored, qint64& value) {
    const double bytes = stored.toDouble(-1.0);
    // Exact in a double up to 2^53 bytes, far beyond any sound file.
    if (!stored.isDouble() || bytes != std::floor(bytes) || bytes < 0 || bytes > 0x1p53) {
        return false;
    }
    value = static_cast<qint64>(bytes);
    return true;
}

bool ReadText(const QJsonValue& stored, QString& value) {
    if (!stored.isString()) {
        return false;
    }
    value = stored.toString();
    return true;
}

bool ReadBool(const QJsonValue& stored, bool& value) {
    if (!stored.isBool()) {
        return false;
    }
    value = stored.toBool();
    return true;
}

} // namespace

QString CompanionPath(const QString& settingPath) {
    return settingPath.endsWith(QStringLiteral(".mrw")) ? settingPath + QLatin1Char('x')
                                                        : settingPath + QStringLiteral(".mrwx");
}

QByteArray EncodeSetExtras(const SetExtras& extras) {
    QJsonArray tracks;
    for (std::size_t i = 0; i < extras.tracks.size(); ++i) {
        const TrackExtras& t = extras.tracks[i];
        QJsonObject entry{
            {QStringLiteral("quantise"), kQuantiseWords[static_cast<std::size_t>(t.quantise)]},
            {QStringLiteral("stopOnGrid"), t.stopOnGrid},
            {QStringLiteral("stretch"), kStretchWords[static_cast<std::size_t>(t.stretch)]},
            {QStringLiteral("pitchCents"), t.pitchCents}};
        if (t.chokeGroup > 1) {
            entry.insert(QStringLiteral("chokeGroup"), t.chokeGroup);
        }
        const FileHint& file = extras.files[i];
        if (file.size >= 0) {
            entry.insert(QStringLiteral("fileSize"), static_cast<double>(file.size));
        }
        if (!file.relativePath.isEmpty()) {
            entry.insert(QStringLiteral("relativePath"), file.relativePath);
        }
        tracks.append(entry);
    }
    return QJsonDocument(QJsonObject{{QStringLiteral("format"), kFormat},
                                     {QStringLiteral("version"), kVersion},
                                     {QStringLiteral("tracks"), tracks}})
        .toJson(QJsonDocument::Indented);
}

DecodedSetExtras DecodeSetExtras(const QByteArray& bytes) {
    DecodedSetExtras decoded;
    QJsonParseError error{};
    const QJsonDocument document = QJsonDocument::fromJson(bytes, &error);
    const QJsonObject root = document.object();
    if (error.error != QJsonParseError::NoError || root.value("format") != kFormat) {
        decoded.ok = false; // not a companion at all: nothing of it is taken
        return decoded;
    }
    // A newer version's file is read as far as this one understands it.
    const QJsonValue version = root.value(QStringLiteral("version"));
    if (!version.isUndefined() && version.toInt(0) < 1) {
        decoded.ok = false;
    }
    const QJsonValue tracks = root.value(QStringLiteral("tracks"));
    if (!tracks.isUndefined() && !tracks.isArray()) {
        decoded.ok = false;
    }
    const QJsonArray entries = tracks.toArray();
    for (qsizetype i = 0; i < std::min<qsizetype>(entries.size(), 8); ++i) {
        if (!entries[i].isObject()) {
            decoded.ok = false;
            continue;
        }
        const QJsonObject entry = entries[i].toObject();
        TrackExtras& t = decoded.extras.tracks[static_cast<std::size_t>(i)];
        Take(entry, QStringLiteral("quantise"), t.quantise, decoded.ok, ReadQuantise);
        Take(entry, QStringLiteral("stopOnGrid"), t.stopOnGrid, decoded.ok, ReadBool);
        Take(entry, QStringLiteral("stretch"), t.stretch, decoded.ok, ReadStretch);
        Take(entry, QStringLiteral("pitchCents"), t.pitchCents, decoded.ok, ReadPitch);
        Take(entry, QStringLiteral("chokeGroup"), t.chokeGroup, decoded.ok, ReadChokeGroup);
        FileHint& file = decoded.extras.files[static_cast<std::size_t>(i)];
        Take(entry, QStringLiteral("fileSize"), file.size, decoded.ok, ReadSize);
        Take(entry, QStringLiteral("relativePath"), file.relativePath, decoded.ok, ReadText);
    }
    return decoded;
}

DecodedSetExtras ReadSetExtras(const QString& companionPath) {
    if (!QFileInfo::exists(companionPath)) {
        return {}; // a set saved before companions, or by another program: all defaults
    }
    QFile file(companionPath);
    if (!OpenRegularFileForReading(file)) {
        return {{}, false};
    }
    const QByteArray bytes = file.read(kMaxCompanionBytes + 1);
    if (bytes.size() > kMaxCompanionBytes || file.error() != QFileDevice::NoError) {
        return {{}, false};
    }
    return DecodeSetExtras(bytes);
}

} // namespace mt
