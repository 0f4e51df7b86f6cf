#include "presenter/controls/MainFace.h"

#include "presenter/core/PresenterIds.h"
#include "presenter/core/Resources.h"

namespace beamora {
namespace {

constexpr int kReconnectCaption = 60;
constexpr int kSearchingText = 62;
constexpr int kConnectingText = 63;

// The position key of each button's top-left corner.
int ButtonKey(int id) {
    switch (id) {
        case kButtonPlay:
            return QLX_PRESENTATION_PLAY_X;
        case kButtonStop:
            return QLX_PRESENTATION_STOP_X;
        case kButtonRefresh:
            return QLX_PRESENTATION_REFRESH_X;
        case kButtonMinimise:
            return QLX_PRESENTATION_MIN_X;
        case kButtonExit:
            return QLX_PRESENTATION_EXIT_X;
        case kButtonMenu:
            return QLX_PRESENTATION_MENU_X;
        case kButtonReconnect:
            return QLX_RECONNECT_BUTTON_X;
        default:
            return -1;
    }
}

}  // namespace

MainFace::MainFace(const Resources& resources, SkinSurface& surface)
    : resources_(resources), surface_(surface) {
    fonts_ = {MakeCellFont(kFontCells[0], 700), MakeCellFont(kFontCells[1], 700),
              MakeCellFont(kFontCells[2], 700), MakeCellFont(kFontCells[3], 0)};
}

const ButtonPictures* MainFace::Pictures(int id) const {
    const MainPictures& m = resources_.skin().main;
    switch (id) {
        case kButtonPlay:
            return &m.play;
        case kButtonStop:
            return &m.stop;
        case kButtonRefresh:
            return &m.refresh;
        case kButtonMinimise:
            return &m.min;
        case kButtonExit:
            return &m.exit;
        case kButtonMenu:
            return &m.menu;
        case kButtonReconnect:
            return &m.button;
        default:
            return nullptr;
    }
}

HotZone MainFace::Zone(int id) const {
    const ButtonPictures* pictures = Pictures(id);
    const int key = ButtonKey(id);
    if (pictures == nullptr || key < 0) return HotZone{};
    return HotZone{id, resources_.Pos(key), resources_.Pos(key + 1), pictures->normal.Width(),
                   pictures->normal.Height()};
}

std::vector<int> MainFace::HitOrder(int status) const {
    switch (status) {
        case StatusIdle:
        case StatusStarting:
        case StatusSearching:
            return {kButtonMinimise, kButtonExit, kButtonReconnect};
        case StatusReady:
        case StatusPlaying:
            return {kButtonPlay,     kButtonStop, kButtonRefresh,
                    kButtonMinimise, kButtonExit, kButtonMenu};
        default:
            return {};
    }
}

bool MainFace::ButtonActive(int id, int status, int projection_state) {
    switch (id) {
        case kButtonPlay:
            return (status == StatusReady || status == StatusPlaying) &&
                   projection_state == ProjectionStopped;
        case kButtonStop:
        case kButtonRefresh:
            return (status == StatusReady || status == StatusPlaying) &&
                   projection_state == ProjectionPlaying;
        case kButtonMenu:
            return status == StatusReady || status == StatusPlaying;
        case kButtonMinimise:
        case kButtonExit:
            return status == StatusIdle || status == StatusStarting || status == StatusSearching ||
                   status == StatusReady || status == StatusPlaying;
        case kButtonReconnect:
            return status == StatusIdle;
        default:
            return false;
    }
}

int MainFace::HitTest(QPoint point, bool button_down, int status, int projection_state) const {
    for (int id : HitOrder(status)) {
        if (!Zone(id).Contains(point)) continue;
        // A button that does not answer now is background, held or not: pressing it drags.
        return ButtonActive(id, status, projection_state) ? id : kZoneBackgroundDown;
    }
    return button_down ? kZoneBackgroundDown : kZoneBackgroundUp;
}

QRect MainFace::Put(const CPicture& picture, int x_key) {
    return surface_.DrawPicture(picture, resources_.Pos(x_key), resources_.Pos(x_key + 1));
}

QRect MainFace::StatusText(int entry) {
    SkinSurface::Text text{fonts_[3],
                           Qt::black,
                           resources_.Pos(QXL_DECK_TEXT_STATUS_X),
                           resources_.Pos(QXL_DECK_TEXT_STATUS_Y),
                           resources_.Text(entry),
                           TextAlign::kTopCentre};
    return surface_.SetText(kStatusText, text);
}

QRect MainFace::DrawButton(int id, ZoneLook look) {
    const ButtonPictures* pictures = Pictures(id);
    if (pictures == nullptr) return QRect();
    const CPicture& picture = look == ZoneLook::kOver   ? pictures->over
                              : look == ZoneLook::kDown ? pictures->down
                                                        : pictures->normal;
    QRect dirty = Put(picture, ButtonKey(id));
    if (id == kButtonReconnect) dirty |= StatusText(kReconnectCaption);
    return dirty;
}

QRect MainFace::LoginCodeRect() const {
    const CPicture& digit = resources_.skin().main.digits[0];
    return QRect(resources_.Pos(QLX_PRESENTATION_LOGINCODE_X),
                 resources_.Pos(QLX_PRESENTATION_LOGINCODE_Y), 4 * digit.Width() + 4,
                 digit.Height());
}

QRect MainFace::DrawLoginCode(const QString& code) {
    const auto& digits = resources_.skin().main.digits;
    const int x = resources_.Pos(QLX_PRESENTATION_LOGINCODE_X);
    const int y = resources_.Pos(QLX_PRESENTATION_LOGINCODE_Y);
    QRect dirty;
    for (int i = 0; i < 4 && i < code.size(); ++i) {
        const QChar c = code.at(i);
        if (c < QLatin1Char('0') || c > QLatin1Char('9')) continue;
        dirty |=
            surface_.DrawPicture(digits[static_cast<size_t>(c.unicode() - u'0')], x + 6 * i, y);
    }
    return dirty;
}

QRect MainFace::FullControlSet(const FaceState& state) {
    const MainPictures& m = resources_.skin().main;
    QRect dirty = Put(m.deck, QLX_DECK_PRESENTATION_X);
    dirty |= Put(m.product_name, QLX_PRODUCTNAME_X);
    for (int id : {kButtonPlay, kButtonStop, kButtonRefresh, kButtonMenu}) {
        dirty |= DrawButton(id, ZoneLook::kNormal);
    }
    dirty |= Put(m.line, QLX_PRESENTATION_LINE_X);
    dirty |= DrawButton(kButtonMinimise, ZoneLook::kNormal);
    dirty |= DrawButton(kButtonExit, ZoneLook::kNormal);
    dirty |= Put(m.status_area, QLX_PRESENTATION_STATUS_AREA_X);
    if (state.show_login_code) dirty |= DrawLoginCode(state.login_code);
    return dirty;
}

QRect MainFace::PaintStatus(const FaceState& state, int ticks, int* frame) {
    const MainPictures& m = resources_.skin().main;
    QRect dirty;
    if (ticks == 0) {
        dirty |= surface_.ClearTexts();
        switch (state.status) {
            case StatusIdle:
            case StatusStarting:
                dirty |= Put(m.deck, QLX_DECK_PRESENTATION_X);
                dirty |= Put(m.product_name, QLX_PRODUCTNAME_X);
                dirty |= Put(m.connected, QLX_STATUS_CONNECTIONED_X);
                dirty |= DrawButton(kButtonMinimise, ZoneLook::kNormal);
                dirty |= DrawButton(kButtonExit, ZoneLook::kNormal);
                break;
            case StatusSearching:
            case StatusConnecting:
                dirty |= Put(m.deck, QLX_DECK_PRESENTATION_X);
                dirty |= Put(m.product_name, QLX_PRODUCTNAME_X);
                dirty |= DrawButton(kButtonMinimise, ZoneLook::kNormal);
                dirty |= DrawButton(kButtonExit, ZoneLook::kNormal);
                break;
            case StatusReady:
            case StatusPlaying:
                dirty |= FullControlSet(state);
                break;
            default:
                break;
        }
    }
    switch (state.status) {
        case StatusIdle:
            dirty |= DrawButton(kButtonReconnect, state.reconnect_look);
            break;
        case StatusStarting:
            dirty |= StatusText(kSearchingText);
            break;
        case StatusSearching:
        case StatusConnecting:
            dirty |= StatusText(state.status == StatusSearching ? kSearchingText : kConnectingText);
            *frame %= 4;
            dirty |= Put(m.searching[static_cast<size_t>(*frame)], QLX_STATUS_SEARCHING_X);
            break;
        case StatusReady:
        case StatusPlaying:
            if (!state.presentation_panel) break;
            *frame %= 2;
            dirty |= state.status == StatusReady
                         ? Put(m.ready[static_cast<size_t>(*frame)], QLX_STATUS_READY_X)
                         : Put(m.playing[static_cast<size_t>(*frame)], QLX_STATUS_PLAYING_X);
            break;
        default:
            break;
    }
    return dirty;
}

}  // namespace beamora
