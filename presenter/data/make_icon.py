#!/usr/bin/python3
"""Makes Beamora's application icon: a projection screen on its stand under a wireless signal, in
white on a rounded square of the skin's blue accent.

    /usr/bin/python3 presenter/data/make_icon.py [OUTPUT_DIR]   (default: the folder of this script)

Writes icons/hicolor/<n>x<n>/apps/beamora.png for n = 16, 22, 24, 32, 48, 64, 128 and 256, and
icons/hicolor/scalable/apps/beamora.svg. Needs python3-pil (Debian). The output is committed, so a
build does not run this; run it again after changing the look, and commit what it writes.

Each picture is drawn at eight times its size and averaged down, for smooth edges. The sizes up to
24 px use a plainer drawing on their pixel grid (one signal arc, thicker strokes) that stays
readable at that size; the others share the full drawing, which the SVG also holds, with a chart
on the screen from 48 px up.
"""
import math
import os
import sys

from PIL import Image, ImageDraw

SS = 8  # supersampling factor
SIZES = (16, 22, 24, 32, 48, 64, 128, 256)
SMALL = 24  # sizes up to this one use the plain drawing
CHART = 48  # sizes from this one show a chart on the screen

# The skin's palette (skin/make_skin.py): the accent blue, lighter at the top, darker below.
ACCENT = (37, 99, 235)
ACCENT_HOVER = (59, 130, 246)
ACCENT_DOWN = (29, 78, 216)
WHITE = (255, 255, 255)

# ---------------------------------------------------------------------------------------------
# The drawing, in units of the icon's side (0 to 1), as a list of shapes both outputs draw:
#   ("square", inset, radius)                the background, a vertical accent gradient
#   ("rrect", (x0, y0, x1, y1), radius, colour)
#   ("line", [(x, y), ...], width, colour)   round caps
#   ("dot", (x, y), radius, colour)
#   ("arc", (x, y), radius, start, end, width, colour)
#       degrees clockwise from 3 o'clock, as PIL counts (and SVG, whose y axis points down too)


def full_drawing(chart=True):
    shapes = [("square", 0.035, 0.22)]
    # The signal: a dot with two arcs above it.
    signal = (0.5, 0.33)
    shapes.append(("dot", signal, 0.045, WHITE))
    for r in (0.115, 0.2):
        shapes.append(("arc", signal, r, 225, 315, 0.05, WHITE))
    # The screen, with a bar chart on it.
    shapes.append(("rrect", (0.18, 0.42, 0.82, 0.73), 0.035, WHITE))
    for i, h in enumerate((0.09, 0.15, 0.21) if chart else ()):
        x = 0.335 + i * 0.125
        shapes.append(("rrect", (x, 0.67 - h, x + 0.08, 0.67), 0.012, ACCENT))
    # Its stand: a pole and two legs.
    shapes.append(("line", [(0.5, 0.73), (0.5, 0.86)], 0.05, WHITE))
    shapes.append(("line", [(0.38, 0.88), (0.5, 0.8), (0.62, 0.88)], 0.05, WHITE))
    return shapes


def small_drawing(size):
    """The plain drawing, laid on the pixel grid of 16 px, or of 24 px for 22 and 24."""
    g = 16 if size < 22 else 24
    if g == 16:
        radius, signal, dot, arc, arc_width = 3.5, (8, 6), 1.0, 3.5, 1.3
        screen, pole, foot = (2, 8, 14, 12), (7, 12, 9, 14), (5, 14, 11, 15)
    else:
        radius, signal, dot, arc, arc_width = 5, (12, 9), 1.5, 5, 1.8
        screen, pole, foot = (3, 12, 21, 18), (11, 18, 13, 20), (7, 20, 17, 22)

    def u(box):
        return tuple(v / g for v in box)

    return [
        ("square", 0.0, radius / g),
        ("dot", u(signal), dot / g, WHITE),
        ("arc", u(signal), arc / g, 225, 315, arc_width / g, WHITE),
        ("rrect", u(screen), 0.5 / g, WHITE),
        ("rrect", u(pole), 0, WHITE),
        ("rrect", u(foot), 0, WHITE),
    ]


# ---------------------------------------------------------------------------------------------
# PNG


def gradient_square(side, inset, radius):
    """The background at `side` supersampled pixels: the gradient inside a rounded square."""
    grad = Image.new("RGBA", (side, side))
    gd = ImageDraw.Draw(grad)
    for y in range(side):
        t = y / max(1, side - 1)
        col = tuple(int(round(a + (b - a) * t)) for a, b in zip(ACCENT_HOVER, ACCENT_DOWN))
        gd.line([(0, y), (side, y)], fill=col + (255,))
    mask = Image.new("L", (side, side), 0)
    x0 = inset * side
    x1 = side - x0 - 1
    ImageDraw.Draw(mask).rounded_rectangle((x0, x0, x1, x1), radius=radius * side, fill=255)
    out = Image.new("RGBA", (side, side), (0, 0, 0, 0))
    out.paste(grad, (0, 0), mask)
    return out


def draw_png(size, shapes):
    side = size * SS
    img = Image.new("RGBA", (side, side), (0, 0, 0, 0))
    d = ImageDraw.Draw(img)

    def p(v):
        return v * side

    def dot(c, r, colour):
        x, y = c
        d.ellipse((p(x - r), p(y - r), p(x + r) - 1, p(y + r) - 1), fill=colour)

    for shape in shapes:
        kind = shape[0]
        if kind == "square":
            img.alpha_composite(gradient_square(side, shape[1], shape[2]))
        elif kind == "rrect":
            (x0, y0, x1, y1), r, colour = shape[1:]
            d.rounded_rectangle((p(x0), p(y0), p(x1) - 1, p(y1) - 1), radius=p(r), fill=colour)
        elif kind == "line":
            points, width, colour = shape[1:]
            d.line([(p(x), p(y)) for x, y in points], fill=colour, width=round(p(width)),
                   joint="curve")
            for point in points:
                dot(point, width / 2, colour)
        elif kind == "dot":
            dot(shape[1], shape[2], shape[3])
        elif kind == "arc":
            (x, y), r, start, end, width, colour = shape[1:]
            outer = r + width / 2
            d.arc((p(x - outer), p(y - outer), p(x + outer), p(y + outer)), start, end,
                  fill=colour, width=round(p(width)))
            for angle in (start, end):
                a = math.radians(angle)
                dot((x + r * math.cos(a), y + r * math.sin(a)), width / 2, colour)
    return img.resize((size, size), Image.BOX)


# ---------------------------------------------------------------------------------------------
# SVG, in a 256 x 256 view box


def draw_svg(shapes):
    side = 256

    def n(v):
        return f"{v * side:.2f}".rstrip("0").rstrip(".")

    def rgb(colour):
        return "#%02x%02x%02x" % colour

    body = []
    for shape in shapes:
        kind = shape[0]
        if kind == "square":
            inset, radius = shape[1:]
            body.append(f'<rect x="{n(inset)}" y="{n(inset)}" width="{n(1 - 2 * inset)}" '
                        f'height="{n(1 - 2 * inset)}" rx="{n(radius)}" fill="url(#accent)"/>')
        elif kind == "rrect":
            (x0, y0, x1, y1), r, colour = shape[1:]
            body.append(f'<rect x="{n(x0)}" y="{n(y0)}" width="{n(x1 - x0)}" '
                        f'height="{n(y1 - y0)}" rx="{n(r)}" fill="{rgb(colour)}"/>')
        elif kind == "line":
            points, width, colour = shape[1:]
            path = " ".join(("M" if i == 0 else "L") + f"{n(x)} {n(y)}"
                            for i, (x, y) in enumerate(points))
            body.append(f'<path d="{path}" fill="none" stroke="{rgb(colour)}" '
                        f'stroke-width="{n(width)}" stroke-linecap="round" '
                        f'stroke-linejoin="round"/>')
        elif kind == "dot":
            (x, y), r, colour = shape[1:]
            body.append(f'<circle cx="{n(x)}" cy="{n(y)}" r="{n(r)}" fill="{rgb(colour)}"/>')
        elif kind == "arc":
            (x, y), r, start, end, width, colour = shape[1:]
            a0, a1 = math.radians(start), math.radians(end)
            x0, y0 = x + r * math.cos(a0), y + r * math.sin(a0)
            x1, y1 = x + r * math.cos(a1), y + r * math.sin(a1)
            large = 1 if (end - start) % 360 > 180 else 0
            body.append(f'<path d="M{n(x0)} {n(y0)} A{n(r)} {n(r)} 0 {large} 1 {n(x1)} {n(y1)}" '
                        f'fill="none" stroke="{rgb(colour)}" stroke-width="{n(width)}" '
                        f'stroke-linecap="round"/>')
    return "\n".join([
        f'<svg xmlns="http://www.w3.org/2000/svg" width="{side}" height="{side}" '
        f'viewBox="0 0 {side} {side}">',
        '<defs><linearGradient id="accent" x1="0" y1="0" x2="0" y2="1">'
        f'<stop offset="0" stop-color="{rgb(ACCENT_HOVER)}"/>'
        f'<stop offset="1" stop-color="{rgb(ACCENT_DOWN)}"/></linearGradient></defs>',
        *body,
        "</svg>",
        "",
    ])


def main():
    out = sys.argv[1] if len(sys.argv) > 1 else os.path.dirname(os.path.abspath(__file__))
    hicolor = os.path.join(out, "icons", "hicolor")
    for size in SIZES:
        folder = os.path.join(hicolor, f"{size}x{size}", "apps")
        os.makedirs(folder, exist_ok=True)
        shapes = small_drawing(size) if size <= SMALL else full_drawing(chart=size >= CHART)
        draw_png(size, shapes).save(os.path.join(folder, "beamora.png"), optimize=True)
    folder = os.path.join(hicolor, "scalable", "apps")
    os.makedirs(folder, exist_ok=True)
    with open(os.path.join(folder, "beamora.svg"), "w", encoding="utf-8") as f:
        f.write(draw_svg(full_drawing()))


if __name__ == "__main__":
    main()
