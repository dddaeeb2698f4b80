#include "ui/X11Keyboard.h"

#include <QGuiApplication>

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

} // namespace

bool X11Keyboard::enableDetectableAutoRepeat() {
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

bool X11Keyboard::isKeyDown(std::uint32_t keycode) {
    xcb_connection_t* c = Connection();
    if (c == nullptr || keycode > 255) {
        return false;
    }
    const Reply<xcb_query_keymap_reply_t> keymap(
        xcb_query_keymap_reply(c, xcb_query_keymap(c), nullptr));
    return keymap && ((keymap->keys[keycode / 8] >> (keycode % 8)) & 1) != 0;
}

#else

bool X11Keyboard::enableDetectableAutoRepeat() {
    return false;
}

bool X11Keyboard::isKeyDown(std::uint32_t /*keycode*/) {
    return false;
}

#endif

} // namespace mt
