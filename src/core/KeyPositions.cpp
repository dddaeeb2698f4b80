#include "core/KeyPositions.h"

#include "platform/SettingsStore.h"

#include <QStringList>

#include <algorithm>
#include <cstdio>
#include <numeric>

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

int KeyPositions::actionOf(std::uint32_t keycode) const {
    for (int a = 0; a < kActionCount; ++a) {
        if (std::ranges::find(m_keys[a], keycode) != m_keys[a].end()) {
            return a;
        }
    }
    return -1;
}

bool KeyPositions::canAssign(int action, std::uint32_t keycode) const {
    return action == kPanic || m_keys[kPanic] != std::vector<std::uint32_t>{keycode};
}

bool KeyPositions::assign(int action, std::uint32_t keycode) {
    if (!canAssign(action, keycode)) {
        return false;
    }
    for (auto& keys : m_keys) {
        std::erase(keys, keycode);
    }
    m_keys[action] = {keycode};
    return true;
}

void KeyPositions::load(const SettingsStore& store, const QString& app) {
    std::array<std::vector<std::uint32_t>, kActionCount> given;
    for (int a = 0; a < kActionCount; ++a) {
        const QString text = store.value(app, kSection, SettingKey(a)).value_or(QString());
        for (const QString& part : text.split(QLatin1Char(' '), Qt::SkipEmptyParts)) {
            bool ok = false;
            const uint code = part.toUInt(&ok);
            if (ok && code > 8 && code < 256) { // X11 keycodes
                given[a].push_back(code);
            }
        }
    }
    if (given[kPanic].empty()) {
        given[kPanic] = defaultKeys(kPanic); // ahead of any other entry's claim
    }
    // Panic first, so that its keys stay its own; then the entries in action order, and
    // last the defaults of the actions left with nothing.
    std::array<int, kActionCount> order{};
    order[0] = kPanic;
    std::iota(order.begin() + 1, order.end(), 0);
    std::array<int, 256> owner; // by keycode, the action that has it or -1
    owner.fill(-1);
    for (const int a : order) {
        m_keys[a].clear();
        for (const std::uint32_t code : given[a]) {
            if (owner[code] < 0) {
                owner[code] = a;
                m_keys[a].push_back(code);
            } else if (owner[code] != a) {
                std::fprintf(stderr, "marrowtune: %s: keycode %u already performs %s; ignored\n",
                             qPrintable(SettingKey(a)), code, actions()[owner[code]].name);
            }
        }
    }
    for (const int a : order) {
        if (!m_keys[a].empty()) {
            continue;
        }
        for (const std::uint32_t code : defaultKeys(a)) {
            if (owner[code] < 0) {
                owner[code] = a;
                m_keys[a].push_back(code);
            }
        }
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
