#!/usr/bin/python3
"""Makes Beamora's shipped skin: the 54 bitmaps under UI/, the four language files under String/,
Position/Position.txt and Panvo.mht.

    /usr/bin/python3 skin/make_skin.py [OUTPUT_DIR]     (default: the folder of this script)

Needs python3-pil and fonts-dejavu-core (Debian). The output is committed, so a build does not run
this; run it again after changing the look, the texts or the layout, and commit what it writes.
Every picture is drawn at four times its size and scaled down, for smooth edges.
"""
import math
import os
import sys

from PIL import Image, ImageDraw, ImageFont

SS = 4  # supersampling factor
FONT_DIR = "/usr/share/fonts/truetype/dejavu"
FONT_BOLD = os.path.join(FONT_DIR, "DejaVuSans-Bold.ttf")

# Palette: a light, flat look with one blue accent.
WHITE = (255, 255, 255)
BODY = (243, 246, 250)
BORDER = (184, 196, 210)
HAIRLINE = (221, 228, 237)
INK = (51, 65, 85)
MUTED = (148, 163, 184)
NAVY = (15, 42, 74)
ACCENT = (37, 99, 235)
ACCENT_HOVER = (59, 130, 246)
ACCENT_DOWN = (29, 78, 216)
ACCENT_TINT = (239, 246, 255)
ACCENT_TINT_DOWN = (219, 234, 254)
TEAL = (20, 184, 166)
RED = (229, 72, 77)
RED_DOWN = (197, 48, 48)
RED_TINT = (254, 242, 242)
RED_TINT_DOWN = (254, 226, 226)
GREEN = (34, 197, 94)
GREEN_DIM = (187, 247, 208)
AMBER = (245, 158, 11)
INDIGO = (79, 70, 229)

# ---------------------------------------------------------------------------------------------
# Layout. Positions are client pixels of the window that draws the element.
MAIN_W, MAIN_H = 320, 86
TOP_BAR_H = 25
PANEL_W = 350
LOGIN_H = 190
LIST_H = 212
LOGIN_FOOTER_Y = 142
LIST_FOOTER_Y = 168

SIZES = {
    "product_name": (112, 18),
    "window_button": (22, 18),
    "pictogram": (76, 40),
    "status_area": (124, 49),
    "line": (2, 42),
    "transport": (50, 40),
    "button": (88, 26),
    "digit": (6, 11),
    "exit2": (20, 20),
    "icon": (48, 48),
}

POSITIONS = [
    ("QLX_DECK_PRESENTATION", 0, 0),
    ("QLX_STATUS_CONNECTIONED", 12, 36),
    ("QLX_STATUS_SEARCHING", 12, 36),
    ("QLX_STATUS_READY", 12, 36),
    ("QLX_STATUS_PLAYING", 12, 36),
    ("QLX_PRODUCTNAME", 10, 4),
    ("QLX_PRESENTATION_STATUS_AREA", 8, 31),
    ("QLX_PRESENTATION_LINE", 140, 34),
    ("QLX_RECONNECT_BUTTON", 176, 44),
    ("QLX_PRESENTATION_PLAY", 150, 35),
    ("QLX_PRESENTATION_STOP", 206, 35),
    ("QLX_PRESENTATION_REFRESH", 262, 35),
    ("QLX_PRESENTATION_LOGINCODE", 98, 50),
    ("QLX_PRESENTATION_MIN", 268, 4),
    ("QLX_PRESENTATION_EXIT", 292, 4),
    ("QLX_PRESENTATION_MENU", 244, 4),
    ("QLX_LOGIN_DECK_LOGINCODE", 0, 0),
    ("QLX_LOGIN_BUTTON_EXIT2", 320, 10),
    ("QLX_LOGIN_BUTTON_OK", 154, 152),
    ("QLX_LOGIN_BUTTON_CANCEL", 250, 152),
    ("QLX_LOGIN_ICON_INFORMATION", 18, 66),
    ("QLX_MESSAGEBOX_DECK_LOGINCODE", 0, 0),
    ("QLX_MESSAGEBOX_BUTTON_EXIT2", 320, 10),
    ("QLX_MESSAGEBOX_BUTTON_OK", 250, 152),
    ("QLX_MESSAGEBOX_ICON_INFORMATION", 16, 54),
    ("QLX_SELPROJECTOR_DECK_SERVERLIST", 0, 0),
    ("QLX_SELPROJECTOR_BUTTON_EXIT2", 320, 10),
    ("QLX_SELPROJECTOR_BUTTON_OK", 154, 178),
    ("QLX_SELPROJECTOR_BUTTON_CANCEL", 250, 178),
    ("QXL_DECK_TEXT_STATUS", 220, 51),
    ("QLX_LOGIN_TEXT_TITLE", 18, 14),
    ("QLX_LOGIN_TEXT_SUBTITLE", 18, 44),
    ("QLX_LOGIN_TEXT_TEXT", 80, 68),
    ("QLX_LOGIN_TEXT_BUTTON_OK", 198, 159),
    ("QLX_LOGIN_TEXT_BUTTON_CANCEL", 294, 159),
    ("QLX_LOGIN_EDITBOX", 80, 88),
    ("QLX_MESSAGEBOX_TEXT_TITLE", 18, 14),
    ("QLX_MESSAGEBOX_TEXT_SUBTITLE", 8, 54),
    ("QLX_MESSAGEBOX_TEXT_BUTTON_OK", 294, 159),
    ("QLX_SELPROJECTOR_TEXT_TITLE", 18, 14),
    ("QLX_SELPROJECTOR_TEXT_SUBTITLE", 18, 44),
    ("QLX_SELPROJECTOR_TEXT_BUTTON_OK", 198, 185),
    ("QLX_SELPROJECTOR_TEXT_BUTTON_CANCEL", 294, 185),
    ("QLX_SELPROJECTOR_LISTBOX", 16, 64),
]


# ---------------------------------------------------------------------------------------------
# Drawing helpers


def s(v):
    """Scales a coordinate (or a tuple of them) to the supersampled canvas."""
    if isinstance(v, (tuple, list)):
        return tuple(int(round(x * SS)) for x in v)
    return int(round(v * SS))


class Canvas:
    """A supersampled RGBA layer of w x h final pixels; drawing calls take final-pixel units."""

    def __init__(self, w, h):
        self.w, self.h = w, h
        self.img = Image.new("RGBA", (w * SS, h * SS), (0, 0, 0, 0))
        self.d = ImageDraw.Draw(self.img)

    def rrect(self, box, r, fill=None, outline=None, width=1):
        x0, y0, x1, y1 = box
        self.d.rounded_rectangle(s((x0, y0, x1, y1)), radius=s(r), fill=fill,
                                 outline=outline, width=s(width) if outline else 0)

    def rect(self, box, fill):
        self.d.rectangle(s(box), fill=fill)

    def line(self, pts, fill, width):
        self.d.line([s(p) for p in pts], fill=fill, width=s(width), joint="curve")
        for p in (pts[0], pts[-1]):  # round caps
            self.circle(p, width / 2, fill)

    def circle(self, c, r, fill=None, outline=None, width=1):
        x, y = c
        self.d.ellipse(s((x - r, y - r, x + r, y + r)), fill=fill, outline=outline,
                       width=s(width) if outline else 0)

    def arc(self, c, r, start, end, fill, width):
        x, y = c
        self.d.arc(s((x - r, y - r, x + r, y + r)), start, end, fill=fill, width=s(width))

    def polygon(self, pts, fill):
        self.d.polygon([s(p) for p in pts], fill=fill)

    def text(self, xy, text, size, fill, font=FONT_BOLD, anchor="la"):
        f = ImageFont.truetype(font, s(size))
        self.d.text(s(xy), text, font=f, fill=fill, anchor=anchor)

    def final(self):
        return self.img.resize((self.w, self.h), Image.LANCZOS)


def on(bg, layer):
    """Composites a Canvas (or RGBA image) over a flat colour or an RGB image of the same size."""
    top = layer.final() if isinstance(layer, Canvas) else layer
    base = Image.new("RGBA", top.size, bg + (255,)) if isinstance(bg, tuple) else bg.convert("RGBA")
    return Image.alpha_composite(base, top).convert("RGB")


def hgradient(c, box, left, right):
    """A horizontal gradient from colour `left` to `right` over box (final pixels)."""
    x0, y0, x1, y1 = s(box)
    for x in range(x0, x1):
        t = (x - x0) / max(1, x1 - x0 - 1)
        col = tuple(int(round(a + (b - a) * t)) for a, b in zip(left, right))
        c.d.line([(x, y0), (x, y1 - 1)], fill=col)


def vgradient(c, box, top, bottom, radius=0):
    """A vertical gradient, clipped to a rounded rectangle when radius > 0."""
    x0, y0, x1, y1 = s(box)
    grad = Image.new("RGBA", (x1 - x0, y1 - y0))
    gd = ImageDraw.Draw(grad)
    for y in range(y1 - y0):
        t = y / max(1, y1 - y0 - 1)
        col = tuple(int(round(a + (b - a) * t)) for a, b in zip(top, bottom))
        gd.line([(0, y), (x1 - x0, y)], fill=col + (255,))
    mask = Image.new("L", grad.size, 0)
    ImageDraw.Draw(mask).rounded_rectangle((0, 0, grad.size[0] - 1, grad.size[1] - 1),
                                           radius=s(radius), fill=255)
    c.img.paste(grad, (x0, y0), mask)


# ---------------------------------------------------------------------------------------------
# Decks


def main_deck():
    c = Canvas(MAIN_W, MAIN_H)
    # The window's region rounds the corners; the outline follows it.
    c.rrect((0, 0, MAIN_W - 1, MAIN_H - 1), 5, fill=BODY)
    c.rect((1, 1, MAIN_W - 1, TOP_BAR_H), WHITE)
    hgradient(c, (0, 0, MAIN_W, 3), ACCENT, TEAL)
    c.rect((1, TOP_BAR_H, MAIN_W - 1, TOP_BAR_H + 1), HAIRLINE)
    deck = on(BORDER, c)
    # The outline last, so the stripe and the bars stay inside it.
    o = Canvas(MAIN_W, MAIN_H)
    o.rrect((0, 0, MAIN_W - 1, MAIN_H - 1), 5, outline=BORDER, width=1)
    return on(deck, o)


def panel_deck(height, footer_y):
    c = Canvas(PANEL_W, height)
    c.rect((0, 0, PANEL_W, height), WHITE)
    hgradient(c, (0, 0, PANEL_W, 3), ACCENT, TEAL)
    c.rect((0, footer_y, PANEL_W, height), BODY)
    c.rect((0, footer_y, PANEL_W, footer_y + 1), HAIRLINE)
    deck = on(WHITE, c)
    o = Canvas(PANEL_W, height)
    o.rect((0, 0, PANEL_W, 1), (0, 0, 0, 0))
    o.d.rectangle((0, 0, PANEL_W * SS - 1, height * SS - 1), outline=BORDER, width=SS)
    return on(deck, o)


# ---------------------------------------------------------------------------------------------
# Main window pictures


def product_name():
    w, h = SIZES["product_name"]
    c = Canvas(w, h)
    # Mark: a rounded tile with a beam fanning out to the right.
    vgradient(c, (0, 1, 16, 17), ACCENT_HOVER, ACCENT_DOWN, radius=4)
    # a projection screen on its stand, showing a play mark
    c.rrect((2.6, 3.6, 13.4, 11.2), 1.2, outline=WHITE, width=1.3)
    c.polygon([(6.6, 5.6), (10.4, 7.4), (6.6, 9.2)], WHITE)
    c.line([(8, 11.2), (8, 13.6)], WHITE, 1.2)
    c.line([(5.6, 13.8), (10.4, 13.8)], WHITE, 1.2)
    c.text((21, 9.2), "Beamora", 13.5, NAVY, anchor="lm")
    return on(WHITE, c)


def window_button(glyph, state):
    w, h = SIZES["window_button"]
    c = Canvas(w, h)
    colour = INK
    if state == "over":
        if glyph == "exit":
            c.rrect((0, 0, w - 1, h - 1), 4, fill=RED)
            colour = WHITE
        else:
            c.rrect((0, 0, w - 1, h - 1), 4, fill=(232, 238, 245))
            colour = NAVY
    elif state == "down":
        if glyph == "exit":
            c.rrect((0, 0, w - 1, h - 1), 4, fill=RED_DOWN)
            colour = WHITE
        else:
            c.rrect((0, 0, w - 1, h - 1), 4, fill=(208, 218, 232))
            colour = NAVY
    dy = 0.6 if state == "down" else 0
    cx, cy = w / 2, h / 2 + dy
    if glyph == "exit":
        c.line([(cx - 4, cy - 4), (cx + 4, cy + 4)], colour, 1.5)
        c.line([(cx - 4, cy + 4), (cx + 4, cy - 4)], colour, 1.5)
    elif glyph == "min":
        c.line([(cx - 4.5, cy + 3), (cx + 4.5, cy + 3)], colour, 1.5)
    elif glyph == "menu":
        for oy in (-3.5, 0, 3.5):
            c.line([(cx - 5, cy + oy), (cx + 5, cy + oy)], colour, 1.4)
    return on(WHITE, c)


def laptop(c, colour, screen_fill=None, content=False):
    c.rrect((3, 10, 29, 28), 2, fill=screen_fill or WHITE, outline=colour, width=2)
    c.rrect((0, 29, 32, 32.5), 1.2, fill=colour)
    if content:
        c.rect((7, 14, 25, 16), colour)
        c.rect((7, 19, 21, 21), colour + (140,) if len(colour) == 3 else colour)
        c.rect((7, 23, 17, 24.5), colour + (110,) if len(colour) == 3 else colour)


def wall_screen(c, colour, dashed=False, fill=None, slide=False):
    c.rrect((44, 6, 75, 8.5), 1.2, fill=colour)
    if dashed:
        for x in range(47, 73, 4):
            c.line([(x, 10), (x + 1.5, 10)], colour, 1.2)
            c.line([(x, 27), (x + 1.5, 27)], colour, 1.2)
        for y in range(12, 27, 4):
            c.line([(47, y), (47, y + 1.5)], colour, 1.2)
            c.line([(72, y), (72, y + 1.5)], colour, 1.2)
    else:
        c.rect((46.5, 8.5, 72.5, 27.5), fill or WHITE)
        c.d.rectangle(s((46.5, 8.5, 72.5, 27.5)), outline=colour, width=s(1.5))
    if slide:
        vgradient(c, (48.5, 10.5, 70.5, 25.5), ACCENT_HOVER, ACCENT_DOWN)
        c.rect((51, 13, 63, 15), (255, 255, 255, 240))
        c.rect((51, 17.5, 67, 19), (255, 255, 255, 180))
        c.rect((51, 21, 60, 22.5), (255, 255, 255, 150))
    c.line([(59.5, 28), (59.5, 35)], colour, 1.3)
    c.line([(55, 37), (59.5, 35), (64, 37)], colour, 1.3)


def pictogram(kind, frame, bg):
    w, h = SIZES["pictogram"]
    c = Canvas(w, h)
    if kind == "connected":
        laptop(c, MUTED)
        wall_screen(c, MUTED)
        for x in (34.5, 40.5):
            c.circle((x, 20), 1.1, MUTED)
        # a small "not linked" mark between them
        c.circle((37.5, 20), 3.3, fill=WHITE, outline=RED, width=1.2)
        c.line([(35.6, 21.9), (39.4, 18.1)], RED, 1.2)
    elif kind == "searching":
        laptop(c, ACCENT)
        wall_screen(c, MUTED, dashed=True)
        lit = [1, 2, 3, 0][frame]
        for i, r in enumerate((4.5, 8.5, 12.5)):
            col = ACCENT if i < lit else (203, 213, 225)
            c.arc((29.5, 19), r, -45, 45, col, 1.8)
        c.circle((30, 19), 1.5, ACCENT)
    elif kind == "ready":
        laptop(c, ACCENT)
        wall_screen(c, ACCENT)
        c.line([(34, 19), (41.5, 19)], ACCENT, 1.6)
        c.circle((34, 19), 1.6, ACCENT)
        c.circle((41.5, 19), 1.6, ACCENT)
        dot = GREEN if frame == 0 else GREEN_DIM
        c.circle((71, 3.5), 3, fill=dot)
    elif kind == "playing":
        laptop(c, ACCENT, content=True)
        wall_screen(c, ACCENT, slide=True)
        for i, x in enumerate((33.5, 37.5, 41.5)):
            on_now = (i + frame) % 2 == 0
            col = ACCENT if on_now else (147, 197, 253)
            c.line([(x, 15.5), (x + 2.5, 19), (x, 22.5)], col, 1.6)
        dot = RED if frame == 0 else (252, 165, 165)
        c.circle((71, 3.5), 3, fill=dot)
    return on(bg, c)


def status_area():
    w, h = SIZES["status_area"]
    c = Canvas(w, h)
    c.rrect((0, 0, w - 1, h - 1), 6, fill=WHITE, outline=HAIRLINE, width=1)
    return on(BODY, c)


def separator():
    w, h = SIZES["line"]
    img = Image.new("RGB", (w, h), BODY)
    for y in range(h):
        fade = min(1.0, min(y, h - 1 - y) / 8)
        col = tuple(int(round(b + (l - b) * fade)) for b, l in zip(BODY, (203, 213, 225)))
        img.putpixel((0, y), col)
        img.putpixel((1, y), tuple(int(round(b + (255 - b) * fade)) for b in BODY))
    return img


def transport(kind, state):
    w, h = SIZES["transport"]
    c = Canvas(w, h)
    dy = 1 if state == "down" else 0
    if kind == "play":
        top, bottom = {"normal": (ACCENT_HOVER, ACCENT), "over": ((96, 165, 250), ACCENT_HOVER),
                       "down": (ACCENT_DOWN, (30, 64, 175))}[state]
        if state == "over":
            c.rrect((0, 0, w - 1, h - 1), 9, fill=(191, 219, 254))
        vgradient(c, (1, 1 + dy, w - 1, h - 1 + dy - (1 if state != "down" else 0)), top, bottom,
                  radius=8)
        cx, cy = w / 2 + 1.5, h / 2 + dy
        c.polygon([(cx - 6, cy - 8), (cx + 8, cy), (cx - 6, cy + 8)], WHITE)
        return on(BODY, c)
    fill, edge = {"normal": (WHITE, BORDER), "over": (ACCENT_TINT, ACCENT_HOVER),
                  "down": (ACCENT_TINT_DOWN, ACCENT_DOWN)}[state]
    icon = ACCENT
    if kind == "stop":
        fill, edge = {"normal": (WHITE, BORDER), "over": (RED_TINT, RED),
                      "down": (RED_TINT_DOWN, RED_DOWN)}[state]
        icon = RED if state != "down" else RED_DOWN
    if state != "down":
        c.rrect((0.5, 1.5, w - 1.5, h - 0.5), 8, fill=(226, 232, 240))  # soft shadow
    c.rrect((0.5, 0.5 + dy, w - 1.5, h - 2 + dy), 8, fill=fill, outline=edge, width=1)
    cx, cy = w / 2, (h - 2) / 2 + dy
    if kind == "stop":
        c.rrect((cx - 7, cy - 7, cx + 7, cy + 7), 2.5, fill=icon)
    else:
        r = 8
        c.arc((cx, cy), r, 200, 330, icon, 2.4)
        c.arc((cx, cy), r, 20, 150, icon, 2.4)
        # arrowheads at the clockwise ends of both arcs
        for ang in (338, 158):
            a = math.radians(ang)
            px, py = cx + r * math.cos(a), cy + r * math.sin(a)
            tx, ty = -math.sin(a), math.cos(a)
            nx, ny = math.cos(a), math.sin(a)
            tip = (px + tx * 4, py + ty * 4)
            c.polygon([tip, (px + nx * 3.6, py + ny * 3.6), (px - nx * 3.6, py - ny * 3.6)], icon)
    return on(BODY, c)


def generic_button(state, bg):
    w, h = SIZES["button"]
    c = Canvas(w, h)
    fill, edge = {"normal": (WHITE, BORDER), "over": (ACCENT_TINT, ACCENT_HOVER),
                  "down": (ACCENT_TINT_DOWN, ACCENT_DOWN)}[state]
    dy = 1 if state == "down" else 0
    if state != "down":
        c.rrect((0.5, 1.5, w - 1.5, h - 0.5), 5, fill=(215, 223, 233))
    c.rrect((0.5, 0.5 + dy, w - 1.5, h - 2 + dy), 5, fill=fill, outline=edge, width=1)
    return on(bg, c)


def exit2(state):
    w, h = SIZES["exit2"]
    c = Canvas(w, h)
    colour = INK
    if state in ("over", "down"):
        c.rrect((0, 0, w - 1, h - 1), 4, fill=RED if state == "over" else RED_DOWN)
        colour = WHITE
    dy = 0.6 if state == "down" else 0
    cx, cy = w / 2, h / 2 + dy
    c.line([(cx - 4, cy - 4), (cx + 4, cy + 4)], colour, 1.6)
    c.line([(cx - 4, cy + 4), (cx + 4, cy - 4)], colour, 1.6)
    return on(WHITE, c)


# 5 x 9 pixel digits for the login code.
DIGITS = {
    "0": [".###.", "#...#", "#...#", "#..##", "#.#.#", "##..#", "#...#", "#...#", ".###."],
    "1": ["..#..", ".##..", "#.#..", "..#..", "..#..", "..#..", "..#..", "..#..", "#####"],
    "2": [".###.", "#...#", "....#", "....#", "...#.", "..#..", ".#...", "#....", "#####"],
    "3": [".###.", "#...#", "....#", "....#", "..##.", "....#", "....#", "#...#", ".###."],
    "4": ["...#.", "..##.", ".#.#.", "#..#.", "#..#.", "#####", "...#.", "...#.", "...#."],
    "5": ["#####", "#....", "#....", "####.", "....#", "....#", "....#", "#...#", ".###."],
    "6": [".###.", "#...#", "#....", "#....", "####.", "#...#", "#...#", "#...#", ".###."],
    "7": ["#####", "....#", "....#", "...#.", "...#.", "..#..", "..#..", "..#..", "..#.."],
    "8": [".###.", "#...#", "#...#", "#...#", ".###.", "#...#", "#...#", "#...#", ".###."],
    "9": [".###.", "#...#", "#...#", "#...#", ".####", "....#", "....#", "#...#", ".###."],
}


def digit(d):
    w, h = SIZES["digit"]
    img = Image.new("RGB", (w, h), WHITE)
    for y, row in enumerate(DIGITS[d]):
        for x, ch in enumerate(row):
            if ch == "#":
                img.putpixel((x, y + 1), NAVY)
    return img


def icon(kind):
    w, h = SIZES["icon"]
    c = Canvas(w, h)
    if kind == "warning":
        c.polygon([(24, 4), (45, 42), (3, 42)], AMBER)
        c.rrect((22, 16, 26, 31), 2, fill=WHITE)
        c.circle((24, 36), 2.3, WHITE)
        return on(WHITE, c)
    colour = {"login": ACCENT, "error": RED, "information": ACCENT, "question": INDIGO}[kind]
    c.circle((24, 24), 21, fill=colour)
    if kind == "error":
        c.line([(17, 17), (31, 31)], WHITE, 4)
        c.line([(17, 31), (31, 17)], WHITE, 4)
    elif kind == "information":
        c.circle((24, 14.5), 2.8, WHITE)
        c.rrect((21.5, 20, 26.5, 35), 2, fill=WHITE)
    elif kind == "question":
        c.text((24, 25), "?", 26, WHITE, anchor="mm")
    elif kind == "login":
        # a padlock
        c.arc((24, 20), 6.5, 180, 360, WHITE, 3)
        c.line([(17.5, 20), (17.5, 23)], WHITE, 3)
        c.line([(30.5, 20), (30.5, 23)], WHITE, 3)
        c.rrect((14, 22, 34, 35), 3, fill=WHITE)
        c.circle((24, 27.5), 2.2, colour)
        c.rect((23, 28, 25, 31.5), colour)
    return on(WHITE, c)


# ---------------------------------------------------------------------------------------------
# Texts. Only the entries the program reads are filled; the others stay empty lines.

LANGUAGE_NAMES = {3: "English", 4: "繁體中文", 5: "简体中文", 6: "日本語"}

TEXTS = {
    "EN": {
        0: "Open Projector Web Page",
        1: "Search Again",
        2: "Language",
        7: "Connection Information",
        8: "Model",
        9: "Projector address",
        17: "About Beamora",
        21: "Exit",
        24: "Start presenting",
        25: "Stop presenting",
        26: "Refresh the projected picture",
        27: "Login code",
        29: "Minimize",
        30: "Exit",
        46: "Select a Projector",
        47: "Choose the projector to present on.",
        49: "Login Code",
        50: "This projector asks for a login code.",
        51: "Enter the code shown on the projector:",
        52: "The projector declined the presentation. Someone else may be presenting.",
        53: "Cannot listen for projectors: another program is using the network port.",
        54: "Cannot open the network connection needed to search for projectors.",
        55: "Receiving projector announcements failed. Please check your network connection.",
        56: "The connection to the projector was lost.",
        57: "Cannot connect to the projector. Make sure it is switched on and on the same network.",
        58: "The projector did not answer. Please try again.",
        59: "The projector does not accept this version of Beamora.",
        60: "Search Again",
        61: "This desktop cannot be captured, so the presentation was stopped.",
        62: "Searching for projectors…",
        63: "Connecting to the projector…",
        64: "OK",
        65: "Cancel",
        67: "The presentation could not be stopped. Please try again.",
        68: "The projector's web page could not be opened.",
        70: "No projector was found. Make sure it is switched on and on the same network.",
        73: "The login code is not correct. Please try again.",
        74: "Please select a projector in the list.",
        75: "Error",
    },
    "TW": {
        0: "開啟投影機網頁",
        1: "重新搜尋",
        2: "語言",
        7: "連線資訊",
        8: "型號",
        9: "投影機位址",
        17: "關於 Beamora",
        21: "結束",
        24: "開始投影",
        25: "停止投影",
        26: "重新整理投影畫面",
        27: "登入碼",
        29: "最小化",
        30: "結束",
        46: "選擇投影機",
        47: "請選擇要投影的投影機。",
        49: "登入碼",
        50: "這台投影機需要輸入登入碼。",
        51: "請輸入投影機畫面上顯示的登入碼：",
        52: "投影機拒絕了這次投影，可能有其他人正在使用。",
        53: "無法接收投影機廣播：網路連接埠已被其他程式占用。",
        54: "無法建立搜尋投影機所需的網路連線。",
        55: "接收投影機廣播時發生錯誤，請檢查網路連線。",
        56: "與投影機的連線已中斷。",
        57: "無法連線至投影機，請確認投影機已開啟並位於同一網路。",
        58: "投影機沒有回應，請再試一次。",
        59: "投影機不接受此版本的 Beamora。",
        60: "重新搜尋",
        61: "無法擷取此桌面畫面，投影已停止。",
        62: "正在搜尋投影機…",
        63: "正在連線至投影機…",
        64: "確定",
        65: "取消",
        67: "無法停止投影，請再試一次。",
        68: "無法開啟投影機網頁。",
        70: "找不到投影機。請確認投影機已開機，並與電腦位於同一個網路。",
        73: "登入碼錯誤，請再試一次。",
        74: "請從清單中選擇一台投影機。",
        75: "錯誤",
    },
    "CN": {
        0: "打开投影机网页",
        1: "重新搜索",
        2: "语言",
        7: "连接信息",
        8: "型号",
        9: "投影机地址",
        17: "关于 Beamora",
        21: "退出",
        24: "开始投影",
        25: "停止投影",
        26: "刷新投影画面",
        27: "登录码",
        29: "最小化",
        30: "退出",
        46: "选择投影机",
        47: "请选择要投影的投影机。",
        49: "登录码",
        50: "此投影机需要输入登录码。",
        51: "请输入投影机屏幕上显示的登录码：",
        52: "投影机拒绝了本次投影，可能有其他人正在使用。",
        53: "无法接收投影机广播：网络端口已被其他程序占用。",
        54: "无法创建搜索投影机所需的网络连接。",
        55: "接收投影机广播时出错，请检查网络连接。",
        56: "与投影机的连接已断开。",
        57: "无法连接到投影机，请确认投影机已开启并位于同一网络。",
        58: "投影机没有响应，请再试一次。",
        59: "投影机不接受此版本的 Beamora。",
        60: "重新搜索",
        61: "无法捕获此桌面画面，投影已停止。",
        62: "正在搜索投影机…",
        63: "正在连接投影机…",
        64: "确定",
        65: "取消",
        67: "无法停止投影，请重试。",
        68: "无法打开投影机网页。",
        70: "未找到投影机。请确认投影机已开机，并与电脑处于同一网络。",
        73: "登录码错误，请重试。",
        74: "请从列表中选择一台投影机。",
        75: "错误",
    },
    "JP": {
        0: "プロジェクターのWebページを開く",
        1: "再検索",
        2: "言語",
        7: "接続情報",
        8: "機種名",
        9: "プロジェクターのアドレス",
        17: "Beamoraについて",
        21: "終了",
        24: "投影を開始",
        25: "投影を停止",
        26: "投影画面を更新",
        27: "ログインコード",
        29: "最小化",
        30: "終了",
        46: "プロジェクターの選択",
        47: "投影するプロジェクターを選んでください。",
        49: "ログインコード",
        50: "このプロジェクターにはログインコードが必要です。",
        51: "画面に表示されたコードを入力してください：",
        52: "プロジェクターが投影を拒否しました。ほかの人が使用中の可能性があります。",
        53: "プロジェクターの通知を受信できません。ネットワークポートがほかのプログラムで使用されています。",
        54: "プロジェクター検索用のネットワーク接続を作成できません。",
        55: "プロジェクターの通知を受信できませんでした。ネットワーク接続を確認してください。",
        56: "プロジェクターとの接続が切断されました。",
        57: "プロジェクターに接続できません。電源が入っていて、同じネットワークにあるか確認してください。",
        58: "プロジェクターから応答がありません。もう一度お試しください。",
        59: "プロジェクターはこのバージョンの Beamora を受け付けません。",
        60: "再検索",
        61: "このデスクトップを取り込めないため、投影を停止しました。",
        62: "プロジェクターを検索しています…",
        63: "プロジェクターに接続しています…",
        64: "OK",
        65: "キャンセル",
        67: "投影を停止できませんでした。もう一度お試しください。",
        68: "プロジェクターのWebページを開けませんでした。",
        70: "プロジェクターが見つかりません。電源が入っていて、同じネットワークにあるか確認してください。",
        73: "ログインコードが正しくありません。もう一度お試しください。",
        74: "一覧からプロジェクターを選んでください。",
        75: "エラー",
    },
}

LANGUAGE_ENTRIES = 100


def write_language(path, texts):
    entries = dict(LANGUAGE_NAMES)
    entries.update(texts)
    lines = []
    for n in range(LANGUAGE_ENTRIES):
        text = entries.get(n, "")
        assert "\r" not in text and "\n" not in text
        assert len(text.encode("utf-16-le")) // 2 <= 99, (n, text)
        lines.append(text)
    data = "\ufeff" + "\r\n".join(lines) + "\r\n"
    with open(path, "wb") as f:
        f.write(data.encode("utf-16-le"))


def write_positions(path):
    out = []
    for stem, x, y in POSITIONS:
        out.append("%d %s_X" % (x, stem))
        out.append("%d %s_Y" % (y, stem))
    assert len(out) == 88
    with open(path, "wb") as f:
        f.write(("\r\n".join(out) + "\r\n").encode("ascii"))


HELP = """<!DOCTYPE html>
<html lang="en"><head><meta charset="utf-8"><title>Beamora Help</title>
<style>
body { font-family: "DejaVu Sans", "Segoe UI", sans-serif; color: #334155; max-width: 44em;
       margin: 2em auto; line-height: 1.5; }
h1 { color: #0f2a4a; border-bottom: 3px solid #2563eb; padding-bottom: .2em; }
h2 { color: #003366; margin-top: 1.6em; }
kbd { background: #f3f6fa; border: 1px solid #b8c4d2; border-radius: 3px; padding: 0 .3em; }
td, th { padding: .2em .8em .2em 0; text-align: left; vertical-align: top; }
</style></head><body>
<h1>Beamora Help</h1>
<p>Beamora shows your desktop on a network projector. Start it, pick a projector, and present.</p>

<h2>Getting started</h2>
<ol>
<li>Connect your computer to the same network as the projector and switch the projector on.</li>
<li>Start Beamora. It searches for projectors on its own.</li>
<li>If several projectors answer, choose one in the list and press <b>OK</b>.</li>
<li>If the projector asks for a login code, type the four digits shown on the projector's screen.</li>
<li>Your desktop appears on the projector. The small window shows the code while you present.</li>
</ol>

<h2>The buttons</h2>
<table>
<tr><th>Play</th><td>Starts presenting on the connected projector.</td></tr>
<tr><th>Stop</th><td>Stops presenting; the connection stays open.</td></tr>
<tr><th>Refresh</th><td>Sends the whole picture again.</td></tr>
<tr><th>Menu</th><td>Search again, open the projector's web page, connection information,
language and about. A right click on the window opens the same menu.</td></tr>
<tr><th>Search Again</th><td>Shown when no projector is connected: looks for projectors again.</td></tr>
</table>
<p>Drag the window by any free spot. Hover over a button to see what it does.</p>

<h2>When something goes wrong</h2>
<ul>
<li><b>No projector was found:</b> check that the projector is on, that both are on the same
network, and that no firewall blocks UDP and TCP ports 6565 and 6566.</li>
<li><b>The login code is not correct:</b> type the code currently shown by the projector.</li>
<li><b>The connection was lost:</b> press <b>Search Again</b> to reconnect.</li>
</ul>
</body></html>
"""


def write_help(path):
    boundary = "----=_Beamora_Help_Part"
    body = HELP.replace("\n", "\r\n")
    mht = ("From: <Saved by Beamora>\r\n"
           "Subject: Beamora Help\r\n"
           "MIME-Version: 1.0\r\n"
           "Content-Type: multipart/related; type=\"text/html\"; boundary=\"%s\"\r\n"
           "\r\n"
           "This is a multi-part message in MIME format.\r\n"
           "\r\n"
           "--%s\r\n"
           "Content-Type: text/html; charset=\"utf-8\"\r\n"
           "Content-Transfer-Encoding: 8bit\r\n"
           "Content-Location: file:///Panvo.htm\r\n"
           "\r\n"
           "%s\r\n"
           "--%s--\r\n") % (boundary, boundary, body, boundary)
    with open(path, "wb") as f:
        f.write(mht.encode("utf-8"))


# ---------------------------------------------------------------------------------------------


def save(img, out, name):
    path = os.path.join(out, "UI", name)
    img.convert("RGB").save(path, "BMP")


def main():
    out = sys.argv[1] if len(sys.argv) > 1 else os.path.dirname(os.path.abspath(__file__))
    for sub in ("UI", "String", "Position"):
        os.makedirs(os.path.join(out, sub), exist_ok=True)

    save(main_deck(), out, "QLX_Deck_Presentation.bmp")
    save(product_name(), out, "QLX_Presentation_ProductName.bmp")
    save(pictogram("connected", 0, BODY), out, "QLX_Status_Connectioned.bmp")
    for i, suffix in enumerate(("", "2", "3", "4")):
        save(pictogram("searching", i, BODY), out, "QLX_Status_Searching%s.bmp" % suffix)
    for i, suffix in enumerate(("", "2")):
        save(pictogram("ready", i, WHITE), out, "QLX_Status_Ready%s.bmp" % suffix)
        save(pictogram("playing", i, WHITE), out, "QLX_Status_Playing%s.bmp" % suffix)
    states = (("normal", ""), ("over", "-over"), ("down", "-down"))
    for state, suffix in states:
        save(window_button("exit", state), out, "QLX_Presentation_Exit%s.bmp" % suffix)
        save(window_button("min", state), out, "QLX_Presentation_Min%s.bmp" % suffix)
        save(window_button("menu", state), out, "QLX_Presentation_Menu%s.bmp" % suffix)
        save(generic_button(state, BODY), out, "QLX_Button%s.bmp" % suffix)
        save(transport("play", state), out, "QLX_Presentation_Play%s.bmp" % suffix)
        save(transport("stop", state), out, "QLX_Presentation_Stop%s.bmp" % suffix)
        save(transport("refresh", state), out, "QLX_Presentation_Refresh%s.bmp" % suffix)
        save(exit2(state), out, "QLX_Button_Exit2%s.bmp" % suffix)
    save(separator(), out, "QLX_Presentation_Line.bmp")
    save(status_area(), out, "QLX_Presentation_Status_Area.bmp")
    for d in "0123456789":
        save(digit(d), out, "QLX_Presentation_Num_%s.bmp" % d)
    save(panel_deck(LOGIN_H, LOGIN_FOOTER_Y), out, "QLX_Deck_LoginCode.bmp")
    save(panel_deck(LIST_H, LIST_FOOTER_Y), out, "QLX_Deck_ServerList.bmp")
    for kind, name in (("login", "Login"), ("error", "Error"), ("information", "Information"),
                       ("question", "Question"), ("warning", "Warning")):
        save(icon(kind), out, "QLX_Icon_%s.bmp" % name)

    for lang, texts in TEXTS.items():
        write_language(os.path.join(out, "String", "%s.txt" % lang), texts)
    write_positions(os.path.join(out, "Position", "Position.txt"))
    write_help(os.path.join(out, "Panvo.mht"))
    count = len(os.listdir(os.path.join(out, "UI")))
    print("make_skin: %d bitmaps, 4 language files, 88 positions, help in %s" % (count, out))


if __name__ == "__main__":
    main()
