// The presenter program `beamora` driven as a user drives it, on a private Xvfb against
// beamora-receiver programs on loopback: the search and the login with and without a code, the
// choice between two receivers, Play, Stop, Refresh and Exit, the receiver's own stop and start,
// and what the window says when no receiver answers or the receiver dies. The program tells its
// statuses and messages through its BEAMORA_DEBUG lines; clicks and keys come from xdotool.
//
// With BEAMORA_SCREENSHOT_DIR set, each step's screen around the window and its panels is saved
// there as flow-*.png (docs/screenshots holds the set).
#include <gtest/gtest.h>
#include <signal.h>

#include <QImage>
#include <chrono>
#include <cstdlib>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "tests/e2e/EndToEnd.h"

// Xlib's macros (Status, None, Bool) clash with Qt's and GoogleTest's names: it comes last.
// clang-format off
#include "platform/x11/XDisplay.h"
#include <X11/Xlib.h>
// clang-format on

namespace e2e {
namespace {

using Clock = std::chrono::steady_clock;

// The window's statuses as its debug lines give them.
constexpr int kIdle = 4003;
constexpr int kStarting = 4004;
constexpr int kSearching = 4005;
constexpr int kConnecting = 4006;
constexpr int kReady = 4007;
constexpr int kPlaying = 4008;
// Messages, by language entry.
constexpr int kConnectionLost = 56;
constexpr int kNoReceiver = 70;
constexpr int kWrongCode = 73;

// Window titles in English.
constexpr char kMainTitle[] = "RVX-700";
constexpr char kListTitle[] = "Select a Projector";
constexpr char kCodeTitle[] = "Login Code";
constexpr char kMessageTitle[] = "Error";

// The part of the screen that holds the main window and the panels: plain desktop under them, so
// that the screenshots show them clearly; the test pattern covers the rest.
const QRect kShotArea(312, 203, 400, 352);
constexpr uint32_t kDesktop = 0x3A6EA5;

// The receiver list's rows, 13 pixels high (its font), start 18 pixels below its top: its frame
// and column header.
constexpr int kListHeader_px = 18;
constexpr int kListRow_px = 13;

// The skin's layout, read from the data directory the tests run in, as the program reads it.
class SkinLayout {
  public:
    SkinLayout() {
        std::ifstream in("Position/Position.txt");
        int value = 0;
        std::string key;
        while (in >> value >> key) values_[key] = value;
    }
    QPoint At(const std::string& key) const {
        auto get = [&](const std::string& name) {
            auto found = values_.find(name);
            return found != values_.end() ? found->second : -1000;
        };
        return QPoint(get(key + "_X"), get(key + "_Y"));
    }
    // The centre of picture UI/NAME.bmp placed at key.
    QPoint Centre(const std::string& key, const std::string& picture) const {
        const QImage image(QString::fromStdString("UI/" + picture + ".bmp"));
        return At(key) + QPoint(image.width() / 2, image.height() / 2);
    }

  private:
    std::map<std::string, int> values_;
};

// `beamora` on the given display, in English, with its debug lines in beamora.txt.
class Beamora {
  public:
    Beamora(const TempDir& dir, const std::string& display)
        : process_(BEAMORA_PROGRAM, {}, dir.File("beamora.txt"),
                   {{"DISPLAY", display},
                    {"LANG", "C"},
                    {"LC_ALL", ""},
                    {"LC_MESSAGES", ""},
                    {"BEAMORA_DEBUG", "1"}}) {}
    ChildProcess& process() { return process_; }
    // Every status shown so far, in order.
    std::vector<int> Statuses() const { return Numbers("Beamora: status "); }
    // Every message panel shown so far, in order.
    std::vector<int> Messages() const { return Numbers("Beamora: message "); }
    // Waits until more than `seen` statuses have been shown and the latest is `status`.
    bool AwaitStatus(int status, size_t seen = 0, int timeout_ms = 15000) const {
        return WaitFor(
            [&] {
                const std::vector<int> all = Statuses();
                return all.size() > seen && all.back() == status;
            },
            timeout_ms);
    }
    bool AwaitMessage(int entry, int timeout_ms = 15000) const {
        return process_.WaitForLog("Beamora: message " + std::to_string(entry) + "\n", 1,
                                   timeout_ms);
    }

  private:
    std::vector<int> Numbers(const std::string& prefix) const {
        std::vector<int> numbers;
        std::istringstream log(process_.Log());
        for (std::string line; std::getline(log, line);) {
            if (line.rfind(prefix, 0) == 0) {
                numbers.push_back(std::atoi(line.c_str() + prefix.size()));
            }
        }
        return numbers;
    }
    ChildProcess process_;
};

// The statuses from index `first` on.
std::vector<int> From(const std::vector<int>& all, size_t first) {
    return std::vector<int>(all.begin() + static_cast<long>(std::min(first, all.size())),
                            all.end());
}

class PresenterFlow : public EndToEnd {
  protected:
    void SetUp() override {
        StartScreen();
        display_.reset(XOpenDisplay(xvfb_->Display().c_str()));
        ASSERT_TRUE(display_);
        // What the server repaints itself (under a window that goes, after a refresh) is plain.
        XSetWindowBackground(display_.get(), DefaultRootWindow(display_.get()), kDesktop);
        XSync(display_.get(), False);
        screen_->Put(TestPattern(1024, 768, 21), 0, 0);
        screen_->Fill(kShotArea.x(), kShotArea.y(), kShotArea.width(), kShotArea.height(),
                      kDesktop);
    }

    Beamora& StartBeamora() {
        beamora_ = std::make_unique<Beamora>(dir_, xvfb_->Display());
        return *beamora_;
    }

    // The viewable top-level window titled `title` (no window manager: children of the root).
    Window FindWindow(const std::string& title) {
        Display* d = display_.get();
        Window root = 0, parent = 0, *children = nullptr, found = 0;
        unsigned int count = 0;
        if (!XQueryTree(d, DefaultRootWindow(d), &root, &parent, &children, &count)) return 0;
        for (unsigned int i = 0; i < count && found == 0; ++i) {
            char* name = nullptr;
            XWindowAttributes attributes{};
            if (XFetchName(d, children[i], &name) && name != nullptr) {
                if (title == name && XGetWindowAttributes(d, children[i], &attributes) &&
                    attributes.map_state == IsViewable) {
                    found = children[i];
                }
                XFree(name);
            }
        }
        if (children != nullptr) XFree(children);
        return found;
    }
    // Waits for that window and its first painting (a pixel inside it is no longer the plain
    // desktop's); 0 when it does not come.
    Window AwaitWindow(const std::string& title, int timeout_ms = 10000) {
        Window window = 0;
        WaitFor([&] { return (window = FindWindow(title)) != 0; }, timeout_ms);
        if (window == 0) return 0;
        const QPoint centre = Origin(window) + QPoint(160, 40);
        WaitFor([&] { return screen_->Grab().pixel(centre) != (0xFF000000u | kDesktop); }, 3000);
        return window;
    }
    bool AwaitGone(const std::string& title, int timeout_ms = 5000) {
        return WaitFor([&] { return FindWindow(title) == 0; }, timeout_ms);
    }
    // The window's top-left corner on the screen.
    QPoint Origin(Window window) {
        int x = 0, y = 0;
        Window child = 0;
        XTranslateCoordinates(display_.get(), window, DefaultRootWindow(display_.get()), 0, 0, &x,
                              &y, &child);
        return QPoint(x, y);
    }

    void XDo(std::vector<std::string> arguments) {
        ChildProcess tool("/usr/bin/xdotool", std::move(arguments), dir_.File("xdotool.txt"),
                          {{"DISPLAY", xvfb_->Display()}});
        tool.Wait(5000);
    }
    void Click(QPoint at, int clicks = 1) {
        std::vector<std::string> arguments{"mousemove", std::to_string(at.x()),
                                           std::to_string(at.y()), "click"};
        if (clicks > 1) arguments.insert(arguments.end(), {"--repeat", "2", "--delay", "80"});
        arguments.push_back("1");
        XDo(arguments);
    }
    // Clicks the main window's button drawn from `picture` at position `key`.
    void ClickButton(const std::string& key, const std::string& picture) {
        const Window window = FindWindow(kMainTitle);
        ASSERT_NE(window, 0u) << Logs();
        Click(Origin(window) + skin_.Centre(key, picture));
    }
    void ClickPlay() { ClickButton("QLX_PRESENTATION_PLAY", "QLX_Presentation_Play"); }
    void ClickStop() { ClickButton("QLX_PRESENTATION_STOP", "QLX_Presentation_Stop"); }
    void ClickRefresh() { ClickButton("QLX_PRESENTATION_REFRESH", "QLX_Presentation_Refresh"); }
    void ClickExit() { ClickButton("QLX_PRESENTATION_EXIT", "QLX_Presentation_Exit"); }
    void ClickSearchAgain() { ClickButton("QLX_RECONNECT_BUTTON", "QLX_Button"); }
    // Closes the message panel with its OK button.
    void Acknowledge() {
        const Window panel = AwaitWindow(kMessageTitle);
        ASSERT_NE(panel, 0u) << Logs();
        Click(Origin(panel) + skin_.Centre("QLX_MESSAGEBOX_BUTTON_OK", "QLX_Button"));
        EXPECT_TRUE(AwaitGone(kMessageTitle)) << Logs();
    }
    // Gives `window` the focus and presses `keys` (xdotool's key names) there.
    void Keys(Window window, const std::vector<std::string>& keys) {
        XSetInputFocus(display_.get(), window, RevertToParent, CurrentTime);
        XSync(display_.get(), False);
        std::vector<std::string> arguments{"key", "--delay", "30"};
        arguments.insert(arguments.end(), keys.begin(), keys.end());
        XDo(arguments);
    }

    // Polls until the receiver's picture is the screen as a 16-bit receiver shows it; the last
    // differences otherwise. The pointer rests on the desktop, whose pointer is invisible.
    std::string AwaitScreen(Receiver& receiver, int timeout_ms = 15000) {
        screen_->MovePointer(4, 4);
        std::string last;
        WaitFor(
            [&] {
                const QImage expected = Reduce(screen_->Grab(), 16);
                last = Differences(expected, receiver.Snapshot());
                return last.empty();
            },
            timeout_ms);
        return last;
    }

    // Saves the screen's presenter area as flow-NAME.png when BEAMORA_SCREENSHOT_DIR is set. A
    // status's face is painted by its first tick, up to a second after the change: the picture is
    // taken after that second.
    void Shot(const std::string& name) {
        const char* folder = std::getenv("BEAMORA_SCREENSHOT_DIR");
        if (folder == nullptr || *folder == '\0') return;
        std::this_thread::sleep_for(std::chrono::milliseconds(1100));
        screen_->Grab().copy(kShotArea).save(
            QString::fromStdString(std::string(folder) + "/flow-" + name + ".png"));
    }

    std::string Logs() const {
        return beamora_ ? "beamora:\n" + beamora_->process().Log() : std::string();
    }

    platform::XDisplayPtr display_;
    SkinLayout skin_;
    std::unique_ptr<Beamora> beamora_;
};

TEST_F(PresenterFlow, OneReceiverFromTheSearchThroughPlayStopRefreshToExit) {
    Receiver receiver(dir_, {"--mode", "1024x768x16"});
    ASSERT_TRUE(receiver.WaitReady());
    ChildProcess& log = receiver.process();
    Beamora& beamora = StartBeamora();

    // Found, logged in without any panel, and presenting at once.
    ASSERT_TRUE(beamora.AwaitStatus(kSearching)) << Logs();
    Shot("a1-searching");
    ASSERT_TRUE(beamora.AwaitStatus(kPlaying, 0, 20000)) << Logs();
    EXPECT_EQ(beamora.Statuses(),
              (std::vector<int>{kStarting, kSearching, kConnecting, kReady, kPlaying}));
    EXPECT_EQ(beamora.process().Count("Beamora: search result 1, 1 receivers listed\n"), 1);
    EXPECT_TRUE(beamora.Messages().empty()) << Logs();
    EXPECT_EQ(log.Count("with code 0: SERVER_CODE_OK\n"), 1) << log.Log();
    EXPECT_EQ(AwaitScreen(receiver), "") << log.Log();
    Shot("a2-playing");

    // The receiver stops the projection and starts it again.
    size_t seen = beamora.Statuses().size();
    ASSERT_TRUE(receiver.Command("stop"));
    ASSERT_TRUE(beamora.AwaitStatus(kReady, seen)) << Logs();
    Shot("a3-stopped-by-the-receiver");
    seen = beamora.Statuses().size();
    ASSERT_TRUE(receiver.Command("start"));
    ASSERT_TRUE(beamora.AwaitStatus(kPlaying, seen)) << Logs();

    // Stop: the receiver is told.
    const int stops = log.Count("MSG_STOP_REQUEST\n");
    seen = beamora.Statuses().size();
    ClickStop();
    ASSERT_TRUE(beamora.AwaitStatus(kReady, seen)) << Logs();
    EXPECT_TRUE(log.WaitForLog("MSG_STOP_REQUEST\n", stops + 1)) << log.Log();
    Shot("a4-ready");

    // Play twice within its half second: one start request.
    const int starts = log.Count("MSG_START_REQUEST: SERVER_START\n");
    seen = beamora.Statuses().size();
    ClickPlay();
    ClickPlay();
    ASSERT_TRUE(beamora.AwaitStatus(kPlaying, seen)) << Logs();

    // Refresh has every window repaint (this test's own among them); the server repaints the
    // desktop, and what changes afterwards still arrives.
    Display* d = display_.get();
    const Window probe =
        XCreateSimpleWindow(d, DefaultRootWindow(d), 960, 704, 48, 48, 0, 0, 0x808080);
    XSelectInput(d, probe, ExposureMask);
    XMapWindow(d, probe);
    XSync(d, False);
    XEvent event{};
    auto exposed = [&] { return XCheckWindowEvent(d, probe, ExposureMask, &event) == True; };
    ASSERT_TRUE(WaitFor(exposed, 3000));
    while (WaitFor(exposed, 100)) {
    }
    ClickRefresh();
    EXPECT_TRUE(WaitFor(exposed, 5000)) << Logs();
    // Half a second after the second Play click has long passed: it started nothing.
    EXPECT_EQ(log.Count("MSG_START_REQUEST: SERVER_START\n"), starts + 1) << log.Log();
    screen_->Put(TestPattern(1024, 160, 22), 0, 0);
    EXPECT_EQ(AwaitScreen(receiver), "") << log.Log();
    Shot("a5-playing-after-refresh");
    EXPECT_EQ(beamora.Statuses().back(), kPlaying);

    // Exit: the window goes at once, the projection stops, the program ends about 4 s later.
    const int stops_before_exit = log.Count("MSG_STOP_REQUEST\n");
    const auto clicked = Clock::now();
    ClickExit();
    EXPECT_TRUE(AwaitGone(kMainTitle, 2000)) << Logs();
    Shot("a6-exit");
    EXPECT_EQ(beamora.process().Wait(10000), 0) << Logs();
    const auto ended_ms =
        std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - clicked).count();
    EXPECT_GE(ended_ms, 3000);
    EXPECT_LE(ended_ms, 8000);
    EXPECT_EQ(log.Count("MSG_STOP_REQUEST\n"), stops_before_exit + 1) << log.Log();
}

TEST_F(PresenterFlow, LoginCodePanelRefusesAWrongCodeAndTheRightOneShowsOnTheDeck) {
    Receiver receiver(dir_, {"--code", "4829"});
    ASSERT_TRUE(receiver.WaitReady());
    ChildProcess& log = receiver.process();
    Beamora& beamora = StartBeamora();

    Window panel = AwaitWindow(kCodeTitle, 20000);
    ASSERT_NE(panel, 0u) << Logs();
    EXPECT_EQ(beamora.Statuses().back(), kConnecting);
    Shot("b1-login-code");
    Keys(panel, {"1", "1", "1", "1", "Return"});
    ASSERT_TRUE(beamora.AwaitMessage(kWrongCode)) << Logs();
    Shot("b2-wrong-code");
    Acknowledge();

    // Asked again; the right code logs in and the projection starts.
    panel = AwaitWindow(kCodeTitle);
    ASSERT_NE(panel, 0u) << Logs();
    Keys(panel, {"4", "8", "2", "9", "Return"});
    ASSERT_TRUE(beamora.AwaitStatus(kPlaying)) << Logs();
    EXPECT_EQ(beamora.Messages(), std::vector<int>{kWrongCode});
    EXPECT_EQ(log.Count("with code 1111: SERVER_CODE_ERROR\n"), 1) << log.Log();
    EXPECT_EQ(log.Count("with code 4829: SERVER_CODE_OK\n"), 1) << log.Log();

    // The deck shows the code, each digit as the skin draws it.
    const Window window = FindWindow(kMainTitle);
    ASSERT_NE(window, 0u);
    const QPoint at = Origin(window) + skin_.At("QLX_PRESENTATION_LOGINCODE");
    auto shows_code = [&] {
        const QImage screen = screen_->Grab();
        const std::string code = "4829";
        for (int i = 0; i < 4; ++i) {
            const QImage digit = QImage(QString::fromStdString("UI/QLX_Presentation_Num_" +
                                                               code.substr(i, 1) + ".bmp"))
                                     .convertToFormat(QImage::Format_RGB32);
            if (digit.isNull()) return false;
            if (screen.copy(at.x() + 6 * i, at.y(), digit.width(), digit.height()) != digit) {
                return false;
            }
        }
        return true;
    };
    EXPECT_TRUE(WaitFor(shows_code, 3000));
    Shot("b3-code-on-the-deck");
}

TEST_F(PresenterFlow, TwoReceiversAreListedAndADoubleClickOnTheSecondRowLogsInToIt) {
    Receiver first(dir_, {"--bind", "127.0.0.1", "--name", "e2e-first"}, "first.txt");
    ASSERT_TRUE(first.WaitReady()) << first.process().Log();
    Beamora& beamora = StartBeamora();
    // The second starts once the presenter has heard the first: the list holds them in order.
    ASSERT_TRUE(beamora.process().WaitForLog("Hostname e2e-first, IP 127.0.0.1\n")) << Logs();
    Receiver second(dir_, {"--bind", "127.0.0.2", "--name", "e2e-second"}, "second.txt");
    ASSERT_TRUE(second.WaitReady()) << second.process().Log();

    const Window panel = AwaitWindow(kListTitle, 20000);
    ASSERT_NE(panel, 0u) << Logs();
    EXPECT_EQ(beamora.process().Count("Beamora: search result 1, 2 receivers listed\n"), 1)
        << Logs();
    Shot("c1-receiver-list");
    const QPoint list = Origin(panel) + skin_.At("QLX_SELPROJECTOR_LISTBOX");
    Click(list + QPoint(100, kListHeader_px + kListRow_px + kListRow_px / 2), 2);

    ASSERT_TRUE(beamora.AwaitStatus(kPlaying)) << Logs();
    EXPECT_EQ(second.process().Count("MSG_LOGIN"), 1) << second.process().Log();
    EXPECT_EQ(first.process().Count("MSG_LOGIN"), 0) << first.process().Log();
    EXPECT_EQ(AwaitScreen(second), "") << second.process().Log();
}

TEST_F(PresenterFlow, NoReceiverIsSaidAfterTenSecondsAndSearchAgainSearchesAgain) {
    Beamora& beamora = StartBeamora();
    ASSERT_TRUE(beamora.AwaitStatus(kSearching)) << Logs();
    const auto searching = Clock::now();
    ASSERT_TRUE(beamora.AwaitMessage(kNoReceiver, 20000)) << Logs();
    const auto waited_ms =
        std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - searching).count();
    EXPECT_GE(waited_ms, 8000);
    EXPECT_LE(waited_ms, 15000);
    Shot("d1-no-receiver");
    Acknowledge();

    // Idle, with the Search Again button (its top rows: its caption lies lower).
    ASSERT_TRUE(beamora.AwaitStatus(kIdle)) << Logs();
    const Window window = FindWindow(kMainTitle);
    ASSERT_NE(window, 0u);
    const QPoint at = Origin(window) + skin_.At("QLX_RECONNECT_BUTTON");
    const QImage button = QImage("UI/QLX_Button.bmp").convertToFormat(QImage::Format_RGB32);
    ASSERT_FALSE(button.isNull());
    EXPECT_TRUE(WaitFor([&] {
        return screen_->Grab().copy(at.x(), at.y(), button.width(), 6) ==
               button.copy(0, 0, button.width(), 6);
    }));
    Shot("d2-idle");

    const size_t seen = beamora.Statuses().size();
    ClickSearchAgain();
    ASSERT_TRUE(beamora.AwaitStatus(kSearching, seen)) << Logs();
    EXPECT_EQ(From(beamora.Statuses(), seen), (std::vector<int>{kStarting, kSearching}));
}

TEST_F(PresenterFlow, ReceiverKilledWhilePlayingIsSaidAndSearchAgainPresentsOnANewOne) {
    Beamora& beamora = StartBeamora();
    {
        Receiver doomed(dir_, {}, "doomed.txt");
        ASSERT_TRUE(doomed.WaitReady());
        ASSERT_TRUE(beamora.AwaitStatus(kPlaying, 0, 20000)) << Logs();
        ASSERT_TRUE(doomed.process().WaitForLog("data: connection from 127.0.0.1\n"));
        doomed.process().Signal(SIGKILL);
        EXPECT_EQ(doomed.process().Wait(), 128 + SIGKILL);
    }
    ASSERT_TRUE(beamora.AwaitMessage(kConnectionLost, 20000)) << Logs();
    Shot("e1-connection-lost");
    Acknowledge();
    ASSERT_TRUE(beamora.AwaitStatus(kIdle)) << Logs();
    EXPECT_EQ(beamora.Messages(), std::vector<int>{kConnectionLost});

    // A new receiver on the same ports: found, logged in to and presented on.
    screen_->Fill(0, 0, 300, 200, 0x20C060);
    Receiver receiver(dir_, {});
    ASSERT_TRUE(receiver.WaitReady());
    const size_t seen = beamora.Statuses().size();
    ClickSearchAgain();
    ASSERT_TRUE(beamora.AwaitStatus(kPlaying, seen, 20000)) << Logs();
    EXPECT_EQ(From(beamora.Statuses(), seen),
              (std::vector<int>{kStarting, kSearching, kConnecting, kReady, kPlaying}));
    EXPECT_EQ(AwaitScreen(receiver), "") << receiver.process().Log();
}

}  // namespace
}  // namespace e2e
