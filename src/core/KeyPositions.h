#pragma once

#include <QString>

#include <array>
#include <cstdint>
#include <vector>

namespace mt {

class SettingsStore;

// The performance keys by where they are on the keyboard, not by the letter they type: each
// action has the physical keys (X11 keycodes, as QKeyEvent::nativeScanCode gives them) that
// perform it, by default those of the US-QWERTY letters the actions are named after, so an
// AZERTY or QWERTZ keyboard plays the same places. A key is read back as the Qt key the
// US-QWERTY layout gives for its action, which is what the key mapping takes. Keys with no
// keycode (synthesized events, platforms without one) and the numeric keypad, which is the
// same everywhere, go by their Qt key. UI thread only.
class KeyPositions {
public:
    struct Action {
        const char* name; // its settings key and the remap window's label
        int usKey;        // the Qt key the action stands for
    };
    // Tracks 1..8, then the special keys, then panic.
    static constexpr int kActionCount = 20;
    static constexpr int kPanic = kActionCount - 1; // never left without a key
    static const std::array<Action, kActionCount>& actions();
    static std::vector<std::uint32_t> defaultKeys(int action);

    KeyPositions();

    // The Qt key the mapping should take for a key event's keycode and Qt key.
    int usKeyFor(std::uint32_t keycode, int qtKey, bool keypad) const;

    const std::vector<std::uint32_t>& keys(int action) const { return m_keys[action]; }
    // The action `keycode` performs, or -1.
    int actionOf(std::uint32_t keycode) const;
    // Whether assign() would take `keycode`: not when it is panic's last key.
    bool canAssign(int action, std::uint32_t keycode) const;
    // `keycode` alone performs `action`; it no longer performs any other. Refused (false,
    // nothing changed) where canAssign() is false.
    bool assign(int action, std::uint32_t keycode);
    void restoreDefaults();

    // In the program's own section, as keycodes separated by spaces ("KeyTrack1=52"). An entry
    // that is missing, empty or holds no X11 keycode takes the action's default keys that no
    // other entry gives. A keycode two entries give stays with the first, panic's before the
    // rest in action order, and the other is named on stderr; panic always keeps a key.
    void load(const SettingsStore& store, const QString& app);
    void save(SettingsStore& store, const QString& app) const;

private:
    std::array<std::vector<std::uint32_t>, kActionCount> m_keys;
};

} // namespace mt
