// libFuzzer target for the layout-file loader: any bytes give records and window sizes that
// a screen can show (or none), and what was read is written and read back the same.
#include "files/LayoutFile.h"

#include <cmath>
#include <cstddef>
#include <cstdint>

namespace {

void Require(bool condition) {
    if (!condition) {
        __builtin_trap();
    }
}

bool Twips(int value) {
    return value >= 0 && value <= 4096 * 15;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const QByteArray bytes(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    const mt::DecodedLayout layout = mt::DecodeLayoutFile(bytes);
    const std::vector<mt::LayoutRecordSpec>& order = mt::LayoutRecordOrder();
    Require(layout.records.size() <= order.size());
    for (std::size_t i = 0; i < layout.records.size(); ++i) {
        const mt::LayoutRecord& r = layout.records[i];
        Require(Twips(r.top) && Twips(r.left) && Twips(r.height) && Twips(r.width));
        Require(std::isfinite(r.fontSize));
        Require(order[i].noFont || (r.fontSize >= 4.0f && r.fontSize <= 72.0f));
    }
    if (!layout.hasDimensions) {
        return 0;
    }
    Require(layout.records.size() == order.size());
    const mt::LayoutDimensions& d = layout.dimensions;
    for (int pixels : {d.mediaPanelClosedHeight, d.mediaPanelOpenHeight, d.mainWindowWidth}) {
        Require(pixels >= 100 && pixels <= 4096);
    }
    const mt::DecodedLayout back = mt::DecodeLayoutFile(mt::EncodeLayoutFile(layout.records, d));
    Require(back.hasDimensions && back.records.size() == layout.records.size());
    for (std::size_t i = 0; i < back.records.size(); ++i) {
        const mt::LayoutRecord& a = layout.records[i];
        const mt::LayoutRecord& b = back.records[i];
        Require(a.top == b.top && a.left == b.left && a.height == b.height && a.width == b.width);
        Require(std::fabs(a.fontSize - b.fontSize) <= std::fabs(a.fontSize) * 1e-5f);
    }
    return 0;
}
