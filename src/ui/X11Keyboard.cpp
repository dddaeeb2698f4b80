#include "ui/X11Keyboard.h"

#include <QGuiApplication>
#include <QKeyEvent>
#include <QWindow> // complete for focusWindowChanged

#if QT_CONFIG(xcb)
#include <xcb/xcb.h>
// xkb.h names a structure member `explicit`, a keyword in C++.
#if defined(__clang__)
#pragma clang diagnostic push
#pragma clang diagnostic ignored "-Wkeyword-macro"
#endif
#define explicit explicit_
#include <xcb/xkb.h>
#undef explicit
#if defined(__clang__)
#pragma clang diagnostic pop
#endif

#include <xkbcommon/xkbcommon.h>

#include <array>
#include <cstdlib>
#include <memory>
#endif

namespace mt {

#if QT_CONFIG(xcb)
namespace {

struct FreeReply {
    void operator()(void* reply) const { std::free(reply); }
};
template <typename T> using Reply = std::unique_ptr<T, FreeReply>;

xcb_connection_t* Connection() {
    if (QGuiApplication::platformName() != QLatin1String("xcb")) {
        return nullptr;
    }
    auto* x11 = qGuiApp->nativeInterface<QNativeInterface::QX11Application>();
    return x11 != nullptr ? x11->connection() : nullptr;
}

bool EnableDetectableAutoRepeat() {
    xcb_connection_t* c = Connection();
    if (c == nullptr) {
        return false;
    }
    const Reply<xcb_xkb_use_extension_reply_t> use(xcb_xkb_use_extension_reply(
        c, xcb_xkb_use_extension(c, XCB_XKB_MAJOR_VERSION, XCB_XKB_MINOR_VERSION), nullptr));
    if (!use || use->supported == 0) {
        return false;
    }
    constexpr std::uint32_t kDetectable = XCB_XKB_PER_CLIENT_FLAG_DETECTABLE_AUTO_REPEAT;
    const Reply<xcb_xkb_per_client_flags_reply_t> flags(xcb_xkb_per_client_flags_reply(
        c, xcb_xkb_per_client_flags(c, XCB_XKB_ID_USE_CORE_KBD, kDetectable, kDetectable, 0, 0, 0),
        nullptr));
    return flags && (flags->value & kDetectable) != 0;
}

} // namespace

bool X11Keyboard::isKeyDown(std::uint32_t keycode) {
    xcb_connection_t* c = Connection();
    if (c == nullptr || keycode > 255) {
        return false;
    }
    const Reply<xcb_query_keymap_reply_t> keymap(
        xcb_query_keymap_reply(c, xcb_query_keymap(c), nullptr));
    return keymap && ((keymap->keys[keycode / 8] >> (keycode % 8)) & 1) != 0;
}

QString X11Keyboard::keyName(std::uint32_t keycode) {
    xcb_connection_t* c = Connection();
    const xcb_setup_t* setup = c != nullptr ? xcb_get_setup(c) : nullptr;
    if (setup == nullptr || keycode < setup->min_keycode || keycode > setup->max_keycode) {
        return {};
    }
    const auto code = static_cast<xcb_keycode_t>(keycode);
    const Reply<xcb_get_keyboard_mapping_reply_t> mapping(
        xcb_get_keyboard_mapping_reply(c, xcb_get_keyboard_mapping(c, code, 1), nullptr));
    if (!mapping || xcb_get_keyboard_mapping_keysyms_length(mapping.get()) < 1) {
        return {};
    }
    // The first group's unshifted symbol, as the key is labelled.
    const xkb_keysym_t symbol =
        xkb_keysym_to_upper(xcb_get_keyboard_mapping_keysyms(mapping.get())[0]);
    if (symbol == XKB_KEY_NoSymbol) {
        return {};
    }
    std::array<char, 64> text{};
    if (xkb_keysym_to_utf8(symbol, text.data(), text.size()) > 0) {
        QString typed = QString::fromUtf8(text.data());
        if (!typed.isEmpty() && !typed.front().isSpace() && typed.front().isPrint()) {
            return typed;
        }
    }
    return xkb_keysym_get_name(symbol, text.data(), text.size()) > 0
               ? QString::fromUtf8(text.data())
               : QString();
}

#else

namespace {

bool EnableDetectableAutoRepeat() {
    return false;
}

} // namespace

bool X11Keyboard::isKeyDown(std::uint32_t /*keycode*/) {
    return false;
}

QString X11Keyboard::keyName(std::uint32_t /*keycode*/) {
    return {};
}

#endif

X11Keyboard::X11Keyboard(QObject* parent)
    : QObject(parent), m_detectable(EnableDetectableAutoRepeat()) {
    if (!m_detectable) {
        return;
    }
    qGuiApp->installEventFilter(this);
    // A key let go while another program had the focus never comes up here.
    connect(qGuiApp, &QGuiApplication::focusWindowChanged, this, [this] { m_keysDown.clear(); });
}

bool X11Keyboard::eventFilter(QObject* watched, QEvent* event) {
    const QEvent::Type type = event->type();
    // Key events reach the window before its widgets; marking them there marks them for all.
    if ((type != QEvent::KeyPress && type != QEvent::KeyRelease) || !watched->isWindowType()) {
        return false;
    }
    const auto* key = static_cast<QKeyEvent*>(event);
    const std::uint32_t code = key->nativeScanCode();
    if (key->isAutoRepeat() || code == 0) {
        return false;
    }
    if (type == QEvent::KeyRelease) {
        m_keysDown.remove(code);
        return false;
    }
    if (!m_keysDown.contains(code)) {
        m_keysDown.insert(code);
        return false;
    }
    QKeyEvent repeat(type, key->key(), key->modifiers(), code, key->nativeVirtualKey(),
                     key->nativeModifiers(), key->text(), true, key->count());
    repeat.setTimestamp(key->timestamp());
    QCoreApplication::sendEvent(watched, &repeat);
    return true;
}

} // namespace mt
