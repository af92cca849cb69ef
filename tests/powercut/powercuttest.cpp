// Saves of the real settings store on a file system that forgets what was not synced, with the
// power cut after each of their file-system operations in turn, in both of its modes:
//   powercut_driver POWERCUTFS                        the saves of a few cases
//   powercut_driver POWERCUTFS --program HIX SCRIPT   and a few of the real program's, which
//                                                     SCRIPT drives in the X server of DISPLAY
//   powercut_driver POWERCUTFS SAVES                  that many random saves
// After every cut a fresh start must read the list before or after the save that was under way:
// never a mix, never an empty list where one was stored, never a notice about an unreadable file;
// and after a save that was reported done, always its list. Exits 77, skipped, where this machine
// cannot mount a FUSE file system.
#include "settings/usersettingsstore.h"
#include "tests/support/fakes.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <poll.h>
#include <random>
#include <signal.h>
#include <sstream>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

using Values = std::map<FakeStore::Key, std::string>;

// One step of one running copy: "start", a path to open, "entry N" to open the Nth entry again,
// or "max N" to submit N as the maximum.
struct Step {
    int copy;
    std::string action;
};

struct Case {
    std::string name;
    // What the settings home holds before the saves.
    std::function<void(const fs::path& home)> prepare;
    std::vector<Step> steps;
    bool damaged = false;
    // A program that takes the steps instead, printing "+" for each one it reported done.
    std::vector<std::string> program = {};
};

const std::string listOfTwo = "[Config]\nMAX_FILES=5\nnoHIX=2\n\n[Recent%20Files]\n1=/a\n2=/b\n";
const std::string listOfThree
    = "[Config]\nMAX_FILES=5\nnoHIX=3\n\n[Recent%20Files]\n1=/a\n2=/b\n3=/c\n";

void write(const fs::path& file, const std::string& bytes)
{
    fs::create_directories(file.parent_path());
    std::ofstream(file, std::ios::binary) << bytes;
}

std::string contents(const fs::path& file)
{
    std::ostringstream bytes;
    bytes << std::ifstream(file, std::ios::binary).rdbuf();
    return bytes.str();
}

void apply(const std::string& action, WindowlessCopy& copy)
{
    if (action == "start") {
        copy.startUp();
    } else if (action.starts_with("max ")) {
        copy.submitMaximum(action.substr(4));
    } else if (action.starts_with("entry ")) {
        const auto index = static_cast<std::int16_t>(std::stoi(action.substr(6)));
        if (index <= copy.hix.state().entryCount)
            copy.open(copy.form.entries.tag(index));
    } else {
        copy.open(action);
    }
}

// The values after each step, played over the in-memory store from what the home holds.
std::vector<Values> expectedStates(const Case& saves, const Values& before)
{
    FakeStore store;
    store.values = store.saved = before;
    std::map<int, std::unique_ptr<WindowlessCopy>> copies;
    std::vector<Values> states{before};
    std::optional<int> previous;
    for (const Step& step : saves.steps) {
        auto& copy = copies[step.copy];
        if (!copy)
            copy = std::make_unique<WindowlessCopy>(store);
        // A copy finds the saves of another one before it changes the list, as in the real store.
        if (previous && *previous != step.copy)
            store.outside = store.saved;
        previous = step.copy;
        apply(step.action, *copy);
        states.push_back(storedValues(store));
    }
    return states;
}

struct Found {
    Values values;
    std::string notice;
};

Found readAt(const fs::path& configHome)
{
    UserSettingsStore store(configHome / "hix/hix.conf");
    return {storedValues(store), noticesOf(store)};
}

std::vector<char*> spawnArguments(const std::vector<std::string>& arguments)
{
    std::vector<char*> argv;
    for (const std::string& argument : arguments)
        argv.push_back(const_cast<char*>(argument.c_str()));
    argv.push_back(nullptr);
    return argv;
}

// Starts a program; its error output goes to errors when one is named.
pid_t spawn(const std::vector<std::string>& arguments, const fs::path& errors = {})
{
    const pid_t child = ::fork();
    if (child == 0) {
        if (!errors.empty())
            std::freopen(errors.c_str(), "w", stderr);
        ::execvp(arguments[0].c_str(), spawnArguments(arguments).data());
        ::_exit(127);
    }
    return child;
}

// Runs the steps in a process of their own over the mounted home; returns how many were done.
int runSteps(const Case& saves, const fs::path& configHome)
{
    int done[2];
    if (::pipe(done) != 0)
        return -1;
    const pid_t child = ::fork();
    if (child == 0) {
        ::close(done[0]);
        if (!saves.program.empty()) {
            ::setenv("XDG_CONFIG_HOME", configHome.c_str(), 1);
            ::dup2(done[1], STDOUT_FILENO);
            ::execvp(saves.program[0].c_str(), spawnArguments(saves.program).data());
            ::_exit(127);
        }
        std::map<int,
            std::pair<std::unique_ptr<UserSettingsStore>, std::unique_ptr<WindowlessCopy>>>
            copies;
        try {
            for (const Step& step : saves.steps) {
                auto& [store, copy] = copies[step.copy];
                if (!store) {
                    store = std::make_unique<UserSettingsStore>(configHome / "hix/hix.conf");
                    copy = std::make_unique<WindowlessCopy>(*store);
                }
                apply(step.action, *copy);
                if (!copy->messages.errors.empty() || ::write(done[1], "+", 1) != 1)
                    ::_exit(1);
            }
        } catch (const std::exception&) {
            ::_exit(1);
        }
        ::_exit(0);
    }
    ::close(done[1]);
    int count = 0;
    char byte;
    pollfd readable{done[0], POLLIN, 0};
    while (::poll(&readable, 1, 20'000) == 1 && ::read(done[0], &byte, 1) == 1)
        count += byte == '+';
    ::close(done[0]);
    ::kill(child, SIGKILL);
    ::waitpid(child, nullptr, 0);
    return count;
}

class PowerCuts {
public:
    PowerCuts(std::string fileSystem, fs::path work)
        : fileSystem(std::move(fileSystem))
        , work(std::move(work))
    {
    }

    // Mounts the file system over an empty home with no cut; the reason when it cannot.
    std::string mountProblem()
    {
        fs::create_directories(backing());
        const std::string problem
            = mount(0, "synced", 0) ? "" : "no FUSE mount: " + contents(work / "fs.log");
        unmount();
        return problem;
    }

    // Cuts after each operation of the saves in turn; false at the first cut that lost something.
    bool cutEverywhere(const Case& saves, const std::string& mode, long& cuts)
    {
        fs::remove_all(backing());
        fs::create_directories(backing());
        saves.prepare(backing());
        const std::string before = contents(backing() / "config/hix/hix.conf");
        const std::vector<Values> states
            = expectedStates(saves, readAt(backing() / "config").values);
        for (long cut = 1;; ++cut) {
            fs::remove_all(backing());
            fs::create_directories(backing());
            saves.prepare(backing());
            fs::remove(work / "report");
            if (!mount(cut, mode, std::uint32_t(cut)))
                return fail(saves, mode, cut, "the file system did not mount");
            const int done = runSteps(saves, work / "mount/config");
            const bool clean = unmount();
            const std::string report = contents(work / "report");
            if (!clean || report.empty())
                return fail(
                    saves, mode, cut, "the file system failed: " + contents(work / "fs.log"));
            const Found found = readAt(backing() / "config");
            const bool atStart = found.values == states[std::size_t(done)];
            const bool atNext = std::size_t(done) + 1 < states.size()
                && found.values == states[std::size_t(done) + 1];
            if (!atStart && !atNext)
                return fail(saves, mode, cut,
                    "a list that no save left, with " + std::to_string(done) + " of "
                        + std::to_string(saves.steps.size()) + " steps reported done"
                        + (found.values.empty() ? "; nothing was found" : ""),
                    report, found);
            const bool untouched = saves.damaged && found.values == states[0];
            if (!found.notice.empty() && !untouched)
                return fail(saves, mode, cut, "a notice: " + found.notice, report);
            if (saves.damaged && !untouched && !keptWhole(before))
                return fail(saves, mode, cut, "the unreadable file was not kept whole", report);
            if (report.find("\ncut no\n") != std::string::npos)
                return true;
            ++cuts;
        }
    }

private:
    fs::path backing() const { return work / "backing"; }

    bool mount(long cut, const std::string& mode, std::uint32_t seed)
    {
        fs::create_directories(work / "mount");
        const pid_t started = spawn({fileSystem, backing(), work / "mount", std::to_string(cut),
                                        mode, std::to_string(seed), work / "report"},
            work / "fs.log");
        fileSystemProcess = started;
        struct stat parent { };
        ::stat(work.c_str(), &parent);
        for (int wait = 0; wait < 500; ++wait) {
            if (::waitpid(started, nullptr, WNOHANG) == started) {
                fileSystemProcess = 0;
                return false;
            }
            struct stat mounted { };
            if (::stat((work / "mount").c_str(), &mounted) == 0 && mounted.st_dev != parent.st_dev)
                return true;
            ::usleep(10'000);
        }
        return false;
    }

    // False when the file system did not end cleanly.
    bool unmount()
    {
        if (fileSystemProcess == 0)
            return false;
        const std::string mountPoint = work / "mount";
        if (::umount2(mountPoint.c_str(), MNT_DETACH) != 0)
            ::waitpid(spawn({"fusermount3", "-u", "-z", "-q", mountPoint}), nullptr, 0);
        int status = 0;
        for (int wait = 0; wait < 1000; ++wait) {
            if (::waitpid(fileSystemProcess, &status, WNOHANG) == fileSystemProcess)
                return WIFEXITED(status) && WEXITSTATUS(status) == 0;
            ::usleep(10'000);
        }
        ::kill(fileSystemProcess, SIGKILL);
        ::waitpid(fileSystemProcess, nullptr, 0);
        return false;
    }

    bool keptWhole(const std::string& before) const
    {
        for (const auto& entry : fs::directory_iterator(backing() / "config/hix"))
            if (entry.path().filename().string().starts_with("hix.conf.unreadable-"))
                return contents(entry.path()) == before;
        return false;
    }

    static bool fail(const Case& saves, const std::string& mode, long cut, const std::string& what,
        const std::string& report = {}, const Found& found = {})
    {
        std::fprintf(stderr, "FAIL: %s, %s mode, power cut after operation %ld: %s\n",
            saves.name.c_str(), mode.c_str(), cut, what.c_str());
        for (const auto& [key, value] : found.values)
            std::fprintf(
                stderr, "  found %s/%s=%s\n", key.first.c_str(), key.second.c_str(), value.c_str());
        std::fprintf(stderr, "%s", report.c_str());
        return false;
    }

    std::string fileSystem;
    fs::path work;
    pid_t fileSystemProcess = 0;
};

std::vector<Case> cases()
{
    const auto nothing = [](const fs::path&) {};
    const auto two = [](const fs::path& home) { write(home / "config/hix/hix.conf", listOfTwo); };
    return {
        {"the first save, with no folder yet", nothing, {{0, "start"}, {0, "/new"}}},
        {"an ordinary save", two, {{0, "start"}, {0, "/new"}, {0, "entry 3"}}},
        {"a save that keeps an unreadable file aside",
            [](const fs::path& home) { write(home / "config/hix/hix.conf", listOfTwo + "3\n"); },
            {{0, "start"}, {0, "/new"}}, true},
        {"a symbolic link to a file in another folder",
            [](const fs::path& home) {
                write(home / "dotfiles/hix.conf", listOfTwo);
                fs::create_directories(home / "config/hix");
                fs::create_symlink("../../dotfiles/hix.conf", home / "config/hix/hix.conf");
            },
            {{0, "start"}, {0, "/new"}}},
        {"two copies saving in turn", two,
            {{0, "start"}, {1, "start"}, {0, "/from-one"}, {1, "/from-two"}, {0, "max 2"}}},
    };
}

// The real program, in the X server of DISPLAY, driven by SCRIPT.
std::vector<Case> programCases(const std::string& program, const std::string& script)
{
    return {
        {"the program's first run", [](const fs::path&) {}, {{0, "start"}}, false,
            {"bash", script, program, "first-run"}},
        {"the program promoting an entry",
            [](const fs::path& home) { write(home / "config/hix/hix.conf", listOfThree); },
            {{0, "start"}, {0, "entry 3"}}, false, {"bash", script, program, "promotion"}},
    };
}

// SAVES random opens, reopenings and maximums, five to a run of one copy.
std::vector<Case> randomCases(int saves, std::uint32_t seed)
{
    std::mt19937 random(seed);
    std::vector<Case> runs;
    for (int run = 0; run * 5 < saves; ++run) {
        Case saves{"random run " + std::to_string(run) + " of seed " + std::to_string(seed),
            [](const fs::path& home) { write(home / "config/hix/hix.conf", listOfTwo); },
            {{0, "start"}}};
        for (int step = 0; step < 5; ++step) {
            const unsigned draw = random() % 3;
            saves.steps.push_back({0,
                draw == 0       ? "/random/" + std::to_string(random() % 8)
                    : draw == 1 ? "entry " + std::to_string(1 + random() % 5)
                                : "max " + std::to_string(random() % 7)});
        }
        runs.push_back(saves);
    }
    return runs;
}

} // namespace

int main(int argc, char* argv[])
{
    if (argc < 2)
        return 2;
    char folder[] = "/tmp/powercut-XXXXXX";
    if (!::mkdtemp(folder))
        return 2;
    PowerCuts powerCuts(argv[1], folder);
    if (const std::string problem = powerCuts.mountProblem(); !problem.empty()) {
        std::fprintf(stderr, "SKIP: %s", problem.c_str());
        fs::remove_all(folder);
        return 77;
    }
    std::vector<Case> all
        = argc == 3 ? randomCases(std::stoi(argv[2]), std::random_device()()) : cases();
    if (argc == 5 && argv[2] == std::string("--program"))
        std::ranges::move(programCases(argv[3], argv[4]), std::back_inserter(all));
    long cuts = 0;
    bool passed = true;
    for (const Case& saves : all)
        for (const char* mode : {"synced", "journal"})
            passed = powerCuts.cutEverywhere(saves, mode, cuts) && passed;
    std::size_t changes = 0;
    for (const Case& saves : all)
        changes += std::ranges::count_if(
            saves.steps, [](const Step& step) { return step.action != "start"; });
    std::printf("%zu runs of %zu changes in all, the power cut after each operation in two modes, "
                "%ld cuts: %s\n",
        all.size(), changes, cuts, passed ? "nothing lost" : "something lost");
    fs::remove_all(folder);
    return passed ? 0 : 1;
}
