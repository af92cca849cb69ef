#include "settings/settingswatcher.h"

#include "settings/descriptor.h"

#include <climits>
#include <mutex>
#include <sys/inotify.h>
#include <unistd.h>
#include <utility>
#include <vector>

namespace {

constexpr int throttleMs = 100;

// A name in a folder on the way is made, removed or renamed, or the folder itself goes.
constexpr std::uint32_t wayEvents = IN_CREATE | IN_DELETE | IN_MOVED_FROM | IN_MOVED_TO
    | IN_DELETE_SELF | IN_MOVE_SELF | IN_ONLYDIR | IN_MASK_ADD;
// What is written to a file in the folder, whichever inode holds its name. An unlinked file
// that another program still writes is no longer the settings.
constexpr std::uint32_t fileEvents
    = wayEvents | IN_MODIFY | IN_CLOSE_WRITE | IN_ATTRIB | IN_EXCL_UNLINK;
constexpr std::uint32_t wayChanges = IN_CREATE | IN_DELETE | IN_MOVED_FROM | IN_MOVED_TO;

// Where the links that path is lead, by name: a watch is a hint to read again, and the read
// walks the way for itself. A loop of links leads nowhere further than its last name.
std::string linkTarget(std::string path)
{
    for (int hops = 0; hops < 40; ++hops) {
        char link[PATH_MAX];
        const ssize_t length = ::readlink(path.c_str(), link, sizeof link);
        if (length <= 0)
            break;
        const std::string target(link, std::size_t(length));
        path = target.starts_with('/') ? target : path.substr(0, path.rfind('/') + 1) + target;
    }
    return path;
}

} // namespace

// The watches, set up on the worker and read on the window's thread.
struct SettingsWatcher::Watches {
    // A folder watched for what happens to one name in it; for the file's own folder, also for
    // what is written to that name.
    struct Step {
        int watch;
        std::string name;
    };

    std::string file;
    Descriptor inotify{::inotify_init1(IN_NONBLOCK | IN_CLOEXEC)};
    std::mutex mutex;
    std::vector<Step> steps;

    // Every watch is made anew from the names as they are now. Folders are watched from the top
    // down, so a folder made after its parent was watched is seen being made.
    void arm()
    {
        std::vector<Step> armed;
        {
            const std::lock_guard lock(mutex);
            for (const Step& step : steps)
                ::inotify_rm_watch(inotify.get(), step.watch);
        }
        watchWay(file, armed);
        // A file that links elsewhere is written where it lives.
        if (const std::string target = linkTarget(file); target != file)
            watchWay(target, armed);
        const std::lock_guard lock(mutex);
        steps = std::move(armed);
    }

    // The folders on the way to path, each for the name in it that leads on, down to the first
    // that does not exist.
    void watchWay(const std::string& path, std::vector<Step>& armed) const
    {
        for (std::size_t slash = path.find('/'); slash != std::string::npos;) {
            const std::size_t next = path.find('/', slash + 1);
            const std::string folder = slash == 0 ? "/" : path.substr(0, slash);
            std::string name
                = path.substr(slash + 1, next == std::string::npos ? next : next - slash - 1);
            const int watch = ::inotify_add_watch(
                inotify.get(), folder.c_str(), next == std::string::npos ? fileEvents : wayEvents);
            if (watch < 0)
                return;
            if (!name.empty())
                armed.push_back({watch, std::move(name)});
            slash = next;
        }
    }
};

SettingsWatcher::SettingsWatcher(std::string filePath, FileWorker& worker, QObject* parent)
    : QObject(parent)
    , watches(std::make_shared<Watches>())
    , worker(worker)
    , notifier(QSocketNotifier::Read)
{
    watches->file = std::move(filePath);
    throttle.setSingleShot(true);
    throttle.setInterval(throttleMs);
    connect(&throttle, &QTimer::timeout, this, &SettingsWatcher::changed);
    // Without inotify (every instance the user may have taken), the list still follows each
    // action.
    if (!watches->inotify)
        return;
    notifier.setSocket(watches->inotify.get());
    notifier.setEnabled(true);
    connect(&notifier, &QSocketNotifier::activated, this, &SettingsWatcher::readEvents);
    worker.post([watches = watches] { watches->arm(); });
}

void SettingsWatcher::readEvents()
{
    bool changedHere = false;
    bool wayChanged = false;
    alignas(inotify_event) char buffer[4096];
    const std::lock_guard lock(watches->mutex);
    for (ssize_t got; (got = ::read(watches->inotify.get(), buffer, sizeof buffer)) > 0;) {
        for (const char* at = buffer; at < buffer + got;) {
            const auto* event = reinterpret_cast<const inotify_event*>(at);
            at += sizeof(inotify_event) + event->len;
            if (event->mask & IN_Q_OVERFLOW) {
                changedHere = wayChanged = true;
                continue;
            }
            for (const Watches::Step& step : watches->steps) {
                if (step.watch != event->wd)
                    continue;
                // Not IN_IGNORED: a watch the worker takes down to make anew says that too.
                if (event->mask & (IN_DELETE_SELF | IN_MOVE_SELF | IN_UNMOUNT)) {
                    changedHere = wayChanged = true;
                } else if (event->len > 0 && step.name == event->name) {
                    changedHere = true;
                    wayChanged = wayChanged || (event->mask & wayChanges);
                }
            }
        }
    }
    if (wayChanged)
        worker.post([watches = watches] { watches->arm(); });
    if (changedHere && !throttle.isActive())
        throttle.start();
}
