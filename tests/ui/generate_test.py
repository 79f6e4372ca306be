#!/usr/bin/python3
"""Checks of the artwork generator: what it refuses to draw, how it breaks
lines, and that drawing again reproduces the committed files.

    /usr/bin/python3 tests/ui/generate_test.py <path of ui/resources>
"""

import importlib.util
import os
import subprocess
import sys
import tempfile
import unittest

from PIL import Image

RESOURCES = os.path.abspath(sys.argv.pop(1) if len(sys.argv) > 1 else
                            os.path.join(os.path.dirname(__file__), "..", "..", "ui", "resources"))
_spec = importlib.util.spec_from_file_location("generate", os.path.join(RESOURCES, "generate.py"))
generate = importlib.util.module_from_spec(_spec)
_spec.loader.exec_module(generate)


def blank_page():
    return Image.new("RGB", (generate.PAGE_WIDTH, generate.PAGE_HEIGHT), generate.WHITE)


class ButtonLabels(unittest.TestCase):
    def setUp(self):
        _, self.bold = generate.typefaces("en")

    def test_label_that_fits_at_no_size_is_refused_with_its_name(self):
        with self.assertRaises(generate.GenerationError) as raised:
            generate.button(blank_page(), "RESTART THE PRINTER IMMEDIATELY", self.bold, "english/15.png")
        self.assertIn("RESTART THE PRINTER IMMEDIATELY", str(raised.exception))
        self.assertIn("english/15.png", str(raised.exception))

    def test_single_long_word_is_refused(self):
        with self.assertRaises(generate.GenerationError):
            generate.button(blank_page(), "UNINTERRUPTIBLEPOWER", self.bold, "x")

    def test_label_not_in_capitals_is_refused(self):
        with self.assertRaises(generate.GenerationError) as raised:
            generate.button(blank_page(), "Restart now", self.bold, "english/15.png")
        self.assertIn("Restart now", str(raised.exception))

    def test_long_label_goes_onto_two_lines_rather_than_shrinking_far(self):
        size, lines, _ = generate.fit_label(self.bold, "MULAI ULANG SEKARANG", 133, 47, "x")
        self.assertEqual(len(lines), 2)
        self.assertEqual(" ".join(lines), "MULAI ULANG SEKARANG")

    def test_short_label_stays_on_one_line(self):
        size, lines, _ = generate.fit_label(self.bold, "RESTART NOW", 133, 47, "x")
        self.assertEqual(lines, ["RESTART NOW"])

    def test_lettering_stays_inside_the_button(self):
        image = blank_page()
        generate.button(image, "KÄYNNISTÄ UUDELLEEN", self.bold, "finnish/15.png")
        left, top, right, bottom = generate.BUTTON_BOX
        blue = generate.BUTTON
        for y in range(top + generate.BUTTON_RADIUS + 2, bottom - generate.BUTTON_RADIUS - 1):
            for x in (left + 3, right - 3):
                self.assertEqual(image.getpixel((x, y)), blue, (x, y))


class Fonts(unittest.TestCase):
    def test_character_that_no_font_has_is_refused(self):
        regular, _ = generate.typefaces("en")
        with self.assertRaises(generate.GenerationError) as raised:
            regular.runs("Wi-Fi 模块", "english/16.png")
        self.assertIn("U+6A21", str(raised.exception))

    def test_thai_text_takes_latin_words_from_the_latin_font(self):
        regular, _ = generate.typefaces("th")
        runs = regular.runs("อัปเกรดโมดูล Wi-Fi สำเร็จ", "thai/15.png")
        fonts = [face[0] for face, _ in runs]
        self.assertIn(generate.THAI["regular"][0], fonts)
        self.assertIn(generate.LATIN["regular"][0], fonts)
        self.assertEqual("".join(piece for _, piece in runs), "อัปเกรดโมดูล Wi-Fi สำเร็จ")

    def test_break_marks_are_not_drawn(self):
        regular, _ = generate.typefaces("th")
        runs = regular.runs("ขั้นตอน\u200bนี้", "thai/16.png")
        self.assertNotIn("\u200b", "".join(piece for _, piece in runs))


class LineBreaking(unittest.TestCase):
    def test_latin_text_wraps_at_spaces_within_the_width(self):
        regular, _ = generate.typefaces("en")
        text = "The upgrade was unsuccessful. Press OK to keep the current version."
        lines = generate.wrap(regular, text, 22, 300, "x")
        self.assertGreater(len(lines), 1)
        self.assertEqual(" ".join(lines), text)
        for line in lines:
            self.assertLessEqual(regular.width(line, 22, "x"), 300)

    def test_ideographic_text_keeps_closing_marks_off_the_line_start(self):
        regular, _ = generate.typefaces("zh-Hans")
        text = "升级未成功。按“确定”可保留当前版本。请重试或联系客户服务。"
        for width in range(120, 400, 7):
            lines = generate.wrap(regular, text, 22, width, "x")
            self.assertEqual("".join(lines), text)
            for line in lines:
                self.assertNotIn(line[0], "。，”、")
                self.assertNotEqual(line[-1], "“")

    def test_latin_word_inside_ideographic_text_stays_whole(self):
        regular, _ = generate.typefaces("ja")
        units = generate.break_units("現在の Wi-Fi モジュール", "ja")
        self.assertTrue(any("Wi-Fi" in unit for unit in units))

    def test_thai_breaks_only_at_spaces_and_break_marks(self):
        units = generate.break_units("โปรด\u200bอย่า\u200bปิด เครื่องพิมพ์", "th")
        self.assertEqual([u.rstrip(" \u200b") for u in units], ["โปรด", "อย่า", "ปิด", "เครื่องพิมพ์"])

    def test_word_wider_than_the_line_is_refused(self):
        regular, _ = generate.typefaces("en")
        with self.assertRaises(generate.GenerationError):
            generate.wrap(regular, "Aktualisierungsfehlermeldung", 22, 100, "german/17.png")


class LayoutFiles(unittest.TestCase):
    def test_file_outside_the_allowed_size_is_refused(self):
        saved = generate.CORNERS["english"]
        try:
            generate.CORNERS["english"] = [(1, 1)] * 7 + [1]
            with self.assertRaises(generate.GenerationError) as raised:
                generate.layout("english")
            self.assertIn("english/coordinates.json", str(raised.exception))
        finally:
            generate.CORNERS["english"] = saved

    def test_every_language_gives_its_committed_file(self):
        for language in generate.LANGUAGES:
            with open(os.path.join(RESOURCES, language, "coordinates.json"), "rb") as f:
                self.assertEqual(generate.layout(language), f.read(), language)


class Reproduction(unittest.TestCase):
    """The committed pictures are what the table and the generator make now:
    a wording changed without drawing again shows here."""

    def test_drawing_again_reproduces_the_committed_pictures(self):
        languages = ["english", "thai", "vietnamese", "chinese(traditional)"]
        with tempfile.TemporaryDirectory() as out:
            command = [sys.executable, os.path.join(RESOURCES, "generate.py"), "--output", out]
            for language in languages:
                command += ["--only", language]
            subprocess.run(command, check=True)
            paths = ["%s/%s.png" % (language, page) for language in languages for page in ("15", "16", "17")]
            paths += ["numbers/%s.png" % name for name, _ in generate.GLYPHS]
            for path in paths:
                drawn = Image.open(os.path.join(out, path)).convert("RGB")
                committed = Image.open(os.path.join(RESOURCES, path)).convert("RGB")
                self.assertEqual(drawn.size, committed.size, path)
                self.assertEqual(drawn.tobytes(), committed.tobytes(), path)


if __name__ == "__main__":
    unittest.main()
