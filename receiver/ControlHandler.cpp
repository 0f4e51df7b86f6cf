#include "receiver/ControlHandler.h"

#include "platform/Debug.h"
#include "receiver/VersionCheck.h"

namespace receiver {
namespace {

ControlMessage Message(int32_t type) {
    ControlMessage message;
    message.type = type;
    return message;
}

ControlMessage ModeMessage(int32_t type, const ReceiverMode& mode) {
    ControlMessage message = Message(type);
    message.SetPayloadText(0, mode.Text());
    return message;
}

}  // namespace

ControlHandler::ControlHandler(ReceiverSettings settings) : settings_(std::move(settings)) {
    start_.mode = settings_.mode;
}

std::string ControlHandler::Describe(int id) const {
    auto it = presenters_.find(id);
    std::string address = it == presenters_.end() ? "?" : it->second.address;
    return "presenter " + address + " #" + std::to_string(id);
}

bool ControlHandler::LoggedIn(int id) const {
    auto it = presenters_.find(id);
    return it != presenters_.end() && it->second.logged_in;
}

std::optional<std::string> ControlHandler::ProjectingAddress() const {
    if (!projecting_) return std::nullopt;
    auto it = presenters_.find(*projecting_);
    if (it == presenters_.end()) return std::nullopt;
    return it->second.address;
}

void ControlHandler::Connected(int id, const std::string& address) {
    presenters_[id] = Presenter{address, {}, false, 0, 0};
    platform::DebugFormat("control: %s connected\n", Describe(id).c_str());
}

ControlActions ControlHandler::Disconnected(int id) {
    ControlActions actions;
    platform::DebugFormat("control: %s disconnected\n", Describe(id).c_str());
    if (projecting_ == id) {
        projecting_.reset();
        actions.projection_stopped = true;
        platform::DebugFormat("control: projection ended with the connection\n");
    }
    presenters_.erase(id);
    return actions;
}

void ControlHandler::BeginProjection(int id, ControlActions& actions) {
    projecting_ = id;
    start_ = ProjectionStart{settings_.mode, 0, 0};
    actions.sends.push_back({id, Message(SERVER_START)});
    actions.projection_started = true;
}

ControlActions ControlHandler::Received(int id, const ControlMessage& message) {
    ControlActions actions;
    auto it = presenters_.find(id);
    if (it == presenters_.end()) return actions;
    Presenter& presenter = it->second;
    const std::string who = Describe(id);

    switch (message.type) {
        case MSG_VERSION: {
            auto version = DecryptVersionText(message.payload.data());
            bool ok = version && (!settings_.version_text ||
                                  VersionMatches(*version, *settings_.version_text));
            if (ok) {
                actions.sends.push_back({id, ModeMessage(SERVER_VERSION_OK, settings_.mode)});
            } else {
                actions.sends.push_back({id, Message(SERVER_VERSION_ERROR)});
            }
            platform::DebugFormat("control: %s MSG_VERSION \"%s\": %s\n", who.c_str(),
                                  version ? version->c_str() : "",
                                  ok ? "SERVER_VERSION_OK" : "SERVER_VERSION_ERROR");
            break;
        }
        case MSG_LOGIN: {
            LoginRequest login = LoginRequest::From(message);
            bool ok = !settings_.code || login.code == *settings_.code;
            presenter.computer_name = login.computer_name;
            if (ok) {
                presenter.logged_in = true;
                presenter.login_order = ++logins_;
            }
            actions.sends.push_back({id, Message(ok ? SERVER_CODE_OK : SERVER_CODE_ERROR)});
            platform::DebugFormat("control: %s MSG_LOGIN from \"%s\" with code %d: %s\n",
                                  who.c_str(), login.computer_name.c_str(), login.code,
                                  ok ? "SERVER_CODE_OK" : "SERVER_CODE_ERROR");
            break;
        }
        case MSG_START_REQUEST: {
            if (settings_.misbehaviour == ReceiverSettings::Misbehaviour::kSilentStart) {
                platform::DebugFormat(
                    "control: %s MSG_START_REQUEST: not answered (silent-start)\n", who.c_str());
                break;
            }
            const char* refusal = nullptr;
            if (!presenter.logged_in) {
                refusal = "not logged in";
            } else if (settings_.reject) {
                refusal = "this receiver rejects every start";
            } else if (projecting_ && *projecting_ != id) {
                refusal = "another presenter is projecting";
            }
            if (refusal != nullptr) {
                actions.sends.push_back({id, Message(SERVER_START_REJECT)});
                platform::DebugFormat("control: %s MSG_START_REQUEST: SERVER_START_REJECT (%s)\n",
                                      who.c_str(), refusal);
            } else {
                BeginProjection(id, actions);
                platform::DebugFormat("control: %s MSG_START_REQUEST: SERVER_START\n", who.c_str());
            }
            break;
        }
        case MSG_STOP_REQUEST:
            platform::DebugFormat("control: %s MSG_STOP_REQUEST\n", who.c_str());
            if (projecting_ == id) {
                projecting_.reset();
                actions.projection_stopped = true;
            }
            break;
        case MSG_PICTURE_SIZE: {
            int32_t width = message.PayloadInt(0);
            int32_t height = message.PayloadInt(4);
            bool valid =
                width >= 1 && width <= kMaxPictureSide && height >= 1 && height <= kMaxPictureSide;
            if (projecting_ == id && valid) {
                start_.announced_width = width;
                start_.announced_height = height;
            }
            platform::DebugFormat("control: %s MSG_PICTURE_SIZE %dx%d%s\n", who.c_str(), width,
                                  height,
                                  !valid              ? " ignored: not a picture size"
                                  : projecting_ != id ? " ignored: not projecting"
                                                      : "");
            break;
        }
        case MSG_SCREEN_CHANGED:
            platform::DebugFormat("control: %s MSG_SCREEN_CHANGED\n", who.c_str());
            break;
        case MSG_KEEP_ALIVE:
            // Every 10 s from each presenter: counted, not written.
            ++presenter.keep_alives;
            break;
        default:
            platform::DebugFormat("control: %s sent unknown message type %d, ignored\n",
                                  who.c_str(), message.type);
            break;
    }
    return actions;
}

ControlActions ControlHandler::Stop() {
    ControlActions actions;
    if (!projecting_) {
        platform::DebugOutput("control: stop: no presenter is projecting\n");
        return actions;
    }
    platform::DebugFormat("control: %s: SERVER_STOP\n", Describe(*projecting_).c_str());
    actions.sends.push_back({*projecting_, Message(SERVER_STOP)});
    actions.projection_stopped = true;
    projecting_.reset();
    return actions;
}

ControlActions ControlHandler::Start() {
    ControlActions actions;
    std::optional<int> target = projecting_;
    uint64_t latest = 0;
    if (!target) {
        for (const auto& [id, presenter] : presenters_) {
            if (presenter.logged_in && presenter.login_order > latest) {
                latest = presenter.login_order;
                target = id;
            }
        }
    }
    if (!target) {
        platform::DebugOutput("control: start: no presenter is logged in\n");
        return actions;
    }
    platform::DebugFormat("control: %s: SERVER_START\n", Describe(*target).c_str());
    if (projecting_) {
        // Already projecting: the presenter ignores it, and the projection keeps its start.
        actions.sends.push_back({*target, Message(SERVER_START)});
    } else {
        BeginProjection(*target, actions);
    }
    return actions;
}

ControlActions ControlHandler::ChangeMode(const ReceiverMode& mode) {
    ControlActions actions;
    settings_.mode = mode;
    ControlMessage message = ModeMessage(SERVER_CHANGE_RESOLUTION, mode);
    int told = 0;
    for (const auto& [id, presenter] : presenters_) {
        if (!presenter.logged_in) continue;
        actions.sends.push_back({id, message});
        ++told;
    }
    platform::DebugFormat(
        "control: mode %s: SERVER_CHANGE_RESOLUTION to %d presenter(s)%s\n", mode.Text().c_str(),
        told, projecting_ ? "; the projection keeps its mode until its next start" : "");
    return actions;
}

}  // namespace receiver
