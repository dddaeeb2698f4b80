#include "files/LayoutFile.h"

#include <gtest/gtest.h>

#include <limits>

namespace mt {
namespace {

// A whole layout of ordinary values, as the built-in ones are, with record 4
// ("lblOrAliveOokamis", a label with a font) and the window sizes as given.
DecodedLayout Decoded(LayoutRecord fourth, const LayoutDimensions& dims = {540, 640, 755}) {
    std::vector<LayoutRecord> records;
    for (const LayoutRecordSpec& entry : LayoutRecordOrder()) {
        records.push_back({120, 90, 300, 1050, entry.noFont ? 0.0f : 9.0f});
    }
    records[4] = fourth;
    records[3].fontSize = 4.0f; // the smallest font a control may have
    return DecodeLayoutFile(EncodeLayoutFile(records, dims));
}

TEST(LayoutFile, ValuesNoScreenCanShowEndTheReadOrKeepTheWindowAsItIs) {
    // Sizes are in twips (15 a pixel): 4096 pixels is the largest, a zero width is fine.
    const DecodedLayout fine = Decoded({120, 90, 4096 * 15, 0, 72.0f});
    EXPECT_TRUE(fine.records.size() == 216u && fine.hasDimensions);
    const int huge = std::numeric_limits<int>::max();
    for (const LayoutRecord& r : {LayoutRecord{120, 90, 300, -1, 9.0f},
                                  {120, 90, 300, 4096 * 15 + 1, 9.0f},
                                  {120, 90, -300, 1050, 9.0f},
                                  {-5, 90, 300, 1050, 9.0f},
                                  {120, huge, 300, 1050, 9.0f},
                                  {120, 90, huge, huge, 9.0f},
                                  {120, 90, 300, 1050, 100000.0f},
                                  {120, 90, 300, 1050, 3.5f},
                                  {120, 90, 300, 1050, 0.0f}}) {
        const DecodedLayout layout = Decoded(r);
        EXPECT_TRUE(layout.records.size() == 4u && !layout.hasDimensions)
            << r.width << "x" << r.height;
    }
    const LayoutRecord ordinary{120, 90, 300, 1050, 9.0f};
    for (const LayoutDimensions& dims : {LayoutDimensions{0, 640, 755},
                                         {540, -640, 755},
                                         {540, 640, huge},
                                         {540, 640, 99},
                                         {4097, 640, 755}}) {
        const DecodedLayout layout = Decoded(ordinary, dims);
        EXPECT_TRUE(layout.records.size() == 216u && !layout.hasDimensions) << dims.mainWindowWidth;
    }
    EXPECT_TRUE(Decoded(ordinary, {100, 4096, 755}).hasDimensions);
}

} // namespace
} // namespace mt
