#include "settings/fileworker.h"

#include <chrono>
#include <gtest/gtest.h>
#include <semaphore>
#include <stdexcept>
#include <thread>
#include <unistd.h>

namespace {

using namespace std::chrono_literals;

// A request the test holds back, as a disk that stops answering holds back the worker.
struct HeldRequest {
    std::binary_semaphore released{0};

    void release() { released.release(); }
};

TEST(FileWorker, AnswersWithWhatTheRequestReturnsOrThrows)
{
    FileWorker worker;
    EXPECT_EQ(worker.run([] { return 42; }, 1s), 42);
    EXPECT_THROW(
        worker.run([]() -> int { throw std::runtime_error("refused"); }, 1s), std::runtime_error);
}

// A request past its deadline is not waited for; what is asked meanwhile is refused at once, and
// once the stalled request ends, the worker answers again, having done everything in order.
TEST(FileWorker, StalledRequestIsNotWaitedForAndBlocksNothingForever)
{
    FileWorker worker;
    HeldRequest stalled;
    int done = 0;
    EXPECT_THROW(worker.run(
                     [&] {
                         stalled.released.acquire();
                         ++done;
                         return 0;
                     },
                     50ms),
        FileWorker::NotAnswering);
    EXPECT_TRUE(worker.stuck());
    EXPECT_THROW(worker.run([&] { return ++done; }, 1h), FileWorker::NotAnswering);

    stalled.release();
    while (worker.stuck())
        std::this_thread::sleep_for(1ms);
    EXPECT_EQ(worker.run([&] { return ++done; }, 1s), 2);
}

// A request that waits its turn and says so is waited for past the deadline.
TEST(FileWorker, SignsOfLifeKeepTheCallerWaiting)
{
    FileWorker worker;
    const std::function<void()> alive = worker.signOfLife();
    const int looks = worker.run(
        [&] {
            for (int look = 0; look < 10; ++look) {
                std::this_thread::sleep_for(20ms);
                alive();
            }
            return 10;
        },
        60ms);
    EXPECT_EQ(looks, 10);
}

// Once the program is ending, a request that does not answer at once is not waited for.
TEST(FileWorker, EndingCutsTheWaitShort)
{
    int ending[2];
    ASSERT_EQ(::pipe(ending), 0);
    FileWorker worker;
    worker.cutWaitsShortOn(ending[0]);
    ASSERT_EQ(::write(ending[1], "!", 1), 1);
    HeldRequest stalled;

    const auto asked = std::chrono::steady_clock::now();
    EXPECT_THROW(worker.run(
                     [&] {
                         stalled.released.acquire();
                         return 0;
                     },
                     1h),
        FileWorker::NotAnswering);
    EXPECT_LT(std::chrono::steady_clock::now() - asked, 10s);
    stalled.release();
    while (worker.stuck())
        std::this_thread::sleep_for(1ms);
    ::close(ending[0]);
    ::close(ending[1]);
}

} // namespace
