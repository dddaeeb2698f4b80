#pragma once

#include <QString>

#include <optional>

namespace mt {

// A stored boolean: "True" or "False" in any case, or a whole number (non-zero is true);
// nullopt for any other text, which counts as absent.
std::optional<bool> StoredBool(const std::optional<QString>& text);

// A stored whole number within lowest..highest; nullopt for any other text.
std::optional<long long> StoredInt(const std::optional<QString>& text, long long lowest,
                                   long long highest);

// A stored decimal number ("120", "117.647"); nullopt for any other text.
std::optional<double> StoredDouble(const std::optional<QString>& text);

} // namespace mt
