// Starts a program and prints how long it took until it mapped its first window, in
// milliseconds, and its peak resident memory by then, in KiB. The X server is $DISPLAY.
//   mapwait PROGRAM [ARGUMENTS...]
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <string>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <xcb/xcb.h>

namespace {

long peakResidentKiB(pid_t pid)
{
    std::ifstream status("/proc/" + std::to_string(pid) + "/status");
    for (std::string line; std::getline(status, line);) {
        if (line.starts_with("VmHWM:"))
            return std::strtol(line.c_str() + 6, nullptr, 10);
    }
    return -1;
}

} // namespace

int main(int argc, char* argv[])
{
    if (argc < 2)
        return 2;
    xcb_connection_t* connection = xcb_connect(nullptr, nullptr);
    if (xcb_connection_has_error(connection))
        return 2;
    const xcb_window_t root = xcb_setup_roots_iterator(xcb_get_setup(connection)).data->root;
    const uint32_t mask = XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY;
    xcb_change_window_attributes(connection, root, XCB_CW_EVENT_MASK, &mask);
    xcb_flush(connection);

    const auto started = std::chrono::steady_clock::now();
    const pid_t pid = fork();
    if (pid == 0) {
        execv(argv[1], argv + 1);
        _exit(127);
    }
    for (;;) {
        const std::unique_ptr<xcb_generic_event_t, decltype(&free)> event(
            xcb_wait_for_event(connection), &free);
        if (!event)
            return 1;
        if ((event->response_type & 0x7f) == XCB_MAP_NOTIFY)
            break;
    }
    const std::chrono::duration<double, std::milli> mapped = std::chrono::steady_clock::now() - started;
    // What the program allocates while it paints its first frame counts too.
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    const long memory = peakResidentKiB(pid);
    kill(pid, SIGTERM);
    waitpid(pid, nullptr, 0);
    std::printf("%.2f %ld\n", mapped.count(), memory);
    xcb_disconnect(connection);
    return 0;
}
