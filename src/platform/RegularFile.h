#pragma once

class QFile;

namespace mt {

// Opens `file` (its file name set) for reading only when the name leads to a regular file.
// A FIFO, a device or a folder is refused without waiting: the open itself does not block on
// a FIFO that has no writer, and the kind is checked on the opened descriptor, so a name that
// is swapped between a check and the open cannot slip through. False, `file` closed, on
// anything else or when the file cannot be opened. Any thread; never blocks on a FIFO.
bool OpenRegularFileForReading(QFile& file);

} // namespace mt
