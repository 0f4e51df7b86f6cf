// The two ways between the window's thread and the others: a worker running work on the window's
// thread, and a library call that waits on the network while the window goes on. Above all,
// neither may deadlock when a library call ends a thread that is delivering to the window.
#include <gtest/gtest.h>

#include <QApplication>
#include <QThread>
#include <QTimer>
#include <atomic>
#include <chrono>
#include <memory>
#include <thread>

#include "presenter/core/UiCall.h"

namespace beamora {
namespace {

TEST(UiCall, WorkersRunOnTheWindowsThreadAndLibraryCallsDoNotBlockThem) {
    QObject window;
    UiGate gate(&window);
    QThread* ui_thread = QThread::currentThread();

    // A library call that ends a thread while that thread is delivering to the window (a new
    // login ending the control thread, a stop ending the sending thread): the delivery runs
    // during the call and the call returns.
    std::atomic<bool> ran_on_ui{false};
    const int result = RunWhileUiWaits([&] {
        std::thread delivering(
            [&] { gate.Run([&] { ran_on_ui.store(QThread::currentThread() == ui_thread); }); });
        delivering.join();
        return 7;
    });
    EXPECT_EQ(result, 7);
    EXPECT_TRUE(ran_on_ui.load());

    // Timers keep running while a call waits (the window keeps animating).
    int ticks = 0;
    QTimer timer;
    QObject::connect(&timer, &QTimer::timeout, [&] { ++ticks; });
    timer.start(10);
    RunWhileUiWaits([] {
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
        return 0;
    });
    EXPECT_GE(ticks, 3);

    // On the window's own thread the work runs at once.
    bool direct = false;
    EXPECT_TRUE(gate.Run([&] { direct = true; }));
    EXPECT_TRUE(direct);
}

TEST(UiCall, AClosedGateLetsWaitingWorkersGo) {
    auto window = std::make_unique<QObject>();
    auto gate = std::make_shared<UiGate>(window.get());
    std::atomic<int> returned{-1};
    std::atomic<bool> ran{false};
    // The window never gets to run the work: it closes and goes instead.
    std::thread worker([gate, &returned, &ran] {
        returned.store(gate->Run([&ran] { ran.store(true); }) ? 1 : 0);
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    gate->Close();
    window.reset();  // the posted work goes with it
    worker.join();
    EXPECT_EQ(returned.load(), 0);
    QCoreApplication::processEvents();
    EXPECT_FALSE(ran.load());
    // Once closed, nothing more is posted.
    EXPECT_FALSE(gate->Run([&ran] { ran.store(true); }));
    EXPECT_FALSE(ran.load());
}

}  // namespace
}  // namespace beamora
