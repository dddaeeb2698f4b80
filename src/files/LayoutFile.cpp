#include "files/LayoutFile.h"

#include <QList>

#include <cmath>
#include <optional>

namespace mt {
namespace {

std::vector<LayoutRecordSpec> BuildOrder() {
    std::vector<LayoutRecordSpec> order;
    auto add = [&order](const QString& name, bool noHeight = false, bool noFont = false) {
        order.push_back({name, noHeight, noFont});
    };
    add("Dir2");
    add("File2");
    add("Drive1", true);
    for (const char* name :
         {"LabelLocked", "lblOrAliveOokamis", "Comgo", "lblWavInfo", "lblPreviewFileSize"}) {
        add(QLatin1String(name));
    }
    for (int i = 0; i < 8; ++i) {
        const QString suffix = QStringLiteral("(%1)").arg(i);
        for (const char* name :
             {"FraChannel", "Label4",       "ComChange", "ComClear", "lblWavTitle", "HSFre",
              "HSPan",      "HSVol",        "lblSample", "Combo",    "ComStart",    "Label1",
              "Label2",     "lblFrequency", "ComFreRes", "Check",    "lblVolume",   "lblPan",
              "ComPanRes",  "CheckDuuk",    "CheckLoop"}) {
            const QLatin1String n(name);
            add(n + suffix, n == QLatin1String("Combo"),
                n == QLatin1String("HSFre") || n == QLatin1String("HSPan") ||
                    n == QLatin1String("HSVol"));
        }
    }
    for (const char* name :
         {"FrameCD", "lblAllTrack", "lbltrack", "lblCdBpm", "lblCDMarka", "lblCDMarkb", "lblCDSec",
          "lblCDTime", "Label20", "ChkCDAbloop", "ChkCDkijun", "Label18", "ComCD_FF", "ComCD_RE",
          "ComCDNext", "ComCDPause", "ComCDPrev", "ComCDStart", "ComCDStop"}) {
        add(QLatin1String(name));
    }
    add("SpinButtonCD", false, true);
    for (const char* name :
         {"ComGoCDCount", "FrameMIDI", "lblMIDISec", "lblMIDITempo", "lblMIDITime", "lblmiditest",
          "lblMIDITitle", "Label19", "ChkMIDIkijun", "ChkMIDILoop", "ComMIDIFF"}) {
        add(QLatin1String(name));
    }
    add("ComboMIDISys", true);
    for (const char* name :
         {"ComMIDIOpen", "ComMIDIPause", "ComMIDIRe", "ComMIDIStart", "ComMIDIStop"}) {
        add(QLatin1String(name));
    }
    add("SpinButtonMIDI", false, true);
    add("ComEdit");
    add("ComVol_Show");
    return order;
}

std::optional<int> WholeNumber(const QByteArray& text) {
    bool ok = false;
    const int value = text.trimmed().toInt(&ok);
    return ok ? std::optional<int>(value) : std::nullopt;
}

// What a layout file may set, about what a screen can show: the built-in layouts stay well
// inside (their window is 755 pixels wide at 96 dpi, their fonts 9 to 12 points).
constexpr int kLargestTwips = 4096 * 15; // 4096 pixels at 96 dpi
constexpr int kSmallestWindowPixels = 100;
constexpr int kLargestWindowPixels = 4096;
constexpr float kSmallestFont = 4.0f;
constexpr float kLargestFont = 72.0f;

bool InRange(const LayoutRecord& r, bool hasFont) {
    const auto twips = [](int value) { return value >= 0 && value <= kLargestTwips; };
    return twips(r.top) && twips(r.left) && twips(r.height) && twips(r.width) &&
           (!hasFont || (r.fontSize >= kSmallestFont && r.fontSize <= kLargestFont));
}

std::optional<LayoutRecord> ParseRecord(const QByteArray& line) {
    const QList<QByteArray> parts = line.split(',');
    if (parts.size() != 5) {
        return std::nullopt;
    }
    std::optional<int> numbers[4];
    for (int i = 0; i < 4; ++i) {
        numbers[i] = WholeNumber(parts[i]);
        if (!numbers[i]) {
            return std::nullopt;
        }
    }
    bool ok = false;
    const float font = parts[4].trimmed().toFloat(&ok);
    if (!ok || !std::isfinite(font)) {
        return std::nullopt;
    }
    return LayoutRecord{*numbers[0], *numbers[1], *numbers[2], *numbers[3], font};
}

} // namespace

const std::vector<LayoutRecordSpec>& LayoutRecordOrder() {
    static const std::vector<LayoutRecordSpec> order = BuildOrder();
    return order;
}

DecodedLayout DecodeLayoutFile(const QByteArray& bytes) {
    QList<QByteArray> lines = bytes.split('\n');
    for (QByteArray& line : lines) {
        if (line.endsWith('\r')) {
            line.chop(1);
        }
    }
    DecodedLayout layout;
    const std::size_t count = LayoutRecordOrder().size();
    for (std::size_t i = 0; i < count; ++i) {
        if (static_cast<qsizetype>(i) >= lines.size()) {
            return layout;
        }
        const std::optional<LayoutRecord> record = ParseRecord(lines[static_cast<qsizetype>(i)]);
        if (!record || !InRange(*record, !LayoutRecordOrder()[i].noFont)) {
            return layout;
        }
        layout.records.push_back(*record);
    }
    std::optional<int> dims[3];
    for (int d = 0; d < 3; ++d) {
        const qsizetype at = static_cast<qsizetype>(count) + d;
        dims[d] = at < lines.size() ? WholeNumber(lines[at]) : std::nullopt;
        if (!dims[d] || *dims[d] < kSmallestWindowPixels || *dims[d] > kLargestWindowPixels) {
            return layout;
        }
    }
    layout.hasDimensions = true;
    layout.dimensions = {*dims[0], *dims[1], *dims[2]};
    return layout;
}

QByteArray EncodeLayoutFile(const std::vector<LayoutRecord>& records,
                            const LayoutDimensions& dimensions) {
    QByteArray out;
    for (const LayoutRecord& r : records) {
        out += QByteArray::number(r.top) + ',' + QByteArray::number(r.left) + ',' +
               QByteArray::number(r.height) + ',' + QByteArray::number(r.width) + ',' +
               QByteArray::number(static_cast<double>(r.fontSize), 'g', 6) + "\r\n";
    }
    for (int d : {dimensions.mediaPanelClosedHeight, dimensions.mediaPanelOpenHeight,
                  dimensions.mainWindowWidth}) {
        out += QByteArray::number(d) + "\r\n";
    }
    return out;
}

QString layoutFileName(int flag) {
    return flag == 0 ? QStringLiteral("normal.dat") : QStringLiteral("small.dat");
}

} // namespace mt
