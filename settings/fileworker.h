#pragma once

#include <atomic>
#include <chrono>
#include <functional>
#include <future>
#include <memory>
#include <stdexcept>

// The settings store's file work, on a thread of its own that does one request at a time and
// sleeps while there is none. Whoever asks waits only until the worker has shown no sign of life
// for a deadline (docs/design.md, P5); a request past it goes on to its end, and what is asked
// meanwhile is refused at once.
class FileWorker {
public:
    // The worker did not answer: a request is past its deadline, or the wait was cut short.
    class NotAnswering : public std::runtime_error {
    public:
        NotAnswering()
            : std::runtime_error("not answering")
        {
        }
    };

    FileWorker();
    // Lets the worker do what it was asked and end by itself, without waiting for it: a disk
    // that stopped answering would hold up whoever waited, and nothing the worker does can be
    // left half done when the process ends.
    ~FileWorker();
    FileWorker(const FileWorker&) = delete;
    FileWorker& operator=(const FileWorker&) = delete;

    // Runs request on the worker and returns what it returns, or throws what it throws; throws
    // NotAnswering when a request is past its deadline still, or this one passes deadline.
    template<typename Request>
    auto run(Request request, std::chrono::milliseconds deadline) -> decltype(request());
    // Runs request on the worker after everything asked before, without waiting for it.
    void post(std::function<void()> request);
    // Whether a request is past its deadline and not done yet.
    bool stuck() const;
    // What a request calls, on the worker, to say that it is waiting and alive.
    std::function<void()> signOfLife() const;
    // A descriptor that, once readable, cuts every wait short: the program is ending, and a
    // request that does not answer at once is not waited for.
    void cutWaitsShortOn(int descriptor) { cutShortBy = descriptor; }

private:
    struct Shared;

    // Whether the request with this number is done by the deadline.
    bool waitFor(std::uint64_t request, std::chrono::milliseconds deadline) const;

    std::shared_ptr<Shared> shared;
    std::uint64_t posted = 0;
    std::uint64_t late = 0;
    int cutShortBy = -1;
};

template<typename Request>
auto FileWorker::run(Request request, std::chrono::milliseconds deadline) -> decltype(request())
{
    using Result = decltype(request());
    if (stuck())
        throw NotAnswering();
    auto task = std::make_shared<std::packaged_task<Result()>>(std::move(request));
    std::future<Result> result = task->get_future();
    post([task] { (*task)(); });
    if (!waitFor(posted, deadline)) {
        late = posted;
        throw NotAnswering();
    }
    return result.get();
}
