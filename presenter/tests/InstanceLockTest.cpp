// The instance lock between processes: one holder per name and X display, free again when the
// holder releases it or dies, never kept by a program the holder started; its folder when there
// is no XDG_RUNTIME_DIR.
#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <string>

#include "presenter/core/SingleInstance.h"
#include "presenter/tests/ForkedChild.h"

namespace beamora {
namespace {

// What TryAcquire gave in another process.
enum Outcome { kAcquired = 0, kHeld = 1, kFailed = 2, kNoChild = 3 };

Outcome TryInOtherProcess(const std::string& name) {
    test::ForkedChild child([&](int, int) {
        std::string error;
        const auto lock = InstanceLock::TryAcquire(name, &error);
        return lock ? kAcquired : error.empty() ? kHeld : kFailed;
    });
    const int status = child.Wait();
    return status >= kAcquired && status <= kFailed ? static_cast<Outcome>(status) : kNoChild;
}

// Each test has its own XDG_RUNTIME_DIR and starts on display ":91".
class InstanceLockTest : public ::testing::Test {
  protected:
    void SetUp() override {
        std::string pattern = "/tmp/beamora-lock-test-XXXXXX";
        ASSERT_NE(mkdtemp(pattern.data()), nullptr);
        runtime_dir_ = pattern;
        setenv("XDG_RUNTIME_DIR", runtime_dir_.c_str(), 1);
        setenv("DISPLAY", ":91", 1);
    }
    void TearDown() override {
        std::error_code ignored;
        std::filesystem::remove_all(runtime_dir_, ignored);
    }

    std::string runtime_dir_;
};

TEST_F(InstanceLockTest, OneHolderPerNameAndDisplay) {
    auto first = InstanceLock::TryAcquire("RVX-700");
    ASSERT_TRUE(first);
    EXPECT_EQ(std::filesystem::path(first->Path()).parent_path(), runtime_dir_);
    EXPECT_EQ(TryInOtherProcess("RVX-700"), kHeld);
    EXPECT_EQ(TryInOtherProcess("RVX-800"), kAcquired);

    // Another screen of the same X server shares the lock; another server has its own.
    for (const char* same : {":91.0", ":91.1", "unix:91.0"}) {
        setenv("DISPLAY", same, 1);
        EXPECT_EQ(TryInOtherProcess("RVX-700"), kHeld) << same;
    }
    for (const char* other : {":92", ":9", "localhost:91.0"}) {
        setenv("DISPLAY", other, 1);
        EXPECT_EQ(TryInOtherProcess("RVX-700"), kAcquired) << other;
    }

    setenv("DISPLAY", ":91", 1);
    first.reset();
    EXPECT_EQ(TryInOtherProcess("RVX-700"), kAcquired);
}

TEST_F(InstanceLockTest, FreeWhenTheHolderDiesAndNotKeptByItsPrograms) {
    {
        test::ForkedChild holder([](int commands, int answers) {
            const auto lock = InstanceLock::TryAcquire("RVX-700");
            const char answer = lock ? 'y' : 'n';
            if (write(answers, &answer, 1) != 1) return 1;
            char command;
            while (read(commands, &command, 1) == 1) {
            }
            return 0;
        });
        ASSERT_EQ(holder.Receive(), 'y');
        EXPECT_FALSE(InstanceLock::TryAcquire("RVX-700"));
    }  // SIGKILL: the holder never releases anything itself
    auto lock = InstanceLock::TryAcquire("RVX-700");
    ASSERT_TRUE(lock);

    // A program started while the lock is held: once it runs, it holds none of the lock's files.
    test::ForkedChild program([](int, int answers) {
        (void)answers;  // closed by exec: the test learns that exec has happened
        execlp("sleep", "sleep", "60", static_cast<char*>(nullptr));
        return 127;
    });
    ASSERT_TRUE(program.Started());
    EXPECT_EQ(program.Receive(), std::nullopt);
    lock.reset();
    EXPECT_TRUE(InstanceLock::TryAcquire("RVX-700"));
}

TEST_F(InstanceLockTest, PrivateFolderInTmpWithoutARuntimeDirectory) {
    const std::string folder = "/tmp/beamora-" + std::to_string(getuid());
    mkdir(folder.c_str(), 0700);
    ASSERT_EQ(chmod(folder.c_str(), 0755), 0);  // left too open by someone: closed again
    for (const char* runtime : {static_cast<const char*>(nullptr), "/nonexistent/runtime"}) {
        if (runtime != nullptr) {
            setenv("XDG_RUNTIME_DIR", runtime, 1);
        } else {
            unsetenv("XDG_RUNTIME_DIR");
        }
        const auto lock = InstanceLock::TryAcquire("RVX-700-fallback-test");
        ASSERT_TRUE(lock) << (runtime ? runtime : "unset");
        EXPECT_EQ(std::filesystem::path(lock->Path()).parent_path(), folder);
        struct stat info {};
        ASSERT_EQ(lstat(folder.c_str(), &info), 0);
        EXPECT_TRUE(S_ISDIR(info.st_mode));
        EXPECT_EQ(info.st_mode & 07777, 0700u);
        EXPECT_EQ(info.st_uid, getuid());
        std::filesystem::remove(lock->Path());
    }
}

}  // namespace
}  // namespace beamora
