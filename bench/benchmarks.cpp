#include "list/caption.h"
#include "list/hix.h"
#include "list/numeric.h"
#include "settings/fileworker.h"
#include "settings/usersettingsstore.h"
#include "tests/support/testwindow.h"
#include "window/form1.h"

#include <QAction>
#include <QApplication>
#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <algorithm>
#include <array>
#include <benchmark/benchmark.h>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <string_view>
#include <sys/inotify.h>
#include <unistd.h>

namespace {

std::vector<std::string> fullList()
{
    std::vector<std::string> paths;
    for (int i = 1; i <= 20; ++i)
        paths.push_back(
            "/home/alex/Documents/projects/" + std::to_string(i) + "/notes-from-the-meeting.txt");
    return paths;
}

void storeFullList(FakeStore& store)
{
    store.setPaths(fullList());
    store.values[{"Config", "MAX_FILES"}] = "20";
    store.values[{"Config", "noHIX"}] = "20";
}

void saveFullList(UserSettingsStore& store)
{
    FakeStore full;
    storeFullList(full);
    changeStore(store, [&] {
        for (const auto& [key, value] : full.values)
            store.SaveSetting(key.first, key.second, value);
    });
}

void displayTextOfLongPath(benchmark::State& state)
{
    const std::string path
        = "/home/alex/Documents/letters/2008/may/invoice-0042 for the garden.odt";
    for (auto _ : state)
        benchmark::DoNotOptimize(displayText(path));
}
BENCHMARK(displayTextOfLongPath);

// Every character's Unicode properties are looked up, in a path of non-ASCII names.
void entryCaptionOfLongPath(benchmark::State& state)
{
    const std::string path = "/home/zoë/Документы/письма/2008/май/счёт-0042 für den Garten.odt";
    for (auto _ : state)
        benchmark::DoNotOptimize(entryCaption(20, path));
}
BENCHMARK(entryCaptionOfLongPath);

void convertTypedMaximum(benchmark::State& state)
{
    for (auto _ : state)
        benchmark::DoNotOptimize(convertToInt16(" 20 "));
}
BENCHMARK(convertTypedMaximum);

void convertFiveThousandDigits(benchmark::State& state)
{
    const std::string digits(5000, '9');
    for (auto _ : state)
        benchmark::DoNotOptimize(convertToInt16(digits));
}
BENCHMARK(convertFiveThousandDigits);

// The most work one open can do: a new path pushed through a full list of twenty.
void openNewPathWithFullList(benchmark::State& state)
{
    FakeStore store;
    storeFullList(store);
    WindowlessCopy copy(store);
    copy.form.maximum.value = "20";
    copy.hix.RestoreList(copy.form);
    int opened = 0;
    for (auto _ : state) {
        copy.hix.OpenPath("/tmp/new-" + std::to_string(++opened));
        if (copy.form.log.value.size() > 100'000)
            copy.form.log.value.clear();
    }
}
BENCHMARK(openNewPathWithFullList);

// What the user waits for before the window appears: building it and restoring twenty entries.
void startWindowWithFullList(benchmark::State& state)
{
    FakeStore store;
    storeFullList(store);
    for (auto _ : state) {
        TestWindow window(store);
        window.form.show();
        QApplication::processEvents();
    }
}
BENCHMARK(startWindowWithFullList)->Unit(benchmark::kMillisecond);

// A settings file of 10 MB, all of it junk but two paths: the window must still come up at once.
void startWindowWithTenMegabyteSettings(benchmark::State& state)
{
    const SettingsHome home;
    QDir().mkpath(home.path(QStringLiteral("hix")));
    QFile file(home.settingsFile(QStringLiteral("huge")));
    file.open(QIODevice::WriteOnly);
    file.write("[Config]\nMAX_FILES=5\nnoHIX=2\n\n[Recent%20Files]\n1=/a\n2=/b\njunk=");
    file.write(QByteArray(10 << 20, 'x'));
    file.close();
    for (auto _ : state) {
        UserSettingsStore store(home.settingsPath(QStringLiteral("huge")));
        TestWindow window(store);
        window.form.show();
        QApplication::processEvents();
    }
}
BENCHMARK(startWindowWithTenMegabyteSettings)->Unit(benchmark::kMillisecond);

// One change of the store's own, as after a user action: the lock, a look at the file, and
// twenty paths written to the settings file and synced.
void flushSettingsFile(benchmark::State& state)
{
    const SettingsHome home;
    UserSettingsStore store(home.settingsPath(QStringLiteral("bench")));
    const std::vector<std::string> paths = fullList();
    int round = 0;
    for (auto _ : state) {
        changeStore(store, [&] {
            for (std::size_t i = 0; i < paths.size(); ++i)
                store.SaveSetting(
                    "Recent Files", std::to_string(i + 1), paths[(i + round) % paths.size()]);
        });
        ++round;
    }
}
BENCHMARK(flushSettingsFile)->Unit(benchmark::kMicrosecond);

// What each of the settings store's requests costs beyond its file work: the hand-off to the
// store's worker and back. The worker sleeps between requests, so this is two thread wake-ups.
void handOffToTheFileWorker(benchmark::State& state)
{
    FileWorker worker;
    for (auto _ : state)
        benchmark::DoNotOptimize(worker.run([] { return 1; }, std::chrono::seconds(2)));
}
BENCHMARK(handOffToTheFileWorker)->Unit(benchmark::kMicrosecond);

// An open and a promotion as a user makes them, through the settings file: the check for another
// copy's save, the change and the save with its two syncs.
struct WindowOverSettingsFile {
    WindowOverSettingsFile()
    {
        saveFullList(store);
        window.form.show();
    }

    const SettingsHome home;
    UserSettingsStore store{home.settingsPath(QStringLiteral("bench-action"))};
    TestWindow window{store};
};

void openThroughTheSettingsFile(benchmark::State& state)
{
    WindowOverSettingsFile shown;
    int opened = 0;
    for (auto _ : state)
        shown.window.open("/tmp/new-" + std::to_string(++opened));
}
BENCHMARK(openThroughTheSettingsFile)->Unit(benchmark::kMicrosecond);

void promoteThroughTheSettingsFile(benchmark::State& state)
{
    WindowOverSettingsFile shown;
    const QList<QAction*> entries = shown.window.form.findChildren<QAction*>("mnuHIX");
    const auto second = std::ranges::find_if(
        entries, [](const QAction* entry) { return entry->data().toInt() == 2; });
    for (auto _ : state)
        (*second)->trigger();
}
BENCHMARK(promoteThroughTheSettingsFile)->Unit(benchmark::kMicrosecond);

// Promotes entry 2 of a full list count times, for a tracer to count each save's system calls.
int promoteRepeatedly(int count)
{
    WindowOverSettingsFile shown;
    const QList<QAction*> entries = shown.window.form.findChildren<QAction*>("mnuHIX");
    const auto second = std::ranges::find_if(
        entries, [](const QAction* entry) { return entry->data().toInt() == 2; });
    for (int i = 0; i < count; ++i)
        (*second)->trigger();
    return shown.window.messages.errors.empty() ? 0 : 1;
}

// What the window pays when the watcher saw the settings folder change but the file did not: a
// look at the way and a read on the worker, compared with what was last read or written.
void checkForAnotherCopysSave(benchmark::State& state)
{
    const SettingsHome home;
    UserSettingsStore store(home.settingsPath(QStringLiteral("bench-check")));
    changeStore(store, [&] { store.SaveSetting("Recent Files", "1", fullList().front()); });
    for (auto _ : state)
        benchmark::DoNotOptimize(store.refresh());
}
BENCHMARK(checkForAnotherCopysSave)->Unit(benchmark::kMicrosecond);

// The window as a user sees it with a full list of twenty, over an in-memory store.
struct ShownWindow {
    ShownWindow()
    {
        storeFullList(store);
        window.form.show();
    }

    FakeStore store;
    TestWindow window{store};
};

// Another copy saved a different list of twenty: the window's menu follows it.
void rebuildTwentyEntriesLive(benchmark::State& state)
{
    ShownWindow shown;
    auto other = shown.store.values;
    for (int i = 1; i <= 20; ++i)
        other[{"Recent Files", std::to_string(i)}] = "/srv/elsewhere/" + std::to_string(i) + ".txt";
    std::array lists{other, shown.store.values};
    int round = 0;
    for (auto _ : state) {
        shown.store.outside = lists[round++ % 2];
        shown.window.form.refreshList();
    }
}
BENCHMARK(rebuildTwentyEntriesLive)->Unit(benchmark::kMicrosecond);

// An open costs what it costs whether the log holds ten lines or ten thousand.
void openWithLogOf(benchmark::State& state)
{
    ShownWindow shown;
    auto* log = shown.window.form.findChild<QPlainTextEdit*>("Text1");
    const QString lines = QStringLiteral("/home/alex/earlier.txt\n").repeated(state.range(0));
    int opened = 0;
    for (auto _ : state) {
        if (opened % 50 == 0) {
            state.PauseTiming();
            log->setPlainText(lines);
            state.ResumeTiming();
        }
        shown.window.open("/tmp/new-" + std::to_string(++opened));
    }
}
BENCHMARK(openWithLogOf)->Arg(10)->Arg(10'000)->Unit(benchmark::kMicrosecond);

// Opens count new paths through the Open button of a shown window whose log holds lines lines,
// for callgrind to count the instructions of Form1::Command1_Click. A first open, through the File
// menu, lays the log out.
int openRepeatedly(int lines, int count)
{
    ShownWindow shown;
    shown.window.form.findChild<QPlainTextEdit*>("Text1")->setPlainText(
        QStringLiteral("/home/alex/earlier.txt\n").repeated(lines));
    shown.window.dialog.answers.push_back("/tmp/first");
    shown.window.form.findChild<QAction*>("mnuOpen")->trigger();
    for (int opened = 0; opened < count; ++opened)
        shown.window.open("/tmp/new-" + std::to_string(opened));
    return shown.window.messages.errors.empty() ? 0 : 1;
}

// Prints how often each user action replaced the settings file, counted by the kernel.
int countReplacements()
{
    const SettingsHome home;
    UserSettingsStore store(home.settingsPath(QStringLiteral("replaced")));
    saveFullList(store);

    const int watch = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    const std::filesystem::path file = store.path();
    inotify_add_watch(watch, file.parent_path().c_str(), IN_MOVED_TO | IN_CLOSE_WRITE);
    const auto replacements = [watch, name = file.filename().string()] {
        int count = 0;
        alignas(inotify_event) char buffer[4096];
        for (ssize_t got; (got = read(watch, buffer, sizeof buffer)) > 0;) {
            for (char* at = buffer; at < buffer + got;) {
                const auto* event = reinterpret_cast<const inotify_event*>(at);
                count += (event->mask & IN_MOVED_TO) && event->len && name == event->name;
                at += sizeof(inotify_event) + event->len;
            }
        }
        return count;
    };

    TestWindow window(store);
    Form1& form = window.form;
    const auto entry = [&form](int index) {
        for (QAction* action : form.findChildren<QAction*>("mnuHIX")) {
            if (action->data().toInt() == index)
                return action;
        }
        return static_cast<QAction*>(nullptr);
    };
    const std::pair<const char*, std::function<void()>> actions[] = {
        {"start", [&] { form.show(); }},
        {"add to a full list", [&] { window.open("/tmp/new.txt"); }},
        {"promote entry 5", [&] { entry(5)->trigger(); }},
        {"promote entry 1", [&] { entry(1)->trigger(); }},
        {"submit an unchanged maximum", [&] { window.click("Command2"); }},
        {"submit a smaller maximum", [&] { window.submitMaximum(QStringLiteral("10")); }},
    };
    for (const auto& [name, action] : actions) {
        action();
        QApplication::processEvents();
        std::printf("replacements\t%s\t%d\n", name, replacements());
    }
    close(watch);
    return window.messages.errors.empty() ? 0 : 1;
}

} // namespace

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    // The offscreen platform warns about window size hints at every show.
    qputenv("QT_LOGGING_RULES", "default.warning=false");
    QApplication application(argc, argv);
    if (argc > 1 && std::string_view(argv[1]) == "--replacements")
        return countReplacements();
    if (argc > 2 && std::string_view(argv[1]) == "--promotions")
        return promoteRepeatedly(std::atoi(argv[2]));
    if (argc > 3 && std::string_view(argv[1]) == "--opens")
        return openRepeatedly(std::atoi(argv[2]), std::atoi(argv[3]));
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
