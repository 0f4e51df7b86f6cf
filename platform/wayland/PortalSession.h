// The portal half of a screen cast: the org.freedesktop.portal.ScreenCast conversation over
// sd-bus (CreateSession, SelectSources, Start, OpenPipeWireRemote), the restore token, and the
// watch for the session's end. The PipeWire half is in ScreenCast.cpp.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <thread>

#include "platform/Socket.h"

struct sd_bus;
struct sd_bus_slot;

namespace platform::wayland {

struct BusDeleter {
    void operator()(sd_bus* bus) const;
};
using BusPtr = std::unique_ptr<sd_bus, BusDeleter>;
struct SlotDeleter {
    void operator()(sd_bus_slot* slot) const;
};
using SlotPtr = std::unique_ptr<sd_bus_slot, SlotDeleter>;

// What Start gave: the PipeWire remote and the node of the one monitor.
struct PortalStream {
    UniqueFd remote;               // the PipeWire connection the portal opened for us
    uint32_t node_id = 0;          // the monitor's stream node
    bool cursor_metadata = false;  // the pointer comes as metadata, not drawn into the frames
};

class PortalSession {
  public:
    // Negotiates a cast of one monitor. nullptr with *error (words for the user) on failure,
    // refusal or timeout; *stream filled on success. on_closed is called once, on the session's
    // own thread, when the desktop closes the session later.
    static std::unique_ptr<PortalSession> Open(PortalStream* stream, std::string* error,
                                               std::function<void()> on_closed);
    // Closes the portal session.
    ~PortalSession();
    PortalSession(const PortalSession&) = delete;
    PortalSession& operator=(const PortalSession&) = delete;

  private:
    PortalSession() = default;
    void WatchLoop();

    BusPtr bus_;
    std::string session_path_;
    SlotPtr closed_match_;  // the session's Closed signal
    bool closed_ = false;   // set by that signal, on the watcher's thread
    std::function<void()> on_closed_;
    std::atomic<bool> stop_{false};
    std::thread watcher_;
};

// Whether the session bus offers ScreenCast at all (a property read, bounded).
bool PortalScreenCastVersion(uint32_t* version, uint32_t* cursor_modes);

}  // namespace platform::wayland
