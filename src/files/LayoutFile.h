#pragma once

#include <QByteArray>
#include <QString>

#include <vector>

namespace mt {

// One control of a layout file (normal.dat, small.dat): position and size in twips relative
// to the control's container, font size in points.
struct LayoutRecord {
    int top = 0;
    int left = 0;
    int height = 0;
    int width = 0;
    float fontSize = 0.0f;
};

// Which control each of a layout file's records moves, in file order, and which of its
// numbers the loader leaves alone: the height of list controls is their own, scroll bars and
// up-down controls have no font.
struct LayoutRecordSpec {
    QString name; // objectName, "FraChannel(3)"
    bool noHeight = false;
    bool noFont = false;
};
const std::vector<LayoutRecordSpec>& LayoutRecordOrder(); // 216 records

// The three window dimensions at a layout file's end, in screen pixels.
struct LayoutDimensions {
    int mediaPanelClosedHeight = 0;
    int mediaPanelOpenHeight = 0;
    int mainWindowWidth = 0;
};

// A layout file read up to its end or its first fault (a short file, a record with letters or
// too few numbers, or with a value beyond what a screen can show: a position or size outside
// 0..61440 twips, a font outside 4..72 points where the control has one): the good records in
// order, and the dimensions when all of the file was good and each lies within 100..4096
// pixels. The controls of the records not read keep the built-in layout.
struct DecodedLayout {
    std::vector<LayoutRecord> records;
    bool hasDimensions = false;
    LayoutDimensions dimensions;
};
DecodedLayout DecodeLayoutFile(const QByteArray& bytes);

// 216 records "top,left,height,width,font" and the three dimensions, CR LF.
QByteArray EncodeLayoutFile(const std::vector<LayoutRecord>& records,
                            const LayoutDimensions& dimensions);

// "normal.dat" for flag 0, "small.dat" for any other flag.
QString layoutFileName(int flag);

} // namespace mt
