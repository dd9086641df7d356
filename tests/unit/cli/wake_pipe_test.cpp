#include <gtest/gtest.h>

#include <thread>

#include "cli/WakePipe.h"
#include "link/Readiness.h"

namespace lut::cli {
namespace {

bool Readable(const WakePipe& pipe, int timeoutMs) {
    WatchedHandle watched{pipe.ReadHandle()};
    return !WaitUntilReadable({&watched, 1}, std::chrono::milliseconds(timeoutMs)) && watched.ready;
}

TEST(WakePipe, ANotifyFromAnotherThreadWakesTheWaitUntilCleared) {
    const WakePipe pipe;
    EXPECT_FALSE(Readable(pipe, 0));
    std::thread([&pipe] {
        for (int i = 0; i < 3; ++i) {
            pipe.Notify();
        }
    }).join();
    EXPECT_TRUE(Readable(pipe, 2000));
    EXPECT_TRUE(Readable(pipe, 0)) << "stays readable until cleared";
    pipe.Clear();
    EXPECT_FALSE(Readable(pipe, 0)) << "one Clear takes every notification";
    pipe.Notify();
    EXPECT_TRUE(Readable(pipe, 2000));
}

TEST(WakePipe, TwoPipesWakeOnlyTheirOwnWait) {
    const WakePipe first;
    const WakePipe second;
    second.Notify();
    EXPECT_TRUE(Readable(second, 2000));
    EXPECT_FALSE(Readable(first, 0));
}

}  // namespace
}  // namespace lut::cli
