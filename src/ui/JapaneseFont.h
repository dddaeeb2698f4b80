#pragma once

class QApplication;

namespace mt {

// Makes a font with Japanese glyphs the application's font, so captions never fall back to
// empty boxes. Leaves the font alone when the machine has none.
void UseJapaneseFont(QApplication& app);

} // namespace mt
