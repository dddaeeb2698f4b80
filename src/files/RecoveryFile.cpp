#include "files/RecoveryFile.h"

#include <QCryptographicHash>
#include <QJsonDocument>
#include <QJsonObject>

namespace mt {
namespace {

const QString kFormat = QStringLiteral("marrowtune-recovery");

QByteArray Hash(const RecoveryCopy& copy) {
    QCryptographicHash hash(QCryptographicHash::Sha256);
    // Each part's length first, so that bytes moved from one part to the next change the hash.
    for (const QByteArray& part : {copy.path.toUtf8(), copy.setting, copy.companion}) {
        hash.addData(QByteArray::number(part.size()) + ':');
        hash.addData(part);
    }
    return hash.result().toHex();
}

} // namespace

QByteArray EncodeRecovery(const RecoveryCopy& copy) {
    return QJsonDocument(
               QJsonObject{
                   {QStringLiteral("format"), kFormat},
                   {QStringLiteral("version"), 1},
                   {QStringLiteral("path"), copy.path},
                   {QStringLiteral("setting"), QString::fromLatin1(copy.setting.toBase64())},
                   {QStringLiteral("companion"), QString::fromLatin1(copy.companion.toBase64())},
                   {QStringLiteral("sha256"), QString::fromLatin1(Hash(copy))}})
        .toJson(QJsonDocument::Compact);
}

std::optional<RecoveryCopy> DecodeRecovery(const QByteArray& bytes) {
    QJsonParseError error{};
    const QJsonObject root = QJsonDocument::fromJson(bytes, &error).object();
    if (error.error != QJsonParseError::NoError || root.value("format") != kFormat ||
        root.value("version").toInt() != 1) {
        return std::nullopt;
    }
    const auto base64 = [&root](const char* key) {
        return QByteArray::fromBase64Encoding(root.value(QLatin1String(key)).toString().toLatin1(),
                                              QByteArray::AbortOnBase64DecodingErrors);
    };
    const auto setting = base64("setting");
    const auto companion = base64("companion");
    if (!setting || !companion || !root.value("path").isString()) {
        return std::nullopt;
    }
    RecoveryCopy copy{root.value("path").toString(), *setting, *companion};
    if (root.value("sha256").toString().toLatin1() != Hash(copy)) {
        return std::nullopt;
    }
    return copy;
}

} // namespace mt
