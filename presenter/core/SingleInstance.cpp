// The instance lock and the start-up rule; the window part is the desktop backend's.
#include "presenter/core/SingleInstance.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <thread>

#include "platform/Debug.h"

namespace beamora {
namespace {

// Longest part of the file name taken from the name and from the display, so the whole name stays
// well inside NAME_MAX.
constexpr size_t kMaxPart = 80;
constexpr std::chrono::milliseconds kClaimPoll{100};

std::string Sanitised(const std::string& text) {
    std::string out = text.substr(0, kMaxPart);
    for (char& c : out) {
        const bool keep = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') ||
                          (c >= '0' && c <= '9') || c == '.' || c == '-' || c == '_';
        if (!keep) c = '_';
    }
    return out;
}

// DISPLAY as one X server: "[host]:number[.screen]" without the screen, "unix:" being the local
// host. "none" when the variable is unset or empty.
std::string DisplayKey() {
    const char* value = std::getenv("DISPLAY");
    if (value == nullptr || *value == '\0') return "none";
    std::string display = value;
    const size_t colon = display.rfind(':');
    if (colon != std::string::npos) {
        const size_t dot = display.find('.', colon);
        if (dot != std::string::npos) display.erase(dot);
        if (display.compare(0, colon, "unix") == 0) display.erase(0, colon);
    }
    return Sanitised(display);
}

// The folder of the lock files: $XDG_RUNTIME_DIR when it is an absolute path to a directory, else
// /tmp/beamora-<uid>, made if missing and accepted only when it is a real directory (not a link)
// owned by this user; its mode is then set to 0700. Empty, with *error set, when neither.
std::string LockFolder(std::string* error) {
    const char* runtime = std::getenv("XDG_RUNTIME_DIR");
    struct stat info {};
    if (runtime != nullptr && runtime[0] == '/' && stat(runtime, &info) == 0 &&
        S_ISDIR(info.st_mode)) {
        return runtime;
    }
    const uid_t uid = getuid();
    std::string folder = "/tmp/beamora-" + std::to_string(uid);
    if (mkdir(folder.c_str(), 0700) != 0 && errno != EEXIST) {
        *error = folder + ": " + std::strerror(errno);
        return {};
    }
    if (lstat(folder.c_str(), &info) != 0) {
        *error = folder + ": " + std::strerror(errno);
        return {};
    }
    if (!S_ISDIR(info.st_mode) || info.st_uid != uid) {
        *error = folder + ": not a directory of this user";
        return {};
    }
    if ((info.st_mode & 07777) != 0700 && chmod(folder.c_str(), 0700) != 0) {
        *error = folder + ": " + std::strerror(errno);
        return {};
    }
    return folder;
}

std::string LockPath(const std::string& name, std::string* error) {
    const std::string folder = LockFolder(error);
    if (folder.empty()) return {};
    return folder + "/beamora-" + Sanitised(name) + "-" + DisplayKey() + ".lock";
}

}  // namespace

std::unique_ptr<InstanceLock> InstanceLock::TryAcquire(const std::string& name,
                                                       std::string* error) {
    std::string why;
    std::string path = LockPath(name, &why);
    if (path.empty()) {
        if (error != nullptr) *error = why;
        return nullptr;
    }
    if (error != nullptr) error->clear();
    // O_CLOEXEC: a program the presenter starts must not keep the lock after the presenter ends.
    platform::UniqueFd file(open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600));
    if (!file) {
        if (error != nullptr) *error = path + ": " + std::strerror(errno);
        return nullptr;
    }
    int result;
    do {
        result = flock(file.get(), LOCK_EX | LOCK_NB);
    } while (result != 0 && errno == EINTR);
    if (result != 0) {
        if (errno != EWOULDBLOCK && error != nullptr) *error = path + ": " + std::strerror(errno);
        return nullptr;
    }
    return std::make_unique<InstanceLock>(Key{}, std::move(file), std::move(path));
}

bool ClaimSingleInstance(const std::string& title, std::unique_ptr<InstanceLock>* lock,
                         std::chrono::milliseconds wait) {
    const auto deadline = std::chrono::steady_clock::now() + wait;
    for (;;) {
        std::string error;
        *lock = InstanceLock::TryAcquire(title, &error);
        if (*lock) return true;
        if (!error.empty()) {
            platform::DebugFormat("presenter: no instance lock (%s); the window search decides\n",
                                  error.c_str());
            return !ActivateRunningInstance(title);
        }
        if (ActivateRunningInstance(title)) return false;
        const auto now = std::chrono::steady_clock::now();
        if (now >= deadline) {
            platform::DebugFormat(
                "presenter: another copy holds the instance lock but shows no "
                "window\n");
            return false;
        }
        std::this_thread::sleep_for(
            std::min<std::chrono::steady_clock::duration>(kClaimPoll, deadline - now));
    }
}

}  // namespace beamora
