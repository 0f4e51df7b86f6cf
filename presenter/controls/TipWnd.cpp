#include "presenter/controls/TipWnd.h"

#include <QApplication>
#include <QCursor>
#include <QGuiApplication>
#include <QMouseEvent>
#include <QPainter>
#include <QScreen>
#include <algorithm>

#include "presenter/controls/SkinText.h"

namespace beamora {
namespace {

// The tip's font: a 12-pixel cell, normal weight, in the face the skin was designed with, falling
// back to a face that has the CJK texts.
QFont MakeTipFont() {
    QFont font = MakeSkinFont(12, 0, 400, QString::fromUtf8("新細明體"));
    font.setFamilies({QString::fromUtf8("新細明體"), QStringLiteral("PMingLiU"),
                      QStringLiteral("Noto Sans CJK TC"), QStringLiteral("DejaVu Sans")});
    FitFontToCell(font, 12);
    return font;
}

class DesktopTipEnvironment : public TipEnvironment {
  public:
    QPoint CursorPos() const override { return QCursor::pos(); }
    QWidget* WidgetAt(QPoint pos) const override { return QApplication::widgetAt(pos); }
    bool AnyButtonDown() const override {
        return (QGuiApplication::mouseButtons() &
                (Qt::LeftButton | Qt::MiddleButton | Qt::RightButton)) != Qt::NoButton;
    }
    QRect ScreenGeometry(QPoint pos) const override {
        QScreen* screen = QGuiApplication::screenAt(pos);
        if (screen == nullptr) screen = QGuiApplication::primaryScreen();
        return screen != nullptr ? screen->geometry() : QRect(0, 0, 1024, 768);
    }
};

QPointer<TipWnd>& InstancePointer() {
    static QPointer<TipWnd> instance;
    return instance;
}

void DeleteInstance() {
    delete InstancePointer().data();
}

}  // namespace

std::unique_ptr<TipEnvironment> MakeDesktopTipEnvironment() {
    return std::make_unique<DesktopTipEnvironment>();
}

TipWnd& TipWnd::Instance() {
    QPointer<TipWnd>& instance = InstancePointer();
    if (instance.isNull()) {
        instance = new TipWnd();
        qAddPostRoutine(DeleteInstance);
    }
    return *instance;
}

TipWnd::TipWnd()
    : QWidget(nullptr, Qt::ToolTip | Qt::FramelessWindowHint | Qt::WindowDoesNotAcceptFocus),
      environment_(MakeDesktopTipEnvironment()) {
    setObjectName(QStringLiteral("TipWnd"));
    setWindowTitle(QStringLiteral("TipWnd"));
    setAttribute(Qt::WA_ShowWithoutActivating);
    setAttribute(Qt::WA_OpaquePaintEvent);
    setAttribute(Qt::WA_NoSystemBackground);
    setFocusPolicy(Qt::NoFocus);
    show_timer_.setSingleShot(true);
    hide_timer_.setSingleShot(true);
    connect(&poll_timer_, &QTimer::timeout, this, [this] { OnTimer(kPollTimer); });
    connect(&show_timer_, &QTimer::timeout, this, [this] { OnTimer(kShowTimer); });
    connect(&hide_timer_, &QTimer::timeout, this, [this] { OnTimer(kHideTimer); });
}

TipWnd::~TipWnd() {
    poll_timer_.stop();
    show_timer_.stop();
    hide_timer_.stop();
    tools_.clear();
}

bool TipWnd::Create(QWidget* owner) {
    if (created_) return false;
    created_ = true;
    if (owner != nullptr) setParent(owner, windowFlags());
    font_ = MakeTipFont();
    setFont(font_);
    hide();
    poll_timer_.start(timings_.poll_interval_ms);
    return true;
}

int TipWnd::AddTool(QWidget* owner, const QString& text, int x, int y, int width, int height) {
    TipTool tool;
    tool.owner = owner;
    tool.left = x;
    tool.top = y;
    tool.right = x + width;
    tool.bottom = y + height;
    tool.text = text;
    tools_.push_back(std::move(tool));
    return ToolCount() - 1;
}

void TipWnd::SetText(int index, const QString& text) {
    if (index < 0 || index >= ToolCount()) return;
    tools_[static_cast<size_t>(index)].text = text;
    current_ = index;
}

void TipWnd::SetEnvironment(std::unique_ptr<TipEnvironment> environment) {
    environment_ = environment ? std::move(environment) : MakeDesktopTipEnvironment();
}

void TipWnd::SetTimings(const TipTimings& timings) {
    timings_ = timings;
    if (poll_timer_.isActive()) poll_timer_.start(timings_.poll_interval_ms);
}

QTimer* TipWnd::TimerFor(int id) {
    switch (id) {
        case kPollTimer:
            return &poll_timer_;
        case kShowTimer:
            return &show_timer_;
        case kHideTimer:
            return &hide_timer_;
        default:
            return nullptr;
    }
}

bool TipWnd::IsTimerRunning(int id) const {
    return const_cast<TipWnd*>(this)->TimerFor(id) != nullptr &&
           const_cast<TipWnd*>(this)->TimerFor(id)->isActive();
}

void TipWnd::OnTimer(int id) {
    switch (id) {
        case kPollTimer:
            Poll();
            break;
        case kShowTimer:
            ShowTip();
            break;
        case kHideTimer:
            HideTip();
            break;
        default:
            break;
    }
}

void TipWnd::Poll() {
    if (tools_.empty()) return;
    if (current_ >= 0 && environment_->AnyButtonDown()) {
        hide();
        return;
    }
    const QPoint cursor = environment_->CursorPos();
    QWidget* under = environment_->WidgetAt(cursor);
    // A tip pushed back onto the screen can end up under the pointer; that is not leaving the tool
    // (it would hide and show again and again).
    if (under == this) return;
    int found = -1;
    if (under != nullptr) {
        for (int i = 0; i < ToolCount(); ++i) {
            const TipTool& tool = tools_[static_cast<size_t>(i)];
            if (tool.owner.data() != under) continue;
            if (tool.left == tool.right && tool.top == tool.bottom) {
                found = i;
                break;
            }
            const QPoint local = tool.owner->mapFromGlobal(cursor);
            if (local.x() >= tool.left && local.x() < tool.right && local.y() >= tool.top &&
                local.y() < tool.bottom) {
                found = i;
                break;
            }
        }
    }
    if (found < 0) {
        if (current_ >= 0) {
            hide();
            current_ = -1;
        }
        return;
    }
    if (found == current_) return;
    hide();
    current_ = found;
    show_timer_.start(timings_.show_delay_ms);
}

void TipWnd::ShowTip() {
    if (current_ >= 0 && current_ < ToolCount() && !environment_->AnyButtonDown()) {
        const QString& text = tools_[static_cast<size_t>(current_)].text;
        if (!text.isEmpty()) {
            const QPoint cursor = environment_->CursorPos();
            const QRect place = Placement(cursor, MeasureSkinText(font_, text),
                                          environment_->ScreenGeometry(cursor));
            setGeometry(place);
            update();
            show();
            raise();
        }
        hide_timer_.start(timings_.hide_delay_ms);
    }
    show_timer_.stop();
}

void TipWnd::HideTip() {
    hide();
    hide_timer_.stop();
}

QRect TipWnd::Placement(QPoint cursor, QSize text_size, const QRect& screen) {
    const int width = text_size.width() + 6;
    const int height = text_size.height() + 8;
    // The tip's left edge never goes past screen right - width, nor its top past screen bottom -
    // height; on a screen smaller than the tip it starts at the screen's corner.
    const int x = std::max(screen.left(), std::min(cursor.x() + 14, screen.right() + 1 - width));
    const int y = std::max(screen.top(), std::min(cursor.y() + 14, screen.bottom() + 1 - height));
    return QRect(x, y, width, height);
}

void TipWnd::paintEvent(QPaintEvent*) {
    if (current_ < 0 || current_ >= ToolCount()) return;
    const QString& text = tools_[static_cast<size_t>(current_)].text;
    if (text.isEmpty()) return;
    QPainter painter(this);
    const QRect client = rect();
    const int left = client.left();
    const int top = client.top();
    const int right = client.left() + client.width();  // exclusive edges
    const int bottom = client.top() + client.height();
    // The shadow: the face shifted by two pixels leaves black along the bottom and the right.
    painter.fillRect(QRect(QPoint(left + 2, top + 2), QPoint(right - 1, bottom - 1)), Qt::black);
    painter.fillRect(QRect(QPoint(left, top), QPoint(right - 3, bottom - 3)), QColor(kFaceColour));
    DrawSkinText(painter, font_, Qt::black, 2, 2, text, TextAlign::kTopLeft);
    // Raised edges: white at the top and left, two black pixels at the bottom and right.
    const int r_right = right - 3;
    const int r_bottom = bottom - 3;
    painter.setPen(Qt::white);
    painter.drawLine(left, r_bottom, left, top);
    painter.drawLine(left, top, r_right, top);
    painter.setPen(Qt::black);
    painter.drawLine(left, r_bottom, r_right, r_bottom);
    painter.drawLine(r_right, r_bottom, r_right, top);
    painter.drawLine(r_right - 1, top + 1, r_right - 1, r_bottom - 1);
    painter.drawLine(r_right - 1, r_bottom - 1, left, r_bottom - 1);
}

void TipWnd::mousePressEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton || event->button() == Qt::RightButton) {
        hide();
        hide_timer_.stop();
    }
}

}  // namespace beamora
