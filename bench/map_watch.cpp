// An X client for the start-up script: one connection that waits for top-level windows to be
// mapped, so that timing a start does not open connections of its own while the program opens
// its. (Polling with a new client every few milliseconds made Xvfb drop about one connection in
// a hundred, the program's among them.)
//
//   map_watch PREFIX
//
// Stdout, one line each: "ready" once it listens; then "mapped <seconds>" on CLOCK_MONOTONIC
// (Python's time.monotonic()) for each top-level window mapped whose name starts with PREFIX.
#include <xcb/xcb.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <memory>
#include <string>

namespace {

double Now() {
    timespec t{};
    clock_gettime(CLOCK_MONOTONIC, &t);
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) * 1e-9;
}

xcb_atom_t Atom(xcb_connection_t* c, const char* name) {
    const std::unique_ptr<xcb_intern_atom_reply_t, decltype(&std::free)> reply(
        xcb_intern_atom_reply(c, xcb_intern_atom(c, 0, std::strlen(name), name), nullptr),
        &std::free);
    return reply ? reply->atom : static_cast<xcb_atom_t>(XCB_ATOM_NONE);
}

// The window's name as `property` holds it (Qt sets both the UTF-8 and the legacy one).
std::string Name(xcb_connection_t* c, xcb_window_t window, xcb_atom_t property) {
    const std::unique_ptr<xcb_get_property_reply_t, decltype(&std::free)> reply(
        xcb_get_property_reply(
            c, xcb_get_property(c, 0, window, property, XCB_GET_PROPERTY_TYPE_ANY, 0, 256),
            nullptr),
        &std::free);
    if (!reply) {
        return {};
    }
    return {static_cast<const char*>(xcb_get_property_value(reply.get())),
            static_cast<std::size_t>(xcb_get_property_value_length(reply.get()))};
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: map_watch PREFIX\n");
        return 2;
    }
    const std::string prefix = argv[1];
    xcb_connection_t* c = xcb_connect(nullptr, nullptr);
    if (xcb_connection_has_error(c) != 0) {
        std::fprintf(stderr, "map_watch: no X server\n");
        return 1;
    }
    const xcb_window_t root = xcb_setup_roots_iterator(xcb_get_setup(c)).data->root;
    const xcb_atom_t netName = Atom(c, "_NET_WM_NAME");
    const std::uint32_t mask = XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY;
    xcb_change_window_attributes(c, root, XCB_CW_EVENT_MASK, &mask);
    xcb_flush(c);
    std::printf("ready\n");
    std::fflush(stdout);
    while (xcb_generic_event_t* event = xcb_wait_for_event(c)) {
        if ((event->response_type & 0x7f) == XCB_MAP_NOTIFY) {
            const double at = Now();
            const auto* map = reinterpret_cast<xcb_map_notify_event_t*>(event);
            const std::string name = Name(c, map->window, netName);
            if ((name.empty() ? Name(c, map->window, XCB_ATOM_WM_NAME) : name)
                    .starts_with(prefix)) {
                std::printf("mapped %.6f\n", at);
                std::fflush(stdout);
            }
        }
        std::free(event);
    }
    return 0;
}
