// Starts a program and prints how long it took until it mapped its first window and until it drew
// into a window, in milliseconds, and its peak and its private resident memory by then, in KiB.
// The X server is $DISPLAY; it needs the DAMAGE extension, which reports the drawing.
//   mapwait PROGRAM [ARGUMENTS...]
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <initializer_list>
#include <memory>
#include <string>
#include <string_view>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <xcb/damage.h>
#include <xcb/xcb.h>

namespace {

// The sum of the fields of a /proc file of the process whose lines start with one of names.
long kibibytes(pid_t pid, const char* file, std::initializer_list<std::string_view> names)
{
    std::ifstream status("/proc/" + std::to_string(pid) + '/' + file);
    long sum = 0;
    for (std::string line; std::getline(status, line);) {
        for (const std::string_view name : names) {
            if (line.starts_with(name))
                sum += std::strtol(line.c_str() + name.size(), nullptr, 10);
        }
    }
    return sum;
}

} // namespace

int main(int argc, char* argv[])
{
    if (argc < 2)
        return 2;
    xcb_connection_t* connection = xcb_connect(nullptr, nullptr);
    if (xcb_connection_has_error(connection))
        return 2;
    const xcb_query_extension_reply_t* damage = xcb_get_extension_data(connection, &xcb_damage_id);
    if (!damage || !damage->present)
        return 2;
    free(xcb_damage_query_version_reply(
        connection, xcb_damage_query_version(connection, 1, 1), nullptr));
    const xcb_window_t root = xcb_setup_roots_iterator(xcb_get_setup(connection)).data->root;
    const uint32_t mask = XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY;
    xcb_change_window_attributes(connection, root, XCB_CW_EVENT_MASK, &mask);
    xcb_flush(connection);

    using Milliseconds = std::chrono::duration<double, std::milli>;
    const auto started = std::chrono::steady_clock::now();
    const pid_t pid = fork();
    if (pid == 0) {
        execv(argv[1], argv + 1);
        _exit(127);
    }
    Milliseconds mapped{-1};
    Milliseconds drawn{-1};
    while (mapped.count() < 0 || drawn.count() < 0) {
        const std::unique_ptr<xcb_generic_event_t, decltype(&free)> event(
            xcb_wait_for_event(connection), &free);
        if (!event)
            return 1;
        const int type = event->response_type & 0x7f;
        if (type == XCB_CREATE_NOTIFY) {
            // Watched from its creation on, a window cannot be drawn into unseen.
            const auto* created = reinterpret_cast<const xcb_create_notify_event_t*>(event.get());
            xcb_damage_create(connection, xcb_generate_id(connection), created->window,
                XCB_DAMAGE_REPORT_LEVEL_NON_EMPTY);
            xcb_flush(connection);
        } else if (type == XCB_MAP_NOTIFY && mapped.count() < 0) {
            mapped = std::chrono::steady_clock::now() - started;
        } else if (type == damage->first_event + XCB_DAMAGE_NOTIFY && drawn.count() < 0) {
            drawn = std::chrono::steady_clock::now() - started;
        }
    }
    // What the program allocates while it paints its first frame counts too.
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    const long peak = kibibytes(pid, "status", {"VmHWM:"});
    // Memory of its own, shared with no other process.
    const long own = kibibytes(pid, "smaps_rollup", {"Private_Clean:", "Private_Dirty:"});
    kill(pid, SIGTERM);
    waitpid(pid, nullptr, 0);
    std::printf("%.2f %.2f %ld %ld\n", mapped.count(), drawn.count(), peak, own);
    xcb_disconnect(connection);
    return 0;
}
