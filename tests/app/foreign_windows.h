#pragma once
// Another program's windows on the test's X display, as the window manager
// lists them, and a mouse click, a key or a close request sent into one of
// them: how a test reaches the windows of a program it started, which it
// cannot drive from inside.

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>
#include <xcb/xcb.h>

class ForeignWindows {
public:
    struct Window {
        xcb_window_t id = 0;
        std::string title;
        int width = 0, height = 0;
    };

    // Connects to the display that DISPLAY names.
    ForeignWindows() : c_(xcb_connect(nullptr, nullptr)) {}
    ~ForeignWindows() { xcb_disconnect(c_); }
    ForeignWindows(const ForeignWindows&) = delete;
    ForeignWindows& operator=(const ForeignWindows&) = delete;

    bool Connected() const { return xcb_connection_has_error(c_) == 0; }

    // The windows of process `pid` that the window manager manages (mapped
    // top-level windows), in the order it lists them.
    std::vector<Window> Of(std::int64_t pid) {
        std::vector<Window> found;
        if (!Connected()) return found;
        const xcb_window_t root = xcb_setup_roots_iterator(xcb_get_setup(c_)).data->root;
        for (std::uint32_t id : Values(root, Atom("_NET_CLIENT_LIST"), XCB_ATOM_WINDOW)) {
            const std::vector<std::uint32_t> owner =
                Values(id, Atom("_NET_WM_PID"), XCB_ATOM_CARDINAL);
            if (owner.empty() || owner[0] != std::uint64_t(pid)) continue;
            Window w{id, Bytes(id, Atom("_NET_WM_NAME"), Atom("UTF8_STRING"))};
            if (auto* g = xcb_get_geometry_reply(c_, xcb_get_geometry(c_, id), nullptr)) {
                w.width = g->width;
                w.height = g->height;
                std::free(g);
            }
            found.push_back(w);
        }
        return found;
    }

    // Presses and releases the left mouse button at (x, y) of the window, as
    // events sent to the program that made the window.
    void Click(xcb_window_t window, int x, int y) {
        const xcb_window_t root = xcb_setup_roots_iterator(xcb_get_setup(c_)).data->root;
        int rootX = x, rootY = y;
        if (auto* t = xcb_translate_coordinates_reply(
                c_, xcb_translate_coordinates(c_, window, root, std::int16_t(x), std::int16_t(y)),
                nullptr)) {
            rootX = t->dst_x;
            rootY = t->dst_y;
            std::free(t);
        }
        for (bool press : {true, false}) {
            xcb_button_press_event_t e{};
            e.response_type = press ? XCB_BUTTON_PRESS : XCB_BUTTON_RELEASE;
            e.detail = 1;
            e.time = XCB_CURRENT_TIME;
            e.root = root;
            e.event = window;
            e.root_x = std::int16_t(rootX);
            e.root_y = std::int16_t(rootY);
            e.event_x = std::int16_t(x);
            e.event_y = std::int16_t(y);
            e.state = press ? 0 : XCB_BUTTON_MASK_1;
            e.same_screen = 1;
            // No event mask: the event goes to the client that made the window.
            xcb_send_event(c_, 0, window, 0, reinterpret_cast<const char*>(&e));
        }
        xcb_flush(c_);
    }

    // Presses and releases the key of `keysym` (X keysyms: 'r', 0xff1b
    // Escape) with the modifiers of `state` (XCB_MOD_MASK_1 for Alt) held,
    // as events sent to the program that made the window.
    void Key(xcb_window_t window, std::uint32_t keysym, std::uint16_t state = 0) {
        const xcb_keycode_t code = KeyCode(keysym);
        if (code == 0) return;
        const xcb_window_t root = xcb_setup_roots_iterator(xcb_get_setup(c_)).data->root;
        for (bool press : {true, false}) {
            xcb_key_press_event_t e{};
            e.response_type = press ? XCB_KEY_PRESS : XCB_KEY_RELEASE;
            e.detail = code;
            e.time = XCB_CURRENT_TIME;
            e.root = root;
            e.event = window;
            e.state = state;
            e.same_screen = 1;
            xcb_send_event(c_, 0, window, 0, reinterpret_cast<const char*>(&e));
        }
        xcb_flush(c_);
    }

    // Asks the window manager to give the window the focus, as a pager does.
    void Activate(xcb_window_t window) {
        const xcb_window_t root = xcb_setup_roots_iterator(xcb_get_setup(c_)).data->root;
        Send(root, window, Atom("_NET_ACTIVE_WINDOW"), {2, XCB_CURRENT_TIME, 0},
             XCB_EVENT_MASK_SUBSTRUCTURE_REDIRECT | XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY);
    }

    // Asks the window to close, as its frame's close button does.
    void Close(xcb_window_t window) {
        Send(window, window, Atom("WM_PROTOCOLS"), {Atom("WM_DELETE_WINDOW"), XCB_CURRENT_TIME}, 0);
    }

    // The windows a WINDOW property of `window` (of the root window for 0)
    // names, as the X server holds them now.
    std::vector<std::uint32_t> WindowsIn(const char* property, xcb_window_t window = 0) {
        if (!Connected()) return {};
        if (window == 0) window = xcb_setup_roots_iterator(xcb_get_setup(c_)).data->root;
        return Values(window, Atom(property), XCB_ATOM_WINDOW);
    }

private:
    xcb_atom_t Atom(const char* name) {
        xcb_atom_t atom = XCB_ATOM_NONE;
        if (auto* r = xcb_intern_atom_reply(
                c_, xcb_intern_atom(c_, 0, std::uint16_t(std::string(name).size()), name),
                nullptr)) {
            atom = r->atom;
            std::free(r);
        }
        return atom;
    }

    void Send(xcb_window_t to, xcb_window_t about, xcb_atom_t type,
              const std::vector<std::uint32_t>& data, std::uint32_t mask) {
        xcb_client_message_event_t e{};
        e.response_type = XCB_CLIENT_MESSAGE;
        e.format = 32;
        e.window = about;
        e.type = type;
        for (std::size_t k = 0; k < data.size() && k < 5; ++k)
            e.data.data32[k] = data[k];
        xcb_send_event(c_, 0, to, mask, reinterpret_cast<const char*>(&e));
        xcb_flush(c_);
    }

    // The first key that gives `keysym` unshifted or shifted; 0 for none.
    xcb_keycode_t KeyCode(std::uint32_t keysym) {
        const xcb_setup_t* setup = xcb_get_setup(c_);
        const int first = setup->min_keycode, count = setup->max_keycode - first + 1;
        xcb_keycode_t code = 0;
        if (auto* r = xcb_get_keyboard_mapping_reply(
                c_, xcb_get_keyboard_mapping(c_, xcb_keycode_t(first), std::uint8_t(count)),
                nullptr)) {
            const xcb_keysym_t* syms = xcb_get_keyboard_mapping_keysyms(r);
            const int per = r->keysyms_per_keycode;
            for (int k = 0; k < count && code == 0; ++k)
                for (int level = 0; level < std::min(per, 2) && code == 0; ++level)
                    if (syms[k * per + level] == keysym) code = xcb_keycode_t(first + k);
            std::free(r);
        }
        return code;
    }

    // A property's bytes, at most 64 KiB.
    std::string Bytes(xcb_window_t window, xcb_atom_t property, xcb_atom_t type) {
        std::string bytes;
        if (auto* r = xcb_get_property_reply(
                c_, xcb_get_property(c_, 0, window, property, type, 0, 16384), nullptr)) {
            bytes.assign(static_cast<const char*>(xcb_get_property_value(r)),
                         std::size_t(xcb_get_property_value_length(r)));
            std::free(r);
        }
        return bytes;
    }

    std::vector<std::uint32_t> Values(xcb_window_t window, xcb_atom_t property, xcb_atom_t type) {
        const std::string bytes = Bytes(window, property, type);
        std::vector<std::uint32_t> values(bytes.size() / 4);
        if (!values.empty()) std::memcpy(values.data(), bytes.data(), 4 * values.size());
        return values;
    }

    xcb_connection_t* c_;
};
