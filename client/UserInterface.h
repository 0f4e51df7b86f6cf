// Tarrowlink: the client library of the Beamora presenter. The application drives discovery,
// login and projection through UserInterface and is told what happens through notifications.
//
// Every UserInterface (and the library's own threads) works on one process-wide session. Results
// are 1 for success and 0 for failure unless a method says otherwise; nothing is thrown.
#pragma once

#include <cstdint>
#include <memory>

#if defined(_WIN32)
#if defined(TARROWLINK_BUILDING)
#define TARROWLINK_API __declspec(dllexport)
#else
#define TARROWLINK_API __declspec(dllimport)
#endif
#else
#define TARROWLINK_API __attribute__((visibility("default")))
#endif

// One receiver as heard from its beacon: zero-terminated 8-bit texts.
struct tagSERVERLIST {
    char name[32];     // the receiver's name
    char address[16];  // dotted IPv4 address the beacon came from
};
static_assert(sizeof(tagSERVERLIST) == 48, "the receiver list layout is shared with applications");

// Entries of the list that SearchServer fills.
constexpr int kServerListEntries = 256;

// Name under which the notification message number is registered (platform::RegisterMessage).
inline constexpr char kProjectorNotifyName[] = "PROJECTOR_NOTIFY";

// Notification codes (lParam of the notify message).
enum NotifyCode : int {
    kNotifyNoUdpSocket = 1029,       // discovery could not create its UDP socket
    kNotifyBindFailed = 1031,        // discovery could not bind the beacon port
    kNotifyStartRejected = 1034,     // the start was refused or failed, or the desktop's screen
                                     // sharing ended (LastFailure says which); projection stopped
    kNotifyReceiverStopped = 1035,   // the receiver stopped the projection
    kNotifyReceiverStarted = 1036,   // the receiver started (or resumed) the projection
    kNotifyReceiveFailed = 1037,     // receiving a beacon failed; discovery ended
    kNotifyConnectionLost = 1038,    // the control connection to the receiver is lost
    kNotifyCodeError = 1044,         // the receiver wants a login code, or the code was wrong
    kNotifyCodeOk = 1045,            // the receiver accepted the login
    kNotifyResolutionChanged = 1046  // the receiver changed its mode and it was applied
};

// Why the last login or projection start failed (UserInterface::LastFailure). Set before the
// failing call returns, or before the kNotifyStartRejected that reports a start that failed.
enum FailureCode : int {
    kFailureNone = 0,
    kFailureNoConnection = 1,     // nothing takes connections at that address and port
    kFailureNoAnswer = 2,         // the receiver did not connect or answer within the time limit
    kFailureVersionRefused = 3,   // the receiver refused this program's version
    kFailureCodeRefused = 4,      // the receiver wants a login code, or the code was wrong
    kFailureUnsupportedMode = 5,  // the receiver's mode text is one this program cannot serve
    kFailureSendFailed = 6,       // a message could not be sent on the control connection
    kFailureNoScreen = 7,         // no desktop to capture (no X display)
    kFailureCaptureSetup = 8,     // the capture or the encoder could not be set up
    kFailureOutOfMemory = 9,      // the frame buffers could not be allocated
    kFailureStartRejected = 10,   // the receiver rejected the start
    kFailureNoVersionFile = 11,   // the installed "version" file is missing or unreadable
    kFailureScreenCast = 12       // the desktop's screen sharing (Wayland) was refused or ended
};

// What the data connection carried since the library was loaded (UserInterface::GetDataStats).
struct DataStats {
    uint64_t units_sent = 0;   // units handed whole to the connection
    uint64_t bytes_sent = 0;   // their bytes
    uint32_t connections = 0;  // data connections made
    uint32_t failures = 0;     // connections that could not be made or were cut
};

// The application's receiver of notifications (its main window).
class NotifyTarget {
  public:
    virtual ~NotifyTarget() = default;
    // Called on a library thread (or the API caller's); must run the application's handler for
    // (message, wparam = last socket error of that thread, lparam = NotifyCode) on the
    // application's UI thread and return only after the handler has returned.
    virtual void SendNotify(unsigned int message, uintptr_t wparam, intptr_t lparam) = 0;
};

// What SetWindowHandle takes; nullptr turns notifications off. On Windows it is a window handle
// (HWND): the library sends it the registered message "PROJECTOR_NOTIFY" with SendMessageA, so
// the window's thread must be pumping messages.
#if defined(_WIN32)
using WindowHandle = struct HWND__*;
#else
using WindowHandle = NotifyTarget*;
#endif

class ClientControl;

class TARROWLINK_API UserInterface {
  public:
    UserInterface();
    // Deletes this object's ClientControl; library threads and sockets live on with the process.
    virtual ~UserInterface();
    // Copies would share one ClientControl and delete it twice; the application never copies.
    UserInterface(const UserInterface&) = delete;
    UserInterface& operator=(const UserInterface&) = delete;

    // Prepares the session; call once before anything else. Returns 1 when this call started the
    // network layer, 0 when an earlier call had (the session is usable either way) or it failed.
    int Initialize();
    // Sets the target of notifications; nullptr turns them off. Any thread.
    void SetWindowHandle(WindowHandle window);
    // Fills list (kServerListEntries entries, zero-filled by the caller) with the receivers heard
    // since the previous call. Blocks until the first receiver has been heard or discovery fails
    // (no time limit: call it from a worker thread). 1 when at least one receiver was handed over.
    int SearchServer(tagSERVERLIST* list);
    // Connects to the receiver at address (a tagSERVERLIST address), passes the version check and
    // logs in without a code. 0 with notification kNotifyCodeError when the receiver wants a code
    // (then call SendServerPwd). Blocks up to about 20 s on a receiver that does not answer.
    int LoginServer(const char* address);
    // Logs in again with the code the user typed; 0 (and kNotifyCodeError) when it is wrong.
    int SendServerPwd(unsigned long code);
    // Asks the receiver to start; kNotifyReceiverStarted or kNotifyStartRejected follows (the
    // latter also when the receiver agreed but this side could not start: LastFailure says why,
    // and the receiver has been told to stop). 0 while projecting or when the request could not
    // be sent.
    int StartProjecting();
    // Stops the projection: 0 when the user stops (the receiver is told), 1 when the receiver has
    // already stopped or refused. 0 when already stopped.
    int StopProjecting(int from_receiver);
    // Asks the desktop to redraw everything, so that every pixel is sent again.
    void Refresh();
    // The receiver's mode from the last login or resolution change; -1 for values not known yet.
    void GetReceiverMode(int* width, int* height, int* bits_per_pixel) const;
    // What the data connection has carried so far. Any thread.
    void GetDataStats(DataStats* stats) const;
    // Why the most recent LoginServer, SendServerPwd or projection start failed (a FailureCode);
    // kFailureNone after one that succeeded. Any thread.
    int LastFailure() const;

  private:
    std::unique_ptr<ClientControl> m_session;
};
