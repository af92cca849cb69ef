#include "settings/fileworker.h"

#include "settings/descriptor.h"

#include <algorithm>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <poll.h>
#include <sys/eventfd.h>
#include <thread>
#include <unistd.h>

namespace {

// What a request is given once the program is ending: a save takes milliseconds.
constexpr std::chrono::milliseconds endingPatience{100};

} // namespace

// What the worker's thread and its owner share; the thread keeps it alive as long as it runs.
struct FileWorker::Shared {
    std::mutex mutex;
    std::condition_variable wake;
    std::deque<std::function<void()>> requests;
    bool ending = false;
    std::atomic<std::uint64_t> completed = 0;
    std::atomic<std::chrono::steady_clock::rep> lastSign = 0;
    // Whether the owner sleeps until the next sign, which it then needs to be woken for.
    std::atomic<bool> ownerAsleep = false;
    // Readable once a request is done or shows a sign of life while the owner sleeps.
    Descriptor done{::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)};
    std::thread thread;

    void signal()
    {
        lastSign = std::chrono::steady_clock::now().time_since_epoch().count();
        if (!ownerAsleep.exchange(false))
            return;
        const std::uint64_t one = 1;
        [[maybe_unused]] const ssize_t written = ::write(done.get(), &one, sizeof one);
    }

    void serve()
    {
        for (;;) {
            std::function<void()> request;
            {
                std::unique_lock lock(mutex);
                wake.wait(lock, [this] { return ending || !requests.empty(); });
                if (requests.empty())
                    return;
                request = std::move(requests.front());
                requests.pop_front();
            }
            request();
            ++completed;
            signal();
        }
    }
};

FileWorker::FileWorker()
    : shared(std::make_shared<Shared>())
{
    shared->thread = std::thread([shared = shared] { shared->serve(); });
}

FileWorker::~FileWorker()
{
    {
        const std::lock_guard lock(shared->mutex);
        shared->ending = true;
    }
    shared->wake.notify_one();
    shared->thread.detach();
}

void FileWorker::post(std::function<void()> request)
{
    {
        const std::lock_guard lock(shared->mutex);
        shared->requests.push_back(std::move(request));
    }
    ++posted;
    shared->wake.notify_one();
}

bool FileWorker::stuck() const
{
    return shared->completed < late;
}

std::function<void()> FileWorker::signOfLife() const
{
    return [shared = shared] { shared->signal(); };
}

bool FileWorker::waitFor(std::uint64_t request, std::chrono::milliseconds deadline) const
{
    using Clock = std::chrono::steady_clock;
    const Clock::time_point asked = Clock::now();
    const auto done = [&] { return shared->completed >= request; };
    // Once the program is ending, a disk that does not answer at once is not waited for.
    bool ending = false;
    for (;;) {
        // Said before the last look, so that the worker, done after it, wakes the owner.
        shared->ownerAsleep = true;
        if (done()) {
            shared->ownerAsleep = false;
            return true;
        }
        const Clock::time_point lastSign{Clock::duration(shared->lastSign)};
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            std::max(asked, lastSign) + (ending ? endingPatience : deadline) - Clock::now());
        if (left.count() <= 0)
            return false;
        pollfd watched[] = {{shared->done.get(), POLLIN, 0}, {cutShortBy, POLLIN, 0}};
        ::poll(watched, cutShortBy >= 0 && !ending ? 2 : 1, int(left.count()) + 1);
        ending = ending || (watched[1].revents & POLLIN);
        if (watched[0].revents & POLLIN) {
            std::uint64_t count = 0;
            [[maybe_unused]] const ssize_t got = ::read(shared->done.get(), &count, sizeof count);
        }
    }
}
