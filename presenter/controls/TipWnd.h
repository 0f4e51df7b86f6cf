// The presenter's own tooltip window "TipWnd". The main window's buttons are painted areas, not
// widgets, so this window watches the pointer itself: a poll finds the registered rectangle under
// the pointer, a delay later a one-line tip is shown beside the pointer, and it hides again after
// a while. There is one instance in the program.
#pragma once

#include <QFont>
#include <QPoint>
#include <QPointer>
#include <QRect>
#include <QString>
#include <QTimer>
#include <QWidget>
#include <memory>
#include <vector>

namespace beamora {

// What the tooltip asks of the desktop. Replaced in tests by a scripted desktop.
class TipEnvironment {
  public:
    virtual ~TipEnvironment() = default;
    // The pointer's position in global (desktop) pixels.
    virtual QPoint CursorPos() const = 0;
    // The widget under the global point `pos`, or nullptr.
    virtual QWidget* WidgetAt(QPoint pos) const = 0;
    // True while the left, middle or right mouse button is held.
    virtual bool AnyButtonDown() const = 0;
    // Geometry, in global pixels, of the screen that holds `pos`.
    virtual QRect ScreenGeometry(QPoint pos) const = 0;
};

// The real desktop through Qt.
std::unique_ptr<TipEnvironment> MakeDesktopTipEnvironment();

// Timer intervals; tests shorten them.
struct TipTimings {
    int poll_interval_ms = 300;
    int show_delay_ms = 800;
    int hide_delay_ms = 2000;
};

// One registered rectangle.
struct TipTool {
    QPointer<QWidget> owner;  // the widget in whose client area the rectangle lies
    // Client coordinates of the owner, right and bottom exclusive; left == right and top == bottom
    // (all -1 when no rectangle was given) stands for the owner's whole client area.
    int left = -1;
    int top = -1;
    int right = -1;
    int bottom = -1;
    QString text;  // an empty text shows nothing
};

class TipWnd : public QWidget {
  public:
    // Timer ids: the identities of the three timers.
    enum TimerId : int { kPollTimer = 38, kHideTimer = 39, kShowTimer = 40 };

    // The face colour of the tip (red 174, green 248, blue 187).
    static constexpr QRgb kFaceColour = 0xFFAEF8BB;

    // The program's single tooltip window, made on the first call and deleted when the application
    // object goes away (or with its owner). User interface thread.
    static TipWnd& Instance();

    // The program uses Instance(); tests may make their own.
    TipWnd();
    ~TipWnd() override;

    // Makes this the hidden tooltip window owned by `owner` (deleted with it), makes its font and
    // starts the poll timer. Returns false when already created. User interface thread.
    bool Create(QWidget* owner);

    // Appends a tool for the rectangle (x, y, x + width, y + height) of `owner` with `text`;
    // returns its index (tools are numbered in the order of adding).
    int AddTool(QWidget* owner, const QString& text, int x = -1, int y = -1, int width = 0,
                int height = 0);

    // Replaces the text of tool `index` and makes it the current tool (so the pointer must leave
    // and come back before it is shown). An index outside the tools is ignored.
    void SetText(int index, const QString& text);

    // Replaces the desktop the tip looks at (tests). Takes ownership; nullptr restores the real
    // one.
    void SetEnvironment(std::unique_ptr<TipEnvironment> environment);
    // Changes the timer intervals; a running poll timer is restarted with the new interval.
    void SetTimings(const TipTimings& timings);

    // Runs the expiry of timer `id` (38, 39 or 40) now. The timers call it; tests may too.
    void OnTimer(int id);

    int ToolCount() const { return static_cast<int>(tools_.size()); }
    const TipTool& Tool(int index) const { return tools_.at(static_cast<size_t>(index)); }
    // Index of the tool under the pointer at the last poll; -1 for none.
    int CurrentTool() const { return current_; }
    bool IsTimerRunning(int id) const;
    const QFont& TipFont() const { return font_; }

    // Where a tip of `text_size` is placed for a pointer at `cursor` on a screen of `screen`: 14
    // pixels right of and below the pointer, moved back so that the whole tip stays on the screen.
    static QRect Placement(QPoint cursor, QSize text_size, const QRect& screen);

  protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;

  private:
    QTimer* TimerFor(int id);
    void Poll();
    void ShowTip();
    void HideTip();

    std::vector<TipTool> tools_;
    int current_ = -1;
    QFont font_;
    bool created_ = false;
    TipTimings timings_;
    std::unique_ptr<TipEnvironment> environment_;
    QTimer poll_timer_;
    QTimer show_timer_;
    QTimer hide_timer_;
};

}  // namespace beamora
