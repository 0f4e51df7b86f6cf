// A function run in a forked child process, as a second copy of the program would run: it reads
// one-byte commands from the test and writes answers back over two pipes. The child never returns
// into the test's code (it ends with _exit) and is killed and reaped when the object goes, so a
// failing test leaves no process behind. Fork only while the test process has a single thread.
#pragma once

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <functional>
#include <optional>

#include "platform/Socket.h"

namespace beamora::test {

class ForkedChild {
  public:
    // body(commands, answers) runs in the child with the two pipe ends; its result is the
    // child's exit status.
    explicit ForkedChild(const std::function<int(int commands, int answers)>& body) {
        int to_child[2];
        int from_child[2];
        if (pipe2(to_child, O_CLOEXEC) != 0) return;
        if (pipe2(from_child, O_CLOEXEC) != 0) {
            close(to_child[0]);
            close(to_child[1]);
            return;
        }
        pid_ = fork();
        if (pid_ == 0) {
            close(to_child[1]);
            close(from_child[0]);
            _exit(body(to_child[0], from_child[1]));
        }
        close(to_child[0]);
        close(from_child[1]);
        commands_.reset(to_child[1]);
        answers_.reset(from_child[0]);
    }
    ~ForkedChild() {
        if (pid_ <= 0) return;
        kill(pid_, SIGKILL);
        Wait();
    }
    ForkedChild(const ForkedChild&) = delete;
    ForkedChild& operator=(const ForkedChild&) = delete;

    bool Started() const { return pid_ > 0; }
    bool Send(char command) { return write(commands_.get(), &command, 1) == 1; }
    // The next answer; nullopt once the child has ended.
    std::optional<char> Receive() {
        char answer;
        ssize_t n;
        while ((n = read(answers_.get(), &answer, 1)) < 0 && errno == EINTR) {
        }
        if (n != 1) return std::nullopt;
        return answer;
    }
    // Reads exactly sizeof(T) bytes the child wrote in one go.
    template <typename T>
    bool ReceiveValue(T* value) {
        return read(answers_.get(), value, sizeof(T)) == static_cast<ssize_t>(sizeof(T));
    }
    // Waits for the child to end: its exit status, or -1 when a signal ended it.
    int Wait() {
        if (pid_ <= 0) return -1;
        int status = 0;
        pid_t result;
        while ((result = waitpid(pid_, &status, 0)) < 0 && errno == EINTR) {
        }
        pid_ = -1;
        return result > 0 && WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }

  private:
    pid_t pid_ = -1;
    platform::UniqueFd commands_;
    platform::UniqueFd answers_;
};

}  // namespace beamora::test
