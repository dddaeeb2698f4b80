#pragma once

#include <QString>

#include <cstdint>

class QLabel;

namespace mt {

// The time captions of the CD and MIDI panels from a count of hundredths of a second:
// minutes, seconds and hundredths, each written with at least two digits. Form 0 is
// "m:s:c", 1 is "m:s", 2 is "a:" and form 0, 3 is "b:" and form 0; any other form leaves
// the caption as it is. 5.4 s in form 1 is "00:05", 61 min 2 s is "61:02".
void FormatPanelTime(QLabel& label, std::int32_t hundredths, int form);

// The caption FormatPanelTime writes; a null string for a form it does not know.
QString PanelTimeText(std::int32_t hundredths, int form);

} // namespace mt
