#pragma once

#include <QByteArray>
#include <QFile>
#include <QString>

#include <array>
#include <utility>
#include <vector>

namespace mt {

// One track's block of a setting file (*.mrw), in the file's line order.
struct TrackSetting {
    int speed = 4410;       // speed-bar value, 5..9000 (a stored 0 reads as 4410)
    int volume = 0;         // dB, -70..0
    int pan = 0;            // -40..40 (wider stored values are clamped)
    QString fileName;       // empty for an empty track
    QString path;           // empty for an empty track
    float length44k = 0.0f; // written for information; the reload recomputes it
    int loop = 1;           // 0 or 1
    int hold = 1;           // 0 or 1
    QString ratio;          // a ratio box text, "基準" or empty
};

inline constexpr int kSettingLinesPerTrack = 9;

// The 72 lines of eight blocks, UTF-8, CR LF. Numbers as " 4410 " / "-12 ": a space or the
// minus sign before, one space after. A text holding a CR or LF is written as an empty line.
QByteArray EncodeSettingFile(const std::array<TrackSetting, 8>& tracks);

// The blocks of a setting file up to its end or its first fault. Each line is one value,
// trimmed; a line that is not UTF-8 is read as Shift_JIS (files from older versions). A file
// that ends after a whole block is fine; one that ends inside a block, holds a number that is
// missing, not a 16-bit integer, or outside its control's range (speed, volume, the boxes), or
// a ratio text the box does not have, a length that is no float, a text with a CR inside,
// lines after the eighth block, or holds nothing at all (what a failed write leaves), is
// `ok == false`, `tracks` holding the whole blocks before the fault.
struct DecodedSettingFile {
    std::vector<TrackSetting> tracks;
    bool ok = true;
};
DecodedSettingFile DecodeSettingFile(const QByteArray& bytes);

// Writes `bytes` to a temporary file beside `path` and renames it over `path` only once all of
// it is on disk (a short write, a full disk, a size that does not match), so a failure never
// leaves a half-written or empty file and keeps the old one, with its permissions; a link is
// followed. The temporary file is ".<name>.marrowtune-save-" and six letters or digits; those
// of `path` that a killed save left behind, untouched for an hour, are removed first, and no
// other file. False with a reason.
bool WriteFileWhole(const QString& path, const QByteArray& bytes, QString* error);

// Several files (path, bytes) saved as one, each as WriteFileWhole writes it: every temporary
// file is written in full before the first rename, then they are renamed in the order given.
// A failure before the renames leaves every file as it was and no temporary file behind; a
// rename that fails leaves the files before it new and those after it old.
bool WriteFilesWhole(const std::vector<std::pair<QString, QByteArray>>& files, QString* error);

// One file of a save through a QFile the caller made: `file` names and opens the temporary
// file; `path` is the file to replace, not a link.
struct FileWrite {
    QFile* file;
    QString path;
    QByteArray bytes;
};

// The writes and renames of WriteFilesWhole through the callers' files (a test's file that
// fails on purpose).
bool CommitFilesWhole(const std::vector<FileWrite>& writes, QString* error);
// CommitFilesWhole of one file.
bool CommitWhole(QFile& file, const QString& path, const QByteArray& bytes, QString* error);

} // namespace mt
