#include "window/taskbar.h"

#include <QGuiApplication>
#include <QWidget>
#include <dlfcn.h>
#include <memory>
#include <optional>
#include <utility>
#include <xcb/xcb.h>

namespace {

// The four calls come from the libxcb that Qt's X11 plugin has loaded, not from a link: linked,
// libxcb stood ahead of the C and C++ libraries in the dynamic linker's search order, and every
// start, on Wayland too, paid about a million instructions more for looking up symbols.
struct Xcb {
    decltype(&xcb_intern_atom) internAtom;
    decltype(&xcb_intern_atom_reply) internAtomReply;
    decltype(&xcb_change_property) changeProperty;
    decltype(&xcb_flush) flush;

    static std::optional<Xcb> loaded()
    {
        void* library = ::dlopen("libxcb.so.1", RTLD_LAZY | RTLD_NOLOAD);
        if (!library)
            return std::nullopt;
        const auto resolve = [library]<typename Function>(Function& function, const char* name) {
            function = reinterpret_cast<Function>(::dlsym(library, name));
            return function != nullptr;
        };
        Xcb xcb{};
        const bool complete = resolve(xcb.internAtom, "xcb_intern_atom")
            && resolve(xcb.internAtomReply, "xcb_intern_atom_reply")
            && resolve(xcb.changeProperty, "xcb_change_property")
            && resolve(xcb.flush, "xcb_flush");
        // The plugin keeps the library loaded; this only drops the count the lookup added.
        ::dlclose(library);
        return complete ? std::optional(xcb) : std::nullopt;
    }

    // Both names go to the server before either answer is awaited: one round trip, not two.
    std::pair<xcb_atom_t, xcb_atom_t> atoms(
        xcb_connection_t* connection, const char* first, const char* second) const
    {
        const xcb_intern_atom_cookie_t cookies[]
            = {internAtom(connection, false, qstrlen(first), first),
                internAtom(connection, false, qstrlen(second), second)};
        xcb_atom_t atoms[2];
        for (int i = 0; i < 2; ++i) {
            const std::unique_ptr<xcb_intern_atom_reply_t, decltype(&free)> reply(
                internAtomReply(connection, cookies[i], nullptr), &free);
            atoms[i] = reply ? reply->atom : xcb_atom_t(XCB_ATOM_NONE);
        }
        return {atoms[0], atoms[1]};
    }
};

} // namespace

void keepOutOfTaskBar(QWidget* window)
{
    const auto* x11 = qGuiApp->nativeInterface<QNativeInterface::QX11Application>();
    xcb_connection_t* connection = x11 ? x11->connection() : nullptr;
    if (!connection)
        return;
    const std::optional<Xcb> xcb = Xcb::loaded();
    if (!xcb)
        return;
    const auto [state, skipTaskBar]
        = xcb->atoms(connection, "_NET_WM_STATE", "_NET_WM_STATE_SKIP_TASKBAR");
    if (state == XCB_ATOM_NONE || skipTaskBar == XCB_ATOM_NONE)
        return;
    // Qt keeps the states it finds on the window when it maps it.
    xcb->changeProperty(connection, XCB_PROP_MODE_APPEND,
        static_cast<xcb_window_t>(window->winId()), state, XCB_ATOM_ATOM, 32, 1, &skipTaskBar);
    xcb->flush(connection);
}
