#include "platform/wayland/PortalSession.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <systemd/sd-bus.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>

#include "platform/Debug.h"
#include "platform/wayland/RestoreToken.h"

namespace platform::wayland {

void BusDeleter::operator()(sd_bus* bus) const {
    sd_bus_flush_close_unref(bus);
}

void SlotDeleter::operator()(sd_bus_slot* slot) const {
    sd_bus_slot_unref(slot);
}

namespace {

constexpr char kPortalName[] = "org.freedesktop.portal.Desktop";
constexpr char kPortalPath[] = "/org/freedesktop/portal/desktop";
constexpr char kScreenCast[] = "org.freedesktop.portal.ScreenCast";
constexpr uint64_t kCallTimeout_us = 5'000'000;
// The user may take a while to answer the portal's question.
constexpr auto kAnswerTimeout = std::chrono::seconds(60);

constexpr uint32_t kSourceMonitor = 1;
constexpr uint32_t kCursorEmbedded = 2;
constexpr uint32_t kCursorMetadata = 4;
constexpr uint32_t kPersistUntilRevoked = 2;
// Restore tokens and persist_mode came with version 4 of the interface.
constexpr uint32_t kPersistVersion = 4;

struct MessageDeleter {
    void operator()(sd_bus_message* m) const { sd_bus_message_unref(m); }
};
using MessagePtr = std::unique_ptr<sd_bus_message, MessageDeleter>;

// sd_bus_error, freed on scope exit.
struct BusError {
    sd_bus_error error = SD_BUS_ERROR_NULL;
    ~BusError() { sd_bus_error_free(&error); }
    std::string Text(int code) const {
        if (error.message != nullptr) return error.message;
        return std::strerror(-code);
    }
};

BusPtr OpenUserBus() {
    sd_bus* bus = nullptr;
    if (sd_bus_open_user(&bus) < 0) return nullptr;
    return BusPtr(bus);
}

// What a Request's Response signal carried.
struct Response {
    bool arrived = false;
    uint32_t code = 2;
    std::string session_handle;
    std::string restore_token;
    uint32_t node_id = 0;
    bool has_stream = false;
};

// Reads the streams value a(ua{sv}): the first stream's node.
int ReadStreams(sd_bus_message* m, Response* r) {
    int rc = sd_bus_message_enter_container(m, 'a', "(ua{sv})");
    if (rc < 0) return rc;
    while ((rc = sd_bus_message_enter_container(m, 'r', "ua{sv}")) > 0) {
        uint32_t node = 0;
        if ((rc = sd_bus_message_read(m, "u", &node)) < 0) return rc;
        if ((rc = sd_bus_message_skip(m, "a{sv}")) < 0) return rc;
        if ((rc = sd_bus_message_exit_container(m)) < 0) return rc;
        if (!r->has_stream) {
            r->node_id = node;
            r->has_stream = true;
        }
    }
    if (rc < 0) return rc;
    return sd_bus_message_exit_container(m);
}

int OnResponse(sd_bus_message* m, void* userdata, sd_bus_error*) {
    auto* r = static_cast<Response*>(userdata);
    r->arrived = true;
    if (sd_bus_message_read(m, "u", &r->code) < 0) return 0;
    if (sd_bus_message_enter_container(m, 'a', "{sv}") < 0) return 0;
    while (sd_bus_message_enter_container(m, 'e', "sv") > 0) {
        const char* key = nullptr;
        if (sd_bus_message_read(m, "s", &key) < 0) return 0;
        int rc = 0;
        if (std::strcmp(key, "session_handle") == 0 || std::strcmp(key, "restore_token") == 0) {
            const char* value = nullptr;
            rc = sd_bus_message_read(m, "v", "s", &value);
            if (rc >= 0 && value != nullptr) {
                (key[0] == 's' ? r->session_handle : r->restore_token) = value;
            }
        } else if (std::strcmp(key, "streams") == 0) {
            rc = sd_bus_message_enter_container(m, 'v', "a(ua{sv})");
            if (rc >= 0) rc = ReadStreams(m, r);
            if (rc >= 0) rc = sd_bus_message_exit_container(m);
        } else {
            rc = sd_bus_message_skip(m, "v");
        }
        if (rc < 0 || sd_bus_message_exit_container(m) < 0) return 0;
    }
    return 0;
}

// One portal request: the Response is subscribed to before the call, on the path the portal
// will use for our handle token, so that it cannot be missed.
class Request {
  public:
    Request(sd_bus* bus, const char* method) : bus_(bus), method_(method) {
        static std::atomic<unsigned> counter{0};
        char token[32];
        std::snprintf(token, sizeof token, "beamora%u", counter.fetch_add(1));
        token_ = token;
    }

    const std::string& Token() const { return token_; }

    // Starts the call; the caller appends the arguments in between.
    sd_bus_message* Begin() {
        sd_bus_message* m = nullptr;
        if (sd_bus_message_new_method_call(bus_, &m, kPortalName, kPortalPath, kScreenCast,
                                           method_) < 0) {
            return nullptr;
        }
        message_.reset(m);
        return m;
    }

    // Sends the call and waits for its Response. False with *error on failure.
    bool Send(Response* response, std::string* error) {
        const char* unique = nullptr;
        if (sd_bus_get_unique_name(bus_, &unique) < 0) {
            *error = "the session bus gave no name";
            return false;
        }
        std::string sender = unique + 1;  // ":1.42" becomes "1_42"
        for (char& c : sender) {
            if (c == '.') c = '_';
        }
        const std::string path = "/org/freedesktop/portal/desktop/request/" + sender + "/" + token_;
        sd_bus_slot* slot = nullptr;
        if (sd_bus_match_signal(bus_, &slot, kPortalName, path.c_str(),
                                "org.freedesktop.portal.Request", "Response", OnResponse,
                                response) < 0) {
            *error = "cannot watch the portal's answers";
            return false;
        }
        SlotPtr match(slot);
        BusError bus_error;
        sd_bus_message* reply = nullptr;
        int rc = sd_bus_call(bus_, message_.get(), kCallTimeout_us, &bus_error.error, &reply);
        MessagePtr reply_owner(reply);
        if (rc < 0) {
            *error = std::string("the screen cast portal refused ") + method_ + ": " +
                     bus_error.Text(rc);
            return false;
        }
        const auto deadline = std::chrono::steady_clock::now() + kAnswerTimeout;
        while (!response->arrived) {
            rc = sd_bus_process(bus_, nullptr);
            if (rc < 0) break;
            if (rc > 0) continue;
            const auto left = deadline - std::chrono::steady_clock::now();
            if (left <= std::chrono::steady_clock::duration::zero()) break;
            sd_bus_wait(bus_, std::chrono::duration_cast<std::chrono::microseconds>(left).count());
        }
        if (!response->arrived) {
            *error = std::string("the screen cast portal did not answer ") + method_;
            return false;
        }
        return true;
    }

  private:
    sd_bus* bus_;
    const char* method_;
    std::string token_;
    MessagePtr message_;
};

bool ReadProperty(sd_bus* bus, const char* name, uint32_t* value) {
    BusError error;
    return sd_bus_get_property_trivial(bus, kPortalName, kPortalPath, kScreenCast, name,
                                       &error.error, 'u', value) >= 0;
}

std::string TokenPath() {
    return RestoreTokenPath(std::getenv("XDG_STATE_HOME"), std::getenv("HOME"));
}

std::string LoadToken() {
    const std::string path = TokenPath();
    if (path.empty()) return {};
    std::ifstream in(path);
    std::string token;
    std::getline(in, token);
    return ValidRestoreToken(token) ? token : std::string();
}

// Written beside and renamed, so that a crash never leaves half a token; readable by the user
// only, since it stands for the user's permission.
void SaveToken(const std::string& token) {
    const std::string path = TokenPath();
    if (path.empty() || !ValidRestoreToken(token)) return;
    const std::string dir = path.substr(0, path.rfind('/'));
    const std::string parent = dir.substr(0, dir.rfind('/'));
    ::mkdir(parent.c_str(), 0700);
    ::mkdir(dir.c_str(), 0700);
    const std::string temp = path + ".new";
    {
        UniqueFd fd(::open(temp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600));
        if (fd.get() < 0) return;
        const std::string line = token + "\n";
        if (::write(fd.get(), line.data(), line.size()) != static_cast<ssize_t>(line.size())) {
            ::unlink(temp.c_str());
            return;
        }
    }
    if (::rename(temp.c_str(), path.c_str()) != 0) ::unlink(temp.c_str());
}

int OnSessionClosed(sd_bus_message*, void* userdata, sd_bus_error*) {
    auto* fired = static_cast<bool*>(userdata);
    *fired = true;
    return 0;
}

}  // namespace

bool PortalScreenCastVersion(uint32_t* version, uint32_t* cursor_modes) {
    BusPtr bus = OpenUserBus();
    if (!bus) return false;
    // A bus without the portal answers at once; one that activates it is given the call's time.
    sd_bus_set_method_call_timeout(bus.get(), kCallTimeout_us);
    if (!ReadProperty(bus.get(), "version", version)) return false;
    if (cursor_modes != nullptr && !ReadProperty(bus.get(), "AvailableCursorModes", cursor_modes))
        *cursor_modes = 0;
    return true;
}

std::unique_ptr<PortalSession> PortalSession::Open(PortalStream* stream, std::string* error,
                                                   std::function<void()> on_closed) {
    std::unique_ptr<PortalSession> session(new PortalSession());
    session->bus_ = OpenUserBus();
    sd_bus* bus = session->bus_.get();
    if (bus == nullptr) {
        *error = "no D-Bus session bus to reach the screen cast portal";
        return nullptr;
    }
    sd_bus_set_method_call_timeout(bus, kCallTimeout_us);
    uint32_t version = 0, cursor_modes = 0;
    if (!ReadProperty(bus, "version", &version)) {
        *error = "the desktop offers no screen cast portal";
        return nullptr;
    }
    if (!ReadProperty(bus, "AvailableCursorModes", &cursor_modes)) cursor_modes = 0;

    Response created;
    Request create(bus, "CreateSession");
    sd_bus_message* m = create.Begin();
    if (m == nullptr ||
        sd_bus_message_append(m, "a{sv}", 2, "handle_token", "s", create.Token().c_str(),
                              "session_handle_token", "s", create.Token().c_str()) < 0 ||
        !create.Send(&created, error)) {
        if (error->empty()) *error = "cannot ask the screen cast portal for a session";
        return nullptr;
    }
    if (created.code != 0 || created.session_handle.empty()) {
        *error = "the screen cast portal did not open a session";
        return nullptr;
    }
    session->session_path_ = created.session_handle;

    // One monitor; the pointer as metadata when the portal can, else drawn into the frames.
    stream->cursor_metadata = (cursor_modes & kCursorMetadata) != 0;
    const uint32_t cursor_mode = stream->cursor_metadata ? kCursorMetadata : kCursorEmbedded;
    const bool persist = version >= kPersistVersion;
    const std::string token = persist ? LoadToken() : std::string();
    Response selected;
    Request select(bus, "SelectSources");
    m = select.Begin();
    int rc = m == nullptr ? -1 : sd_bus_message_append(m, "o", created.session_handle.c_str());
    if (rc >= 0) rc = sd_bus_message_open_container(m, 'a', "{sv}");
    if (rc >= 0)
        rc = sd_bus_message_append(m, "{sv}{sv}{sv}", "handle_token", "s", select.Token().c_str(),
                                   "types", "u", kSourceMonitor, "multiple", "b", 0);
    if (rc >= 0 && (cursor_modes & cursor_mode) != 0)
        rc = sd_bus_message_append(m, "{sv}", "cursor_mode", "u", cursor_mode);
    if (rc >= 0 && persist)
        rc = sd_bus_message_append(m, "{sv}", "persist_mode", "u", kPersistUntilRevoked);
    if (rc >= 0 && !token.empty())
        rc = sd_bus_message_append(m, "{sv}", "restore_token", "s", token.c_str());
    if (rc >= 0) rc = sd_bus_message_close_container(m);
    if (rc < 0 || !select.Send(&selected, error)) {
        if (error->empty()) *error = "cannot choose the monitor to share";
        return nullptr;
    }
    if (selected.code != 0) {
        *error = selected.code == 1 ? "the screen sharing was refused"
                                    : "the screen cast portal could not choose a monitor";
        return nullptr;
    }

    Response started;
    Request start(bus, "Start");
    m = start.Begin();
    if (m == nullptr ||
        sd_bus_message_append(m, "osa{sv}", created.session_handle.c_str(), "", 1, "handle_token",
                              "s", start.Token().c_str()) < 0 ||
        !start.Send(&started, error)) {
        if (error->empty()) *error = "cannot start the screen cast";
        return nullptr;
    }
    if (started.code == 1) {
        *error = "the screen sharing was refused";
        return nullptr;
    }
    if (started.code != 0 || !started.has_stream) {
        *error = "the screen cast portal could not start the screen cast";
        return nullptr;
    }
    if (persist && !started.restore_token.empty()) SaveToken(started.restore_token);

    BusError bus_error;
    sd_bus_message* reply = nullptr;
    rc = sd_bus_call_method(bus, kPortalName, kPortalPath, kScreenCast, "OpenPipeWireRemote",
                            &bus_error.error, &reply, "oa{sv}", created.session_handle.c_str(), 0);
    MessagePtr reply_owner(reply);
    int fd = -1;
    if (rc < 0 || sd_bus_message_read(reply, "h", &fd) < 0 || fd < 0) {
        *error = "the screen cast portal gave no PipeWire connection";
        return nullptr;
    }
    // The descriptor belongs to the reply: keep a copy of our own.
    stream->remote = UniqueFd(::fcntl(fd, F_DUPFD_CLOEXEC, 3));
    if (stream->remote.get() < 0) {
        *error = "cannot keep the PipeWire connection";
        return nullptr;
    }
    stream->node_id = started.node_id;
    // Watched from here on, so that a close right after the start is not missed.
    sd_bus_slot* slot = nullptr;
    if (sd_bus_match_signal(bus, &slot, kPortalName, session->session_path_.c_str(),
                            "org.freedesktop.portal.Session", "Closed", OnSessionClosed,
                            &session->closed_) < 0) {
        *error = "cannot watch the screen cast session";
        return nullptr;
    }
    session->closed_match_.reset(slot);
    session->on_closed_ = std::move(on_closed);
    session->watcher_ = std::thread([s = session.get()] { s->WatchLoop(); });
    return session;
}

void PortalSession::WatchLoop() {
    sd_bus* bus = bus_.get();
    while (!stop_.load() && !closed_) {
        int rc = sd_bus_process(bus, nullptr);
        if (rc < 0) {
            closed_ = true;  // the bus is gone, and with it the portal session
            break;
        }
        if (rc == 0) sd_bus_wait(bus, 100'000);
    }
    if (closed_ && !stop_.load() && on_closed_) on_closed_();
}

PortalSession::~PortalSession() {
    stop_.store(true);
    if (watcher_.joinable()) watcher_.join();
    if (bus_ && !session_path_.empty() && !closed_) {
        BusError error;
        sd_bus_call_method(bus_.get(), kPortalName, session_path_.c_str(),
                           "org.freedesktop.portal.Session", "Close", &error.error, nullptr, "");
    }
}

}  // namespace platform::wayland
