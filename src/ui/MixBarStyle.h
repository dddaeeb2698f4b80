#pragma once

class QStyle;

namespace mt {

// The style of the tracks' volume, pan and speed bars: the program's Fusion look, but with a
// dark handle on the light groove. Fusion draws both from the button colour, a pale handle on
// a page only a shade darker, so at the layouts' sizes a glance (or a screenshot) cannot tell
// 0 dB from -70 dB. One instance for the process, owned by the application; UI thread only.
QStyle* MixBarStyle();

} // namespace mt
