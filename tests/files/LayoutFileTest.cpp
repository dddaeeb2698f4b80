#include "files/ModuleZoomInOut.h"

#include <gtest/gtest.h>

#include <limits>

namespace mt {
namespace {

// A whole layout of ordinary values, as the built-in ones are.
std::vector<LayoutRecord> OrdinaryRecords() {
    std::vector<LayoutRecord> records;
    for (const LayoutRecordSpec& entry : LayoutRecordOrder()) {
        records.push_back({120, 90, 300, 1050, entry.noFont ? 0.0f : 9.0f});
    }
    return records;
}
const LayoutDimensions kOrdinary{540, 640, 755};

TEST(LayoutFile, ValuesNoScreenCanShowEndTheReadThere) {
    ASSERT_EQ(DecodeLayoutFile(EncodeLayoutFile(OrdinaryRecords(), kOrdinary)).records.size(),
              216u);
    const int huge = std::numeric_limits<int>::max();
    const LayoutRecord bad[] = {
        {120, 90, 300, -1, 9.0f},     {120, 90, -300, 1050, 9.0f}, {-5, 90, 300, 1050, 9.0f},
        {120, huge, 300, 1050, 9.0f}, {120, 90, huge, huge, 9.0f}, {120, 90, 300, 1050, 100000.0f},
        {120, 90, 300, 1050, 3.5f},   {120, 90, 300, 1050, 0.0f},
    };
    for (const LayoutRecord& r : bad) {
        std::vector<LayoutRecord> records = OrdinaryRecords();
        records[4] = r; // "lblOrAliveOokamis", a label with a font
        const DecodedLayout layout = DecodeLayoutFile(EncodeLayoutFile(records, kOrdinary));
        EXPECT_EQ(layout.records.size(), 4u)
            << r.top << "," << r.left << "," << r.height << "," << r.width << "," << r.fontSize;
        EXPECT_FALSE(layout.hasDimensions);
    }
    // A zero width is fine for a control, and a control without a font ignores the number.
    std::vector<LayoutRecord> records = OrdinaryRecords();
    records[4].width = 0;
    records[4].fontSize = 72.0f;
    records[3].fontSize = 4.0f;
    EXPECT_EQ(DecodeLayoutFile(EncodeLayoutFile(records, kOrdinary)).records.size(), 216u);
}

TEST(LayoutFile, WindowSizesNoScreenCanShowKeepTheWindowAsItIs) {
    for (const LayoutDimensions& dims :
         {LayoutDimensions{0, 640, 755}, LayoutDimensions{540, -640, 755},
          LayoutDimensions{540, 640, std::numeric_limits<int>::max()},
          LayoutDimensions{540, 640, 99}, LayoutDimensions{4097, 640, 755}}) {
        const DecodedLayout layout = DecodeLayoutFile(EncodeLayoutFile(OrdinaryRecords(), dims));
        EXPECT_EQ(layout.records.size(), 216u);
        EXPECT_FALSE(layout.hasDimensions)
            << dims.mediaPanelClosedHeight << " " << dims.mediaPanelOpenHeight << " "
            << dims.mainWindowWidth;
    }
    const DecodedLayout edge =
        DecodeLayoutFile(EncodeLayoutFile(OrdinaryRecords(), LayoutDimensions{100, 4096, 755}));
    EXPECT_TRUE(edge.hasDimensions);
}

} // namespace
} // namespace mt
