#include "core/KeyPositions.h"

#include "platform/SettingsStore.h"

#include <QStringList>

#include <algorithm>

namespace mt {
namespace {

const QString kSection = QStringLiteral("Marrowtune");

QString SettingKey(int action) {
    return QStringLiteral("Key") + QLatin1String(KeyPositions::actions()[action].name);
}

} // namespace

const std::array<KeyPositions::Action, KeyPositions::kActionCount>& KeyPositions::actions() {
    static const std::array<Action, kActionCount> table{{
        {"Track1", Qt::Key_Z},          {"Track2", Qt::Key_X},         {"Track3", Qt::Key_C},
        {"Track4", Qt::Key_A},          {"Track5", Qt::Key_S},         {"Track6", Qt::Key_D},
        {"Track7", Qt::Key_W},          {"Track8", Qt::Key_E},         {"MuteAll", Qt::Key_M},
        {"MuteSelected", Qt::Key_N},    {"MuteCd", Qt::Key_G},         {"MuteMidi", Qt::Key_K},
        {"PauseCd", Qt::Key_B},         {"LoneWolfMember", Qt::Key_O}, {"LoneWolfMode", Qt::Key_F3},
        {"PanLeft", Qt::Key_F6},        {"PanCentre", Qt::Key_F7},     {"PanRight", Qt::Key_F8},
        {"NextTrack", Qt::Key_Control}, {"Panic", Qt::Key_Escape},
    }};
    return table;
}

std::vector<std::uint32_t> KeyPositions::defaultKeys(int action) {
    // The evdev keycodes of the US-QWERTY keys; both Ctrl keys step to the next track.
    static const std::array<std::vector<std::uint32_t>, kActionCount> keycodes{{
        {52}, {53}, {54}, {38}, {39}, {40}, {25}, {26}, {58},      {57},
        {42}, {45}, {56}, {32}, {69}, {72}, {73}, {74}, {37, 105}, {9},
    }};
    return keycodes[action];
}

KeyPositions::KeyPositions() {
    restoreDefaults();
}

void KeyPositions::restoreDefaults() {
    for (int a = 0; a < kActionCount; ++a) {
        m_keys[a] = defaultKeys(a);
    }
}

int KeyPositions::usKeyFor(std::uint32_t keycode, int qtKey, bool keypad) const {
    if (keypad || keycode == 0) {
        return qtKey;
    }
    for (int a = 0; a < kActionCount; ++a) {
        if (std::ranges::find(m_keys[a], keycode) != m_keys[a].end()) {
            return actions()[a].usKey;
        }
    }
    // Another place: it performs nothing, whatever letter this layout puts there.
    const bool actionKey = std::ranges::any_of(
        actions(), [qtKey](const Action& action) { return action.usKey == qtKey; });
    return actionKey ? static_cast<int>(Qt::Key_unknown) : qtKey;
}

void KeyPositions::assign(int action, std::uint32_t keycode) {
    for (auto& keys : m_keys) {
        std::erase(keys, keycode);
    }
    m_keys[action] = {keycode};
}

void KeyPositions::load(const SettingsStore& store, const QString& app) {
    for (int a = 0; a < kActionCount; ++a) {
        const auto text = store.value(app, kSection, SettingKey(a));
        if (!text) {
            continue;
        }
        std::vector<std::uint32_t> keys;
        for (const QString& part : text->split(QLatin1Char(' '), Qt::SkipEmptyParts)) {
            bool ok = false;
            const uint code = part.toUInt(&ok);
            if (ok && code > 8 && code < 256) { // X11 keycodes
                keys.push_back(code);
            }
        }
        m_keys[a] = keys;
    }
}

void KeyPositions::save(SettingsStore& store, const QString& app) const {
    for (int a = 0; a < kActionCount; ++a) {
        QStringList codes;
        for (const std::uint32_t code : m_keys[a]) {
            codes << QString::number(code);
        }
        store.setValue(app, kSection, SettingKey(a), codes.join(QLatin1Char(' ')));
    }
}

} // namespace mt
