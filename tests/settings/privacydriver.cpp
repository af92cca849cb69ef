// One save of the list as a given user, with the accounts the system knows given by the test:
//   privacy_driver FILE [--as UID:GID] [--accounts PASSWD GROUP]
// --accounts puts the files in place of /etc/passwd and /etc/group for this process alone, in a
// mount namespace of its own (and a user namespace that maps the user alone, where the user is not
// root); --as, for root, becomes that user, with no other group. Then it starts the store at FILE,
// saves /one as the first path in one shared change, prints each notice on a line of its own, and
// last what the store shows as the first path then.
// Exits 77 where the namespace cannot be had.
#include "settings/usersettingsstore.h"
#include "tests/support/fakes.h"

#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <grp.h>
#include <sched.h>
#include <string>
#include <sys/mount.h>
#include <unistd.h>

namespace {

bool writeFile(const char* path, const std::string& text)
{
    const int file = ::open(path, O_WRONLY | O_CLOEXEC);
    const bool written
        = file >= 0 && ::write(file, text.data(), text.size()) == ssize_t(text.size());
    if (file >= 0)
        ::close(file);
    return written;
}

// Before any thread starts: a namespace may only be entered by a process of one thread.
bool useAccounts(const char* passwd, const char* group)
{
    const uid_t user = ::getuid();
    const gid_t primary = ::getgid();
    if (user != 0) {
        if (::unshare(CLONE_NEWUSER | CLONE_NEWNS) != 0
            || !writeFile(
                "/proc/self/uid_map", std::to_string(user) + ' ' + std::to_string(user) + " 1")
            || !writeFile("/proc/self/setgroups", "deny")
            || !writeFile("/proc/self/gid_map",
                std::to_string(primary) + ' ' + std::to_string(primary) + " 1"))
            return false;
    } else if (::unshare(CLONE_NEWNS) != 0) {
        return false;
    }
    return ::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) == 0
        && ::mount(passwd, "/etc/passwd", nullptr, MS_BIND, nullptr) == 0
        && ::mount(group, "/etc/group", nullptr, MS_BIND, nullptr) == 0;
}

bool becomeUser(const char* ids)
{
    unsigned user = 0;
    unsigned group = 0;
    return std::sscanf(ids, "%u:%u", &user, &group) == 2 && ::setgroups(0, nullptr) == 0
        && ::setgid(group) == 0 && ::setuid(user) == 0;
}

} // namespace

int main(int argc, char* argv[])
{
    if (argc < 2)
        return 2;
    for (int i = 2; i < argc; ++i) {
        if (std::strcmp(argv[i], "--accounts") == 0 && i + 2 < argc) {
            if (!useAccounts(argv[i + 1], argv[i + 2])) {
                std::perror("no namespace of the test's own");
                return 77;
            }
            i += 2;
        } else if (std::strcmp(argv[i], "--as") == 0 && i + 1 < argc) {
            if (!becomeUser(argv[++i])) {
                std::perror("cannot become the user");
                return 2;
            }
        } else {
            return 2;
        }
    }
    UserSettingsStore store(argv[1]);
    std::string notices = noticesOf(store);
    store.beginSharedChange();
    store.SaveSetting("Recent Files", "1", "/one");
    store.finishSharedChange();
    notices += (notices.empty() ? "" : "\n") + noticesOf(store);
    std::printf("%s%sshown: %s\n", notices.c_str(), notices.empty() ? "" : "\n",
        store.GetSetting("Recent Files", "1", "").c_str());
    return 0;
}
