#pragma once

class QMenu;

namespace mt {

struct AppContext;

// Adds "言語 / Language" to `settings`: Japanese and English, the chosen one ticked. A choice
// is stored at once and takes effect at the next start, which the performer is told in both
// languages. Its captions stay the same in every language, so anyone can find the way back.
void AddLanguageMenu(QMenu& settings, AppContext& app);

} // namespace mt
