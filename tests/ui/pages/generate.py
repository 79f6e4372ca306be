#!/usr/bin/python3
"""Draws the english system-upgrade pages that the tests show through the
page manager.

These pages are not compiled into the program: the page manager finds them
on disk at their paths ("/Upgrade/qnxupgrade/english/<n>.png"). The tests
register them under those paths, and in the sandbox the folder english/
beside this script is bound there. The pictures come from the same
generator and style as the compiled-in ones (ui/resources/generate.py); the
wording is texts.json beside this script, the boxes are those of the english
layout file.

It needs Debian's python3-pil and the Noto fonts, as ui/resources does.

    /usr/bin/python3 tests/ui/pages/generate.py
"""

import importlib.util
import json
import os
import sys

from PIL import Image, ImageDraw

HERE = os.path.dirname(os.path.abspath(__file__))
RESOURCES = os.path.join(HERE, "..", "..", "..", "ui", "resources")
_spec = importlib.util.spec_from_file_location("generate", os.path.join(RESOURCES, "generate.py"))
generate = importlib.util.module_from_spec(_spec)
_spec.loader.exec_module(generate)

LABEL_GAP = 8        # between a version label and its box
GLYPH_BASELINE = 22  # row of a version box on which the glyphs stand


def arrow(size):
    """An upgrade mark: a white arrow pointing up on a blue disc."""
    def paint(d, s):
        u = size * s / 48.0
        p = lambda *v: [c * u for c in v]
        d.ellipse(p(1, 1, 47, 47), fill=generate.BUTTON)
        d.polygon(p(24, 9, 37, 23, 29, 23, 29, 38, 19, 38, 19, 23, 11, 23), fill=generate.WHITE)
    return generate.smooth((size, size), paint)


ICONS = {"arrow": arrow, "exclamation": generate.exclamation, "trophy": generate.trophy}


def draw_page(number, content, layout, faces):
    regular, bold = faces
    where = "english/%s.png" % number
    image = Image.new("RGB", (generate.PAGE_WIDTH, generate.PAGE_HEIGHT), generate.WHITE)
    d = ImageDraw.Draw(image)

    icon_size = 44
    image.paste(ICONS[content["icon"]](icon_size),
                (generate.MARGIN, generate.TITLE_TOP + (generate.TITLE_HEIGHT - icon_size) // 2))
    title_x = generate.MARGIN + icon_size + 16
    size = 30
    if bold.width(content["title"], size, where) > generate.PAGE_WIDTH - generate.MARGIN - title_x:
        raise generate.GenerationError("%s: title %r does not fit on its line" % (where, content["title"]))
    cap_top = generate.font(generate.LATIN["bold"], size).getbbox("H", anchor="ls")[1]
    baseline = round(generate.TITLE_TOP + (generate.TITLE_HEIGHT - cap_top) / 2.0)
    bold.draw(d, title_x, baseline, content["title"], size, generate.TITLE, where)
    d.rectangle((generate.MARGIN, generate.RULE_Y, generate.PAGE_WIDTH - generate.MARGIN - 1,
                 generate.RULE_Y + 1), fill=generate.GREY)

    body = generate.TEXT_TOP + generate.BODY_SIZE
    if "lead" in content:
        regular.draw(d, generate.MARGIN, body, content["lead"], generate.BODY_SIZE, generate.GREY, where)
        body += generate.LINE_PITCH
    if "version_box" in content:
        # The label ends where the page manager draws the version.
        left, top, _, bottom = layout["version"][content["version_box"]]
        label = content["version_label"]
        x = left - LABEL_GAP - regular.width(label, generate.BODY_SIZE, where)
        if x < generate.MARGIN:
            raise generate.GenerationError("%s: label %r does not fit before its version box" % (where, label))
        regular.draw(d, round(x), top + GLYPH_BASELINE, label, generate.BODY_SIZE, generate.GREY, where)
        body = bottom + generate.LINE_PITCH
    if "progress" in content:
        progress = content["progress"]
        left, top, right, bottom = layout["loadingBar"][progress["bar"]]
        # The bar fills inside the frame: columns left + 1 .. right, rows top + 1 .. bottom - 1.
        d.rectangle((left, top, right + 1, bottom), outline=generate.GREY)
        number_left, number_top, _, _ = layout["percentage"][progress["percentage"]]
        label = progress["label"]
        x = number_left - regular.width(label, generate.BODY_SIZE, where)
        regular.draw(d, round(x), number_top + GLYPH_BASELINE, label, generate.BODY_SIZE, generate.GREY, where)

    for line in generate.wrap(regular, content["text"], generate.BODY_SIZE, generate.TEXT_WIDTH, where):
        regular.draw(d, generate.MARGIN, body, line, generate.BODY_SIZE, generate.GREY, where)
        body += generate.LINE_PITCH
    if body > generate.BUTTON_BOX[1] - 10:
        raise generate.GenerationError("%s: the text runs into the buttons" % where)

    for box, label in content.get("buttons", {}).items():
        generate.button(image, label, bold, where, tuple(layout["buttons"][box]))
    return image.quantize(palette=generate.shared_palette(), dither=Image.Dither.NONE)


def main():
    with open(os.path.join(HERE, "texts.json"), encoding="utf-8") as f:
        pages = json.load(f)["pages"]
    with open(os.path.join(RESOURCES, "english", "coordinates.json"), encoding="ascii") as f:
        layout = json.load(f)
    faces = generate.typefaces("en")
    folder = os.path.join(HERE, "english")
    os.makedirs(folder, exist_ok=True)
    try:
        for number, content in pages.items():
            draw_page(number, content, layout, faces).save(os.path.join(folder, number + ".png"),
                                                            optimize=True, bits=8)
    except generate.GenerationError as error:
        sys.exit("generate.py: %s" % error)


if __name__ == "__main__":
    main()
