// The presenter's identities: statuses (each also the id of the timer that animates it),
// projection states, the main window's buttons (also the timer ids of their deferred actions),
// timers and menu commands. The numbers are the flow's own and stay stable.
#pragma once

namespace beamora {

// Statuses of the main window.
enum Status : int {
    StatusIdle = 4003,        // no receiver: the Search Again button
    StatusStarting = 4004,    // about to search
    StatusSearching = 4005,   // listening for receivers
    StatusConnecting = 4006,  // logging in
    StatusReady = 4007,       // logged in, not projecting
    StatusPlaying = 4008,     // projecting
};

// Tick interval of a status's timer, in ms (0 for a value that is no status).
constexpr int StatusInterval_ms(int status) {
    switch (status) {
        case StatusIdle:
        case StatusStarting:
            return 100;
        case StatusSearching:
        case StatusConnecting:
            return 200;
        case StatusReady:
        case StatusPlaying:
            return 1000;
        default:
            return 0;
    }
}
// The starting status's first tick at start-up comes at once.
inline constexpr int kStartupTick_ms = 1;

// Projection state.
enum ProjectionState : int {
    ProjectionBusy = 0,  // a start or stop request is under way
    ProjectionPlaying = 1006,
    ProjectionStopped = 1007,
    ProjectionClosing = 1012,  // the user chose Exit
};

// The only panel mode: the presentation panel is the face shown.
inline constexpr int PanelPresentation = 1026;

// The main window's buttons.
enum MainButton : int {
    kButtonPlay = 1006,
    kButtonStop = 1007,
    kButtonRefresh = 1008,
    kButtonMinimise = 1009,
    kButtonExit = 1010,
    kButtonMenu = 1011,
    kButtonReconnect = 1028,
};

// Timers besides the status timers and the deferred button actions (1006 to 1008, 500 ms).
enum TimerIdValue : int {
    kTimerSearchTimeout = 1024,  // 10 s: the search gave nothing
    kTimerExit = 2048,           // 4 s after Exit: the application ends
    kTimerTopmost = 3072,        // 1 s: the window stops being on top
};
inline constexpr int kDeferredAction_ms = 500;
inline constexpr int kExitDelay_ms = 4000;
inline constexpr int kTopmost_ms = 1000;

// Commands of the context menu.
enum Command : int {
    CmdWebPage = 32771,
    CmdSearchAgain = 32772,
    CmdInformation = 32773,
    CmdHelp = 32774,
    CmdAbout = 32775,
    CmdExit = 32776,
    CmdEnglish = 32777,
    CmdTraditionalChinese = 32778,
    CmdSimplifiedChinese = 32779,
    CmdJapanese = 32780,
};

// Where the Menu button opens the context menu, in client pixels.
inline constexpr int kMenuPointX = 264;
inline constexpr int kMenuPointY = 18;

// The model name: the window title, which is also how a second copy finds the first.
inline constexpr char kModelName[] = "RVX-700";

}  // namespace beamora
