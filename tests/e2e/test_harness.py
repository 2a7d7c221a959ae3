"""Tests of the scenario runner's own logic: reading transcripts, judging boxes and the status
window, measuring bars, laying out installations. A comparison that never fails would let every
scenario pass, so each check is shown a failing case too."""

import dataclasses
import struct
import tempfile
import unittest
from pathlib import Path

import boxes as bx
import checks
import installation
import scenarios as sc
import wine
from transcript import Record, parse_transcript


def record(kind: str, **fields: str) -> Record:
    return Record(0, kind, {k.replace("_", "."): v for k, v in fields.items()})


def box(n: int, b: bx.Box, t: int = 0, **status: str) -> Record:
    text = b.text.start + "Zugriff verweigert" if isinstance(b.text, bx.Prefix) else b.text
    buttons = "&Ja|&Nein" if b.style & 0xF == 4 else "OK"
    fields = {"n": str(n), "title": b.title, "style": str(b.style), "icon": "x", "text": text,
              "buttons": buttons, "status": "0"}
    fields.update({k.replace("_", "."): v for k, v in status.items()})
    return Record(t, "box", fields)


def bmp(width: int, height: int, bar: int, colour=(0, 0, 192)) -> bytes:
    """A 24-bit BMP with a bar of the colour over its first columns, on grey."""
    stride = (width * 3 + 3) & ~3
    row = bytes((colour[2], colour[1], colour[0])) * bar + b"\xe0" * 3 * (width - bar)
    pixels = (row + b"\0" * (stride - 3 * width)) * height
    header = struct.pack("<IiiHHIIiiII", 40, width, height, 1, 24, 0, len(pixels), 0, 0, 0, 0)
    return b"BM" + struct.pack("<IHHI", 54 + len(pixels), 0, 0, 54) + header + pixels


class TranscriptTest(unittest.TestCase):
    CASES = [
        ('t=5 box n=1 title="Fehler" text="A\\r\\nB"', "box", {"n": "1", "title": "Fehler",
                                                               "text": "A\r\nB"}),
        ('t=7 status labelCaption="ORVEN wird gestartet, bitte warten ..." label=1', "status",
         {"labelCaption": "ORVEN wird gestartet, bitte warten ...", "label": "1"}),
        ('t=9 box text="Pfad C:\\\\orven32\\\\update \\"x\\"" icon=error', "box",
         {"text": 'Pfad C:\\orven32\\update "x"', "icon": "error"}),
        ('t=1 window title="a\\tb\\x01c" class="#32770"', "window",
         {"title": "a\tb\x01c", "class": "#32770"}),
        ('t=2 box text="ordnungsgemäß = ok" s.title="ORVEN-Update 3.0.0"', "box",
         {"text": "ordnungsgemäß = ok", "s.title": "ORVEN-Update 3.0.0"}),
        ('t=3 status txt=""', "status", {"txt": ""}),
    ]

    def test_records_read_back_as_written(self):
        for line, kind, fields in self.CASES:
            with self.subTest(line=line):
                (r,) = parse_transcript(line + "\n")
                self.assertEqual(r.kind, kind)
                self.assertEqual(r.fields, fields)

    def test_lines_that_are_no_records_are_skipped(self):
        records = parse_transcript("garbage\n\nt=1 end exit=0\n")
        self.assertEqual([r.kind for r in records], ["end"])


class BoxJudgementTest(unittest.TestCase):
    QUESTION = bx.newer_question(" 3.1", "15.03.2024")

    def failures(self, scenario: sc.Scenario, records: list) -> list:
        f = checks.Findings()
        checks.check_boxes(records, scenario, f)
        return f.failures

    def scenario(self, *boxes: bx.Box, max_boxes=None) -> sc.Scenario:
        return sc.Scenario("t", "t", boxes=boxes, max_boxes=max_boxes)

    def test_the_expected_boxes_pass(self):
        starting = dict(status="1", s_frame="0", s_label="1", s_labelCaption=bx.STARTING)
        records = [box(1, self.QUESTION, **starting), box(2, bx.report_box(10))]
        self.assertEqual(self.failures(self.scenario(self.QUESTION, bx.report_box(10)),
                                       records), [])

    def test_each_difference_fails(self):
        want = self.QUESTION
        cases = {
            "title": dataclasses.replace(want, title="ORVEN-Update"),
            "style": dataclasses.replace(want, style=bx.CRITICAL),
            "text": dataclasses.replace(want, text=want.text.replace("  3.1", " 3.1")),
            "line break": dataclasses.replace(want, text=want.text.replace("\r\n", "\n")),
        }
        for what, got in cases.items():
            with self.subTest(what=what):
                self.assertEqual(len(self.failures(self.scenario(dataclasses.replace(
                    want, status=None)), [box(1, got)])), 1 + (what == "style"))

    def test_buttons_must_be_german(self):
        scenario = self.scenario(dataclasses.replace(self.QUESTION, status=None))
        english = box(1, self.QUESTION)
        english.fields["buttons"] = "&Yes|&No"
        self.assertEqual(len(self.failures(scenario, [english])), 1)

    def test_missing_and_extra_boxes_fail(self):
        one = self.scenario(bx.CANCELLED_BOX)
        self.assertTrue(self.failures(one, []))
        self.assertTrue(self.failures(one, [box(1, bx.CANCELLED_BOX)] * 2))
        bounded = self.scenario(bx.CANCELLED_BOX, max_boxes=3)
        self.assertFalse(self.failures(bounded, [box(1, bx.CANCELLED_BOX)] * 3))
        self.assertTrue(self.failures(bounded, [box(1, bx.CANCELLED_BOX)] * 4))

    def test_error_texts_are_matched_by_their_fixed_start(self):
        want = bx.extract_failed_box("*.DLL")
        self.assertTrue(checks.text_matches(want.text, want.text.start + "Zugriff verweigert"))
        self.assertFalse(checks.text_matches(want.text, want.text.start))
        self.assertFalse(checks.text_matches(want.text, "Fehler beim entpacken der Datei(en) "
                                              "*.OCX\r\nFehler = x"))

    def test_status_window_states(self):
        cases = [
            ({}, "none"),
            (dict(status="1", s_frame="0", s_label="1", s_labelCaption=bx.STARTING), "starting"),
            (dict(status="1", s_frame="1", s_label="0", s_frameCaption=bx.WORKING), "working"),
            (dict(status="1", s_frame="1", s_label="1", s_frameCaption=bx.WORKING), "other"),
            (dict(status="1", s_frame="0", s_label="1", s_labelCaption="Label1"), "other"),
        ]
        for fields, state in cases:
            with self.subTest(state=state, fields=fields):
                self.assertEqual(checks.status_state(box(1, bx.CANCELLED_BOX, **fields)), state)

    def test_a_box_that_did_not_close_fails(self):
        scenario = self.scenario(bx.CANCELLED_BOX)
        answer = record("answer", n="1", button="OK", closed="0", available="1")
        self.assertTrue(self.failures(scenario, [box(1, bx.CANCELLED_BOX), answer]))


class StatusWindowTest(unittest.TestCase):
    def failures(self, scenario: sc.Scenario, records: list) -> list:
        f = checks.Findings()
        checks.check_status_window(records, scenario, f)
        return f.failures

    def status(self, t: int, **fields: str) -> Record:
        base = dict(title=bx.VERSION_TITLE, visible="1", client="305x81", frame="0",
                    frameCaption="Update-Status", label="1", labelCaption=bx.STARTING, txt="0",
                    framePlace="7,10,291,59", picturePlace="13,33,278,15",
                    labelPlace="16,22,283,18", face="MS Sans Serif", labelText="267x13",
                    frameText="81x13")
        base.update(fields)
        return Record(t, "status", base)

    def run_records(self, *middle: Record, dpi: str = "96") -> list:
        end = Record(99, "end", dict(killed="0", unresponsive="0", responded="9"))
        return [Record(0, "start", dict(dpi=dpi)), *middle, end]

    def test_restart_note_after_the_report(self):
        scenario = sc.Scenario("t", "t", boxes=(bx.report_box(2),), after_report="restart")
        report = box(1, bx.report_box(2), t=10)
        note = self.status(20, labelCaption=bx.RESTARTING)
        self.assertEqual(self.failures(scenario, self.run_records(report, note)), [])
        early = self.status(5, labelCaption=bx.RESTARTING)
        self.assertTrue(self.failures(scenario, self.run_records(early, report)))

    def test_client_area_and_title(self):
        scenario = sc.Scenario("t", "t")
        self.assertTrue(self.failures(scenario, self.run_records(self.status(1, client="306x81"))))
        self.assertTrue(self.failures(scenario, self.run_records(self.status(1, title="x"))))
        hidden = self.status(1, title="ORVEN-Update", visible="0", client="106x2")
        self.assertEqual(self.failures(scenario, self.run_records(hidden)), [])

    def test_what_a_user_reads_fits_in_the_real_font(self):
        scenario = sc.Scenario("t", "t")
        cases = {
            "fallback font": dict(face="DejaVu Sans"),
            "label wraps": dict(labelText="290x13"),
            "label two lines high": dict(labelText="267x26"),
            "frame caption too wide": dict(frame="1", label="0", frameText="300x13"),
            "label moved": dict(labelPlace="16,22,280,18"),
            "picture in the wrong place": dict(picturePlace="13,34,278,15"),
        }
        for what, fields in cases.items():
            with self.subTest(what):
                self.assertEqual(len(self.failures(
                    scenario, self.run_records(self.status(1, **fields)))), 1)
        # A hidden control's caption may be as long as it likes.
        hidden = self.status(1, label="0", labelText="900x13")
        self.assertEqual(self.failures(scenario, self.run_records(hidden)), [])

    def test_sizes_follow_the_screens_resolution(self):
        at_144 = dict(client="458x122", framePlace="11,16,437,89", picturePlace="19,51,418,23",
                      labelPlace="24,34,425,26", labelText="379x20", frameText="313x20")
        scenario = sc.Scenario("t", "t", dpi=144)
        self.assertEqual(self.failures(scenario, self.run_records(self.status(1, **at_144),
                                                                  dpi="144")), [])
        self.assertTrue(self.failures(scenario, self.run_records(self.status(1), dpi="144")))
        self.assertTrue(self.failures(scenario, self.run_records(self.status(1, **at_144))),
                        "a screen of 96 DPI where the scenario wants 144")

    def test_progress_must_move(self):
        scenario = sc.Scenario("t", "t", min_progress_changes=3)
        moving = [self.status(i, frame="1", label="0", txt=str(v))
                  for i, v in enumerate((0, 10, 50, 100))]
        self.assertEqual(self.failures(scenario, self.run_records(*moving)), [])
        stuck = [self.status(i, frame="1", label="0", txt="0") for i in range(4)]
        self.assertTrue(self.failures(scenario, self.run_records(*stuck)))

    def test_a_killed_hanging_or_crashed_updater_fails(self):
        scenario = sc.Scenario("t", "t")
        for fields in (dict(killed="1", unresponsive="0"), dict(killed="0", unresponsive="2"),
                       dict(killed="0", unresponsive="0", exit=str(0xC0000005))):
            with self.subTest(**fields):
                records = [Record(9, "end", dict(fields, responded="9"))]
                self.assertTrue(self.failures(scenario, records))


class BarTest(unittest.TestCase):
    def test_bar_width_is_counted_in_columns(self):
        for width, bar in ((300, 0), (300, 3), (278, 139), (278, 278), (7, 5)):
            with self.subTest(width=width, bar=bar):
                self.assertEqual(checks.bar_columns(bmp(width, 4, bar)), bar)

    def test_other_colours_are_not_the_bar(self):
        self.assertEqual(checks.bar_columns(bmp(50, 3, 20, colour=(0, 0, 191))), 0)

    def test_other_formats_are_refused(self):
        with self.assertRaises(ValueError):
            checks.bar_columns(b"PNG....")


class LayoutTest(unittest.TestCase):
    def test_the_ini_is_written_in_the_windows_code_page(self):
        inst = installation.Installation(ini=(("Pfad1", "D:\\Müller & Söhne"),))
        self.assertEqual(installation.ini_text(inst),
                         b"[ORVEN]\r\nPfad1=D:\\M\xfcller & S\xf6hne\r\n")

    def test_linux_paths_are_found_without_regard_to_case(self):
        with tempfile.TemporaryDirectory() as root:
            drive = installation.NativeDrive(Path(root) / "LAUFWERK")
            (Path(root) / "ORVEN32" / "UPDATE").mkdir(parents=True)
            (drive.root / "SYSTEM").mkdir(parents=True)
            cases = [
                (root + "/orven32\\update\\orvupd.zip", Path(root) / "ORVEN32/UPDATE/orvupd.zip"),
                ("\\system\\orvgrid.ocx", drive.root / "SYSTEM/orvgrid.ocx"),
            ]
            for path, unix in cases:
                with self.subTest(path=path):
                    self.assertEqual(drive.unix(path), unix)


class PrefixPathTest(unittest.TestCase):
    def test_windows_paths_are_found_without_regard_to_case(self):
        with tempfile.TemporaryDirectory() as work:
            prefix = wine.Prefix(Path(work))
            (prefix.drive_d / "ORVEN32" / "UPDATE").mkdir(parents=True)
            (prefix.drive_d / "Müller").mkdir()
            cases = [
                ("D:\\orven32\\update\\orvupd.zip", prefix.drive_d / "ORVEN32/UPDATE/orvupd.zip"),
                ("D:\\ORVEN32\\orv", prefix.drive_d / "ORVEN32/orv"),
                ("D:\\MÜLLER\\x", prefix.drive_d / "Müller/x"),
                ("C:\\windows\\orven32.ini", prefix.path / "drive_c/windows/orven32.ini"),
                ("Z:\\tmp\\a.bmp", Path("/tmp/a.bmp")),
            ]
            for windows, unix in cases:
                with self.subTest(windows=windows):
                    self.assertEqual(prefix.unix(windows), unix)


class ScenarioTableTest(unittest.TestCase):
    def test_the_deepest_paths_are_as_deep_as_intended(self):
        self.assertEqual(len(sc.DEEP), 254)
        near = sc.BY_NAME["install_dir_near_260"].installation
        self.assertLess(len(near.updater_dir + "\\orvupd.exe"), 260)
        self.assertGreater(len(near.backup_path), 260)

    def test_every_answered_scenario_has_its_answers(self):
        for s in sc.SCENARIOS:
            with self.subTest(s.name):
                self.assertGreaterEqual(len(s.answers), min(len(s.boxes), 1))
                self.assertTrue(all(a in ("Yes", "No", "OK") for a in s.answers))
                self.assertTrue(s.archive is not None or s.archive_after == "absent")

    def test_texts_carry_windows_line_breaks_only(self):
        for s in sc.SCENARIOS:
            for b in s.boxes:
                text = b.text.start if isinstance(b.text, bx.Prefix) else b.text
                with self.subTest(s.name, title=b.title):
                    self.assertNotIn("\n", text.replace("\r\n", ""))


if __name__ == "__main__":
    unittest.main()
