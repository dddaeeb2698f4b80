#pragma once

#include <QByteArray>
#include <QString>

#include <optional>

namespace mt {

// A copy of a set with unsaved changes, kept so that a crash or a power cut does not lose it:
// the setting file's and the companion's bytes as a save would write them, and the path the
// set was opened from or saved to ("" for an untitled bank).
struct RecoveryCopy {
    QString path;
    QByteArray setting;
    QByteArray companion;

    bool operator==(const RecoveryCopy&) const = default;
};

// One file holds the whole copy, so that a rename puts all of it in place or none: UTF-8 JSON
// with "format": "marrowtune-recovery", "version": 1, "path", "setting" and "companion" (the
// bytes in Base64) and "sha256", the hash of the three, which tells a whole copy from a torn or
// damaged one.
QByteArray EncodeRecovery(const RecoveryCopy& copy);
// nullopt for anything but a whole copy.
std::optional<RecoveryCopy> DecodeRecovery(const QByteArray& bytes);

} // namespace mt
