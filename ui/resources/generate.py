#!/usr/bin/python3
"""Draws every compiled-in picture and layout file of the upgrade screens.

From texts.json (the one table of the pages' wording) it writes, for each of
the 30 language folders, the pages 15.png, 16.png and 17.png and the layout
file coordinates.json; it also draws the twelve glyphs under numbers/ and,
with --contact-sheet, a sheet of all pages for review.

It needs Debian's python3-pil (with libraqm for complex scripts) and the Noto
fonts (fonts-noto-core, fonts-noto-cjk). It refuses, with a message naming the
offending text, anything that would not look right on the printer: a title or
button label that does not fit, a character missing from its font, a layout
file of the wrong size.

    /usr/bin/python3 ui/resources/generate.py [--contact-sheet docs/pages.png]
"""

import argparse
import json
import os
import struct
import sys
import unicodedata

from PIL import Image, ImageDraw, ImageFont, features

HERE = os.path.dirname(os.path.abspath(__file__))

# Folder order of the program's resource table.
LANGUAGES = [
    "bahasaindonesian", "bahasamalay", "bulgarian", "chinese(simplified)",
    "chinese(traditional)", "croatian", "czech", "danish", "dutch", "english",
    "estonian", "finnish", "french", "german", "hungarian", "italian",
    "japanese", "korean", "norwegian", "polish", "portuguese", "romanian",
    "russian", "slovakian", "slovenian", "spanish", "swedish", "thai",
    "turkish", "vietnamese",
]

PAGE_WIDTH, PAGE_HEIGHT = 1024, 600
WHITE = (0xFF, 0xFF, 0xFF)
GREY = (0x66, 0x66, 0x66)          # rule and explanatory text
TITLE = (0x33, 0x33, 0x33)
BUTTON = (0x04, 0x3F, 0x8D)
GREEN = (0x2E, 0x9E, 0x44)
GREEN_DARK = (0x1E, 0x73, 0x30)
RED = (0xD3, 0x2F, 0x2F)

MARGIN = 20
TITLE_TOP, TITLE_HEIGHT = 20, 52   # the icon and title line
RULE_Y = 86                        # first of its two rows
TEXT_TOP = 108
TEXT_WIDTH = PAGE_WIDTH - 2 * MARGIN
BODY_SIZE = 22
LINE_PITCH = 34
TITLE_SIZES = range(30, 23, -1)

# The button box, bounds inclusive, and the room its label may take.
BUTTON_BOX = (854, 520, 1004, 580)
BUTTON_RADIUS = 8
LABEL_PAD_X, LABEL_PAD_Y = 9, 7
LABEL_SIZES_ONE_LINE = range(22, 14, -1)
LABEL_SIZES_TWO_LINES = range(18, 12, -1)

SUPERSAMPLE = 4

FONT_DIR = "/usr/share/fonts/truetype/noto"
CJK_DIR = "/usr/share/fonts/opentype/noto"
LATIN = {"regular": (FONT_DIR + "/NotoSans-Regular.ttf", 0),
         "bold": (FONT_DIR + "/NotoSans-Bold.ttf", 0)}
THAI = {"regular": (FONT_DIR + "/NotoSansThai-Regular.ttf", 0),
        "bold": (FONT_DIR + "/NotoSansThai-Bold.ttf", 0)}
CJK_INDEX = {"ja": 0, "ko": 1, "zh-Hans": 2, "zh-Hant": 3}


def cjk(tag):
    return {"regular": (CJK_DIR + "/NotoSansCJK-Regular.ttc", CJK_INDEX[tag]),
            "bold": (CJK_DIR + "/NotoSansCJK-Bold.ttc", CJK_INDEX[tag])}


class GenerationError(Exception):
    pass


# --------------------------------------------------------------------------
# Fonts: which characters a font has (so that nothing is drawn as a box) and
# a chain of fonts that together cover one language.

def read_cmap(path, index):
    """The set of code points that the font's Unicode cmap maps."""
    with open(path, "rb") as f:
        data = f.read()
    base = 0
    if data[:4] == b"ttcf":
        base = struct.unpack(">I", data[12 + 4 * index:16 + 4 * index])[0]
    count = struct.unpack(">H", data[base + 4:base + 6])[0]
    tables = {}
    for i in range(count):
        tag, _, offset, length = struct.unpack(">4sIII", data[base + 12 + 16 * i:base + 28 + 16 * i])
        tables[tag] = (offset, length)
    cmap = tables[b"cmap"][0]
    records = struct.unpack(">H", data[cmap + 2:cmap + 4])[0]
    subtables = {}
    for i in range(records):
        platform, encoding, offset = struct.unpack(">HHI", data[cmap + 4 + 8 * i:cmap + 12 + 8 * i])
        subtables[(platform, encoding)] = cmap + offset
    points = set()
    for key in ((3, 10), (0, 4), (3, 1), (0, 3)):
        if key not in subtables:
            continue
        at = subtables[key]
        fmt = struct.unpack(">H", data[at:at + 2])[0]
        if fmt == 12:
            groups = struct.unpack(">I", data[at + 12:at + 16])[0]
            for g in range(groups):
                start, end, _ = struct.unpack(">III", data[at + 16 + 12 * g:at + 28 + 12 * g])
                points.update(range(start, end + 1))
        elif fmt == 4:
            segs = struct.unpack(">H", data[at + 6:at + 8])[0] // 2
            ends = struct.unpack(">%dH" % segs, data[at + 14:at + 14 + 2 * segs])
            starts_at = at + 16 + 2 * segs
            starts = struct.unpack(">%dH" % segs, data[starts_at:starts_at + 2 * segs])
            deltas = struct.unpack(">%dh" % segs, data[starts_at + 2 * segs:starts_at + 4 * segs])
            ranges_at = starts_at + 4 * segs
            offsets = struct.unpack(">%dH" % segs, data[ranges_at:ranges_at + 2 * segs])
            for s in range(segs):
                for c in range(starts[s], ends[s] + 1):
                    if c == 0xFFFF:
                        continue
                    if offsets[s] == 0:
                        glyph = (c + deltas[s]) & 0xFFFF
                    else:
                        where = ranges_at + 2 * s + offsets[s] + 2 * (c - starts[s])
                        glyph = struct.unpack(">H", data[where:where + 2])[0]
                        if glyph:
                            glyph = (glyph + deltas[s]) & 0xFFFF
                    if glyph:
                        points.add(c)
        if points:
            break
    return points


_cmaps = {}
_fonts = {}


def coverage(face):
    if face not in _cmaps:
        _cmaps[face] = read_cmap(*face)
    return _cmaps[face]


def font(face, size):
    key = (face, size)
    if key not in _fonts:
        _fonts[key] = ImageFont.truetype(face[0], size, index=face[1],
                                         layout_engine=ImageFont.Layout.RAQM)
    return _fonts[key]


# Characters that only give line-break opportunities or join glyphs; they
# need no glyph of their own.
INVISIBLE = {"\u200b"}


class Typeface:
    """The fonts of one language in one weight: the first that has a
    character draws it, so Latin words in Thai text come from a Latin font."""

    def __init__(self, language, faces):
        self.language = language
        self.faces = faces

    def runs(self, text, where):
        """Splits text into (face, piece) runs; refuses a character that no
        font of the chain has."""
        runs = []
        for ch in text:
            if ch in INVISIBLE:
                continue
            face = None
            neutral = unicodedata.category(ch)[0] in "ZP" or unicodedata.category(ch) == "Mn"
            if runs and neutral and ord(ch) in coverage(runs[-1][0]):
                face = runs[-1][0]
            else:
                for candidate in self.faces:
                    if ord(ch) in coverage(candidate):
                        face = candidate
                        break
            if face is None:
                raise GenerationError("%s: no font has U+%04X (%r) in %r" % (where, ord(ch), ch, text))
            if runs and runs[-1][0] == face:
                runs[-1][1] += ch
            else:
                runs.append([face, ch])
        return runs

    def width(self, text, size, where):
        return sum(font(face, size).getlength(piece, language=self.language)
                   for face, piece in self.runs(text, where))

    def ink(self, text, size, where):
        """Ink box (left, top, right, bottom) of text drawn at the origin
        with its baseline at y = 0."""
        x = 0.0
        box = None
        for face, piece in self.runs(text, where):
            f = font(face, size)
            l, t, r, b = f.getbbox(piece, anchor="ls", language=self.language)
            part = (x + l, t, x + r, b)
            box = part if box is None else (min(box[0], part[0]), min(box[1], part[1]),
                                            max(box[2], part[2]), max(box[3], part[3]))
            x += f.getlength(piece, language=self.language)
        return box or (0, 0, 0, 0)

    def draw(self, draw, x, baseline, text, size, colour, where):
        for face, piece in self.runs(text, where):
            f = font(face, size)
            draw.text((x, baseline), piece, font=f, fill=colour, anchor="ls", language=self.language)
            x += f.getlength(piece, language=self.language)


def typefaces(script):
    """(regular, bold) typefaces for the script named in the text table."""
    if script in CJK_INDEX:
        chain = lambda w: [cjk(script)[w], LATIN[w]]
        language = script
    elif script == "th":
        chain = lambda w: [THAI[w], LATIN[w]]
        language = "th"
    else:
        chain = lambda w: [LATIN[w]]
        language = script
    return Typeface(language, chain("regular")), Typeface(language, chain("bold"))


# --------------------------------------------------------------------------
# Line breaking.

NO_LINE_START = set("、。，．・：；！？）」』】〕〉》”’ー々ぁぃぅぇぉっゃゅょゎァィゥェォッャュョヮヵヶ,.!?:;%)]")
NO_LINE_END = set("（「『【〔〈《“‘([")


def is_wide(ch):
    return unicodedata.east_asian_width(ch) in "WF"


def break_units(text, script):
    """Splits text into pieces between which a line may end. Each piece
    keeps its trailing spaces, which vanish at a line end."""
    units = []
    current = ""
    for i, ch in enumerate(text):
        prev = text[i - 1] if i else ""
        can_break = False
        if i and prev in (" ", "\u200b") and ch not in (" ", "\u200b"):
            can_break = True
        elif script in ("ja", "zh-Hans", "zh-Hant") and i:
            # Ideographic text breaks between any two characters, except
            # that closing marks never start a line nor opening ones end it,
            # and Latin words and numbers stay whole.
            if (is_wide(ch) or is_wide(prev)) and ch not in NO_LINE_START and prev not in NO_LINE_END \
                    and prev != " " and ch != " ":
                can_break = True
        if can_break and current:
            units.append(current)
            current = ""
        current += ch
    if current:
        units.append(current)
    return units


def wrap(face, text, size, width, where):
    lines = []
    for paragraph in text.split("\n"):
        line = ""
        for unit in break_units(paragraph, face.language):
            candidate = line + unit
            if line and face.width(candidate.rstrip(" \u200b"), size, where) > width:
                lines.append(line.rstrip(" \u200b"))
                line = unit
            else:
                line = candidate
        if face.width(line.rstrip(" \u200b"), size, where) > width:
            raise GenerationError("%s: %r is too long for one line" % (where, line))
        lines.append(line.rstrip(" \u200b"))
    return lines


# --------------------------------------------------------------------------
# Drawing.

def palette():
    """A fixed palette: the page's exact colours and, for anti-aliasing,
    ramps between the colours that meet."""
    pairs = [(WHITE, GREY), (WHITE, TITLE), (BUTTON, WHITE), (WHITE, BUTTON),
             (WHITE, GREEN), (WHITE, GREEN_DARK), (GREEN, GREEN_DARK),
             (WHITE, RED), (RED, WHITE)]
    colours = []
    for a, b in pairs:
        for step in range(17):
            t = step / 16.0
            c = tuple(int(round(a[k] + (b[k] - a[k]) * t)) for k in range(3))
            if c not in colours:
                colours.append(c)
    assert len(colours) <= 256
    image = Image.new("P", (1, 1))
    flat = [v for c in colours for v in c]
    flat += [0] * (768 - len(flat))
    image.putpalette(flat)
    return image


_palette = []


def shared_palette():
    if not _palette:
        _palette.append(palette())
    return _palette[0]


def smooth(size, paint):
    """Draws shapes at SUPERSAMPLE times the size and scales down, which
    gives the edges the same anti-aliasing as the lettering."""
    big = Image.new("RGB", (size[0] * SUPERSAMPLE, size[1] * SUPERSAMPLE), WHITE)
    paint(ImageDraw.Draw(big), SUPERSAMPLE)
    # Plain averaging: no ringing, so edges blend only between their two colours.
    return big.resize(size, Image.BOX)


def trophy(size):
    def paint(d, s):
        u = size * s / 48.0
        p = lambda *v: [c * u for c in v]
        # bowl: a rim and a half ellipse narrowing to the stem
        d.rounded_rectangle(p(10, 4, 38, 9), radius=2 * u, fill=GREEN)
        d.chord(p(10, -14, 38, 30), 0, 180, fill=GREEN)
        # handles
        d.arc(p(2, 7, 16, 21), 90, 270, fill=GREEN, width=int(4 * u))
        d.arc(p(32, 7, 46, 21), 270, 90, fill=GREEN, width=int(4 * u))
        # stem and the two steps of the base
        d.polygon(p(21, 28, 27, 28, 28, 36, 20, 36), fill=GREEN)
        d.rounded_rectangle(p(15, 35, 33, 40), radius=1.5 * u, fill=GREEN_DARK)
        d.rounded_rectangle(p(11, 39, 37, 45), radius=1.5 * u, fill=GREEN)
        # a star on the bowl
        import math
        cx, cy, ro, ri = 24 * u, 15.5 * u, 6.5 * u, 2.7 * u
        star = []
        for k in range(10):
            r = ro if k % 2 == 0 else ri
            a = -math.pi / 2 + k * math.pi / 5
            star.append((cx + r * math.cos(a), cy + r * math.sin(a)))
        d.polygon(star, fill=WHITE)
    return smooth((size, size), paint)


def exclamation(size):
    def paint(d, s):
        u = size * s / 48.0
        p = lambda *v: [c * u for c in v]
        d.ellipse(p(1, 1, 47, 47), fill=RED)
        d.rounded_rectangle(p(20.5, 9, 27.5, 30), radius=3.5 * u, fill=WHITE)
        d.ellipse(p(20, 33, 28, 41), fill=WHITE)
    return smooth((size, size), paint)


def button(image, label, bold, where, box=BUTTON_BOX):
    left, top, right, bottom = box
    w, h = right - left + 1, bottom - top + 1

    def paint(d, s):
        d.rounded_rectangle((0, 0, w * s - 1, h * s - 1), radius=BUTTON_RADIUS * s, fill=BUTTON)
    # The button is drawn on white, so that its corners blend into the page.
    image.paste(smooth((w, h), paint), (left, top))

    if any(ch.islower() for ch in label):
        raise GenerationError("%s: button label %r is not in capitals" % (where, label))
    room_w = w - 2 * LABEL_PAD_X
    room_h = h - 2 * LABEL_PAD_Y
    layout = fit_label(bold, label, room_w, room_h, where)
    if layout is None:
        raise GenerationError("%s: button label %r does not fit in its %d x %d button" % (where, label, w, h))
    size, lines, pitch = layout
    d = ImageDraw.Draw(image)
    boxes = [bold.ink(line, size, where) for line in lines]
    block_top = min(b[1] for b in boxes)
    block_bottom = max(b[3] for b in boxes) + pitch * (len(lines) - 1)
    baseline = top + (h - (block_bottom - block_top)) / 2.0 - block_top
    baseline = round(baseline)
    for line, box in zip(lines, boxes):
        x = left + (w - (box[2] - box[0])) / 2.0 - box[0]
        bold.draw(d, round(x), baseline, line, size, WHITE, where)
        baseline += pitch


def fit_label(face, label, room_w, room_h, where):
    """The largest size at which the label fits the button's room, on one
    line or, split at a space, on two; None when it fits at no size."""
    def fits(lines, size, pitch):
        boxes = [face.ink(line, size, where) for line in lines]
        width = max(b[2] - b[0] for b in boxes)
        height = max(b[3] for b in boxes) + pitch * (len(lines) - 1) - min(b[1] for b in boxes)
        return width <= room_w and height <= room_h
    one_line = None
    if "\n" not in label:
        for size in LABEL_SIZES_ONE_LINE:
            if fits([label], size, 0):
                one_line = (size, [label], 0)
                break
    words = label.split("\n") if "\n" in label else None
    splits = [words] if words else [
        [label[:i], label[i + 1:]] for i, ch in enumerate(label) if ch == " "]
    two_lines = None
    for size in LABEL_SIZES_TWO_LINES:
        pitch = int(round(size * 1.25))
        best = None
        for lines in splits:
            if len(lines) == 2 and fits(lines, size, pitch):
                widest = max(face.width(line, size, where) for line in lines)
                if best is None or widest < best[0]:
                    best = (widest, lines)
        if best:
            two_lines = (size, best[1], pitch)
            break
    # One line reads best, unless it has to be much smaller than two would be.
    if one_line and (two_lines is None or one_line[0] + 1 >= two_lines[0]):
        return one_line
    if two_lines:
        return two_lines
    return None


def page(language, number, texts, faces):
    regular, bold = faces
    where = "%s/%s.png" % (language, number)
    content = texts["pages"][number]
    image = Image.new("RGB", (PAGE_WIDTH, PAGE_HEIGHT), WHITE)
    d = ImageDraw.Draw(image)

    icon_size = 44
    icon = trophy(icon_size) if number == "15" else exclamation(icon_size)
    image.paste(icon, (MARGIN, TITLE_TOP + (TITLE_HEIGHT - icon_size) // 2))

    title_x = MARGIN + icon_size + 16
    title_room = PAGE_WIDTH - MARGIN - title_x
    for size in TITLE_SIZES:
        if bold.width(content["title"], size, where) <= title_room:
            break
    else:
        raise GenerationError("%s: title %r does not fit on its line" % (where, content["title"]))
    # Centred on the height of capitals, not on the title's own ink, so the
    # title stays on the same line from page to page.
    cap_top = font(LATIN["bold"], size).getbbox("H", anchor="ls")[1]
    baseline = round(TITLE_TOP + (TITLE_HEIGHT - cap_top) / 2.0)
    bold.draw(d, title_x, baseline, content["title"], size, TITLE, where)

    d.rectangle((MARGIN, RULE_Y, PAGE_WIDTH - MARGIN - 1, RULE_Y + 1), fill=GREY)

    lines = wrap(regular, content["text"], BODY_SIZE, TEXT_WIDTH, where)
    baseline = TEXT_TOP + BODY_SIZE
    for line in lines:
        regular.draw(d, MARGIN, baseline, line, BODY_SIZE, GREY, where)
        baseline += LINE_PITCH
    if baseline > BUTTON_BOX[1] - 10:
        raise GenerationError("%s: the text runs into the button" % where)

    if "button" in content:
        button(image, content["button"], bold, where)
    elif number != "16":
        raise GenerationError("%s: page %s needs a button label" % (where, number))
    return image.quantize(palette=shared_palette(), dither=Image.Dither.NONE)


# --------------------------------------------------------------------------
# Glyphs of the progress percentage and the version text.

GLYPHS = [(str(d), str(d)) for d in range(10)] + [("percent", "%"), ("period", ".")]
GLYPH_SIZES = {"0": (11, 23), "3": (11, 23), "5": (11, 23), "6": (11, 23), "8": (11, 23), "9": (11, 23),
               "1": (11, 22), "2": (11, 22), "7": (11, 22), "4": (12, 22),
               "percent": (17, 23), "period": (5, 23)}
GLYPH_FONT_SIZE = 20
GLYPH_BASELINE = 22      # flat-bottomed characters end on row 21; round ones overshoot into row 22


def glyph(name, ch):
    width, height = GLYPH_SIZES[name]
    f = font(LATIN["regular"], GLYPH_FONT_SIZE)
    image = Image.new("RGB", (width, height), WHITE)
    left, _, right, _ = f.getbbox(ch, anchor="ls")
    x = (width - (right - left)) / 2.0 - left
    ImageDraw.Draw(image).text((x, GLYPH_BASELINE), ch, font=f, fill=GREY, anchor="ls")
    return image


# --------------------------------------------------------------------------
# Layout files: one line, the groups and boxes in a fixed order.

BUTTONS = [("button_one_bbox", [854, 520, 1004, 580]),
           ("button_two_bbox", [696, 520, 846, 580]),
           ("single_button_bbox", [854, 520, 1004, 580])]
LOADING_BARS = [("5_loading_bar_bbox", [183, 415, 841, 438]),
                ("6_loading_bar_bbox", [182, 238, 842, 263])]
VERSION_BOXES = ["0", "1", "4", "11", "12", "13", "14"]
TALL_SCRIPTS = {"chinese(simplified)", "chinese(traditional)", "japanese", "korean", "thai"}

# Per language: the (left, top) corners of the version boxes 0, 1, 4, 11, 12,
# 13, 14, then the left edge of the percentage box.
CORNERS = {
    "bahasaindonesian": [(545, 106), (20, 156), (428, 131), (530, 131), (20, 156), (20, 156), (428, 131), 381],
    "bahasamalay": [(539, 106), (627, 131), (519, 131), (578, 131), (20, 156), (627, 131), (519, 131), 387],
    "bulgarian": [(596, 106), (20, 156), (508, 131), (508, 131), (20, 156), (20, 156), (508, 131), 476],
    "chinese(simplified)": [(324, 109), (168, 134), (68, 134), (128, 134), (268, 134), (168, 134), (68, 134), 282],
    "chinese(traditional)": [(344, 109), (20, 134), (20, 134), (20, 134), (108, 134), (20, 134), (20, 134), 282],
    "croatian": [(665, 106), (20, 156), (20, 156), (20, 156), (188, 156), (20, 156), (20, 156), 375],
    "czech": [(593, 106), (452, 131), (271, 131), (452, 131), (585, 131), (452, 131), (271, 131), 362],
    "danish": [(481, 106), (550, 131), (177, 131), (313, 131), (578, 131), (550, 131), (177, 131), 401],
    "dutch": [(549, 106), (655, 131), (200, 131), (497, 131), (655, 131), (655, 131), (200, 131), 393],
    "english": [(441, 106), (371, 131), (67, 131), (371, 131), (403, 131), (371, 131), (67, 131), 343],
    "estonian": [(529, 106), (451, 131), (276, 131), (474, 131), (522, 131), (451, 131), (276, 131), 391],
    "finnish": [(485, 106), (613, 131), (336, 131), (359, 131), (20, 156), (613, 131), (336, 131), 410],
    "french": [(609, 106), (20, 156), (596, 131), (20, 156), (20, 156), (20, 156), (596, 131), 485],
    "german": [(511, 106), (78, 156), (20, 156), (20, 156), (417, 156), (78, 156), (20, 156), 357],
    "hungarian": [(450, 106), (20, 156), (289, 131), (638, 131), (20, 156), (20, 156), (289, 131), 398],
    "italian": [(602, 106), (20, 156), (20, 156), (20, 156), (144, 156), (20, 156), (20, 156), 463],
    "japanese": [(20, 134), (164, 159), (20, 159), (44, 159), (244, 159), (164, 159), (20, 159), 342],
    "korean": [(402, 109), (240, 134), (106, 134), (164, 134), (359, 134), (240, 134), (106, 134), 318],
    "norwegian": [(584, 106), (610, 131), (265, 131), (356, 131), (685, 131), (610, 131), (265, 131), 420],
    "polish": [(598, 106), (476, 131), (285, 131), (476, 131), (680, 131), (476, 131), (285, 131), 358],
    "portuguese": [(566, 106), (20, 156), (685, 131), (20, 156), (164, 156), (20, 156), (685, 131), 419],
    "romanian": [(678, 106), (20, 156), (491, 131), (674, 131), (20, 156), (20, 156), (491, 131), 365],
    "russian": [(608, 106), (20, 156), (673, 131), (155, 156), (243, 156), (20, 156), (673, 131), 479],
    "slovakian": [(570, 106), (496, 131), (204, 131), (347, 131), (496, 131), (496, 131), (204, 131), 371],
    "slovenian": [(638, 106), (467, 131), (307, 131), (476, 131), (580, 131), (467, 131), (307, 131), 378],
    "spanish": [(700, 106), (20, 156), (20, 156), (20, 156), (206, 156), (20, 156), (20, 156), 446],
    "swedish": [(581, 106), (20, 156), (414, 131), (490, 131), (20, 156), (20, 156), (414, 131), 382],
    "thai": [(339, 109), (48, 134), (20, 134), (186, 134), (270, 134), (48, 134), (20, 134), 402],
    "turkish": [(529, 106), (620, 131), (444, 131), (620, 131), (20, 156), (620, 131), (444, 131), 410],
    "vietnamese": [(608, 106), (508, 131), (242, 131), (379, 131), (470, 131), (508, 131), (242, 131), 343],
}


def layout(language):
    corners = CORNERS[language]
    height = 22 if language in TALL_SCRIPTS else 23

    def box(values):
        return "[" + ", ".join(str(v) for v in values) + "]"

    def group(name, members):
        return '"%s": {%s}' % (name, ", ".join('"%s": %s' % (k, box(v)) for k, v in members))
    versions = [("%s_version_bbox" % n, [left, top, left + 300, top + height])
                for n, (left, top) in zip(VERSION_BOXES, corners[:7])]
    percentage = [("6_percentage_bbox", [corners[7], 198, 1004, 218])]
    text = "{%s}" % ", ".join([group("buttons", BUTTONS), group("version", versions),
                               group("loadingBar", LOADING_BARS), group("percentage", percentage)])
    data = text.encode("ascii")
    if not 597 <= len(data) <= 602:
        raise GenerationError("%s/coordinates.json: %d bytes, outside 597 to 602" % (language, len(data)))
    return data


# --------------------------------------------------------------------------

def contact_sheet(pages, path):
    """All pages small, three to a language, two languages to a row."""
    scale = 0.45
    tw, th = int(PAGE_WIDTH * scale), int(PAGE_HEIGHT * scale)
    gap, label_h, per_row = 10, 30, 2
    cell_w = 3 * tw + 2 * gap
    rows = (len(LANGUAGES) + per_row - 1) // per_row
    sheet = Image.new("RGB", (per_row * cell_w + (per_row + 1) * 3 * gap,
                              rows * (th + label_h + 2 * gap) + gap), (0xDD, 0xDD, 0xDD))
    d = ImageDraw.Draw(sheet)
    label = font(LATIN["bold"], 22)
    for i, language in enumerate(LANGUAGES):
        x0 = 3 * gap + (i % per_row) * (cell_w + 3 * gap)
        y0 = gap + (i // per_row) * (th + label_h + 2 * gap)
        d.text((x0, y0 + label_h - 6), language, font=label, fill=(0x22, 0x22, 0x22), anchor="ls")
        for k, number in enumerate(("15", "16", "17")):
            small = pages[(language, number)].convert("RGB").resize((tw, th), Image.LANCZOS)
            x = x0 + k * (tw + gap)
            sheet.paste(small, (x, y0 + label_h))
            d.rectangle((x - 1, y0 + label_h - 1, x + tw, y0 + label_h + th), outline=(0x99, 0x99, 0x99))
            d.text((x + tw - 4, y0 + label_h - 6), number, font=font(LATIN["regular"], 18),
                   fill=(0x55, 0x55, 0x55), anchor="rs")
    sheet.quantize(colors=128, method=Image.Quantize.MEDIANCUT, dither=Image.Dither.NONE).save(path, optimize=True)


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--output", default=HERE, help="folder to write into (default: this one)")
    parser.add_argument("--contact-sheet", metavar="PNG", help="also write a sheet of all pages")
    parser.add_argument("--only", metavar="LANGUAGE", action="append", help="draw only these languages")
    args = parser.parse_args()

    if not features.check("raqm"):
        sys.exit("generate.py: PIL lacks libraqm; complex scripts would be drawn wrongly")
    with open(os.path.join(HERE, "texts.json"), encoding="utf-8") as f:
        table = json.load(f)
    missing = [lang for lang in LANGUAGES if lang not in table["languages"]]
    if missing:
        sys.exit("generate.py: texts.json lacks %s" % ", ".join(missing))

    pages = {}
    try:
        for language in args.only or LANGUAGES:
            texts = table["languages"][language]
            faces = typefaces(texts["script"])
            folder = os.path.join(args.output, language)
            os.makedirs(folder, exist_ok=True)
            for number in ("15", "16", "17"):
                image = page(language, number, texts, faces)
                image.save(os.path.join(folder, number + ".png"), optimize=True, bits=8)
                pages[(language, number)] = image
            with open(os.path.join(folder, "coordinates.json"), "wb") as f:
                f.write(layout(language))
    except GenerationError as error:
        sys.exit("generate.py: %s" % error)

    numbers = os.path.join(args.output, "numbers")
    os.makedirs(numbers, exist_ok=True)
    for name, ch in GLYPHS:
        glyph(name, ch).save(os.path.join(numbers, name + ".png"), optimize=True)

    if args.contact_sheet:
        if args.only:
            sys.exit("generate.py: the contact sheet needs every language")
        contact_sheet(pages, args.contact_sheet)


if __name__ == "__main__":
    main()
