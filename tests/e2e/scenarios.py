"""The end-to-end scenarios of orvupd.exe: one record each, with the exact texts the user must
see and the places the user must find the files in.

A record names the installation laid out on the sandbox drive D: and the update archive in it,
the command line and the answers the driver gives, the message boxes that must appear (text,
title, style, buttons, and the status window at that moment), the files that must be there
afterwards and those that must not, what becomes of the archive, and how often the application
is started again. The runner (runner.py) turns a record into a run and its checks.
"""

from __future__ import annotations

import dataclasses
from typing import Optional

from archives import Archive, Entry, LargeEntry, Program, PublicKey
from boxes import (CANCELLED_BOX, CRLF, CRITICAL, Box, Prefix, GENERAL_ERROR_BOX, HELD_BOX,
                   NO_VERSION_FILE_QUESTION, NOTHING_COPIED_BOX, SAME_DATE_QUESTION,
                   app_missing_box, archive_missing_box, by_hand_question, extract_failed_box,
                   incomplete_report_box, ini_missing_box, newer_question, older_question,
                   report_box, rights_box, unsigned_box, wrong_dir_name_box)
from installation import WINDOWS_DIR, Installation

INSTALLED = "01.02.2024 3.0"  # the command line with which the application starts the updater


@dataclasses.dataclass(frozen=True)
class Hold:
    """A file that the running application keeps open (from the start, or from box at_box on)."""

    path: str
    at_box: int = 0
    seconds: int = 300
    as_library: bool = False  # loaded as a running program loads a library (from the start)


@dataclasses.dataclass(frozen=True)
class Scenario:
    name: str
    about: str
    installation: Installation = Installation()
    archive: Optional[Archive] = None  # the update archive before the run; None: there is none
    args: Optional[str] = INSTALLED  # None: started by hand
    answers: tuple = ()  # "Yes", "No", "OK", one for each box in turn
    holds: tuple = ()
    boxes: tuple = ()
    # When set, boxes after the listed ones are allowed (each answered OK), up to this total.
    max_boxes: Optional[int] = None
    placed: tuple = ()  # (path, Entry, LargeEntry or bytes) that must be there afterwards
    absent: tuple = ()  # paths that must not exist afterwards
    # The archive afterwards: "restored" (byte-identical, backup gone), "untouched" (likewise;
    # the updater never copied it), "kept" (the delivered bytes survive as archive or backup),
    # "absent" (there was none, and none appeared).
    archive_after: str = "restored"
    restarts: Optional[int] = 0  # starts of the application with no arguments; None: any
    # After the report: "restart" (the status window is back with the restart note), "none"
    # (no status window any more), or None (not checked).
    after_report: Optional[str] = None
    working_seen: bool = False  # the progress frame was seen during the extraction
    min_progress_changes: int = 0
    progress_shots: tuple = ()  # screenshots of the bar as the progress passes these values
    bar_shots_at_box: int = 0  # at this box, the bar is set to 0, 1, 50, 100 % and shot
    dpi: int = 96  # the screen's resolution
    log_lines: tuple = ()  # lines (without their times) that the run's log must hold
    # (folder, names): the folder holds these files and no others afterwards.
    folder_holds: tuple = ()
    # A later run on what this one left: its archive is delivered anew, everything else stays.
    then: Optional["Scenario"] = None
    timeout: int = 60
    # Drive E: is a volume of this many megabytes (a tmpfs) for the run; 0: there is none.
    small_drive_mb: int = 0
    # A stand-in virus scanner watches drive D: throughout and opens each file that appears or
    # changes for this many milliseconds, sharing it for reading only; 0: none.
    scanner_ms: int = 0


# --- The standard installation and its update ----------------------------------------------


def _new(name: str) -> bytes:
    return ("ORVEN 3.1 vom 15.03.2024: " + name + CRLF).encode("cp1252") * 64


def old(path: str) -> bytes:
    return ("ORVEN 3.0, vor dem Update: " + path + CRLF).encode("cp1252")


def existing(*paths: str) -> tuple:
    return tuple((p, old(p)) for p in paths)


UPDATE_LABEL, UPDATE_DATE = " 3.1", "15.03.2024"
VERSION_FILE = Entry("orvupd.txt", ("15.03.2024 3.1" + CRLF + "Neu: Druckvorlagen" + CRLF).encode())
ORVTABS, MUNDAREL, ORVEN, ORVVW = (Entry(n, _new(n)) for n in ("ORVTABS.MDB", "MUNDAREL.MDB",
                                                               "ORVEN.MDB", "ORVVW.MDB"))
ORVGRID = Entry("SYSTEM/orvgrid.ocx", _new("orvgrid.ocx"))
ORVCALC = Entry("SYSTEM/orvcalc.dll", _new("orvcalc.dll"))
ORVMATH = Entry("SYSTEM/orvmath.dll", _new("orvmath.dll"))
LIESMICH = Entry("orv/liesmich.txt", _new("orv/liesmich.txt"))
HANDBUCH = Entry("orv/hilfe/handbuch.txt", _new("orv/hilfe/handbuch.txt"))
BRIEF = Entry("vorlagen/brief.dot", _new("vorlagen/brief.dot"))
STANDARD_ARCHIVE = (VERSION_FILE, ORVTABS, MUNDAREL, ORVEN, ORVVW, ORVGRID, ORVCALC, LIESMICH,
                    HANDBUCH, BRIEF)
RELEASE = Archive(STANDARD_ARCHIVE)
STANDARD = Installation()
NEWER = newer_question(UPDATE_LABEL, UPDATE_DATE)
BY_HAND = by_hand_question(UPDATE_LABEL, UPDATE_DATE)


def installed(install: str = "D:\\ORVEN32", keytabs: str = "D:\\ORVDATA\\Keytabs",
              daten: str = "D:\\ORVDATA\\Daten", verwaltung: str = "D:\\ORVDATA\\Verwaltung",
              controls: str = "D:\\SYSTEM", libraries: str = "D:\\SYSTEM") -> tuple:
    """The standard archive's files after a whole update, each in the folder the user finds it
    in: the version file in the application's folder, the databases in the folders named, the
    controls and libraries in those named (the archive drive's SYSTEM), the rest below the
    installation."""
    return ((install + "\\orv\\orvupd.txt", VERSION_FILE),
            (keytabs + "\\ORVTABS.MDB", ORVTABS),
            (keytabs + "\\MUNDAREL.MDB", MUNDAREL),
            (daten + "\\ORVEN.MDB", ORVEN),
            (verwaltung + "\\ORVVW.MDB", ORVVW),
            (controls + "\\orvgrid.ocx", ORVGRID),
            (libraries + "\\orvcalc.dll", ORVCALC),
            (install + "\\orv\\liesmich.txt", LIESMICH),
            (install + "\\orv\\hilfe\\handbuch.txt", HANDBUCH),
            (install + "\\vorlagen\\brief.dot", BRIEF))


# Nothing of the update but the version file, when it was not installed.
NOT_INSTALLED = tuple(path for path, _ in installed()[1:])
# A whole update started by the application and answered Yes.
WHOLE_RUN = dict(answers=("Yes", "OK"), restarts=1, after_report="restart", working_seen=True)

UMLAUTS = "D:\\Programme\\Müller & Söhne"
# A program cannot be started from a folder deeper than 260 characters (CreateProcess fails,
# under Wine also by the short path), and INI values end after 254 characters: the deepest
# folder the updater can meet is a database directory of 254 characters.
DEEP = ("D:\\tief\\" + "\\".join(f"Verzeichnisebene{i:02d}" for i in range(16)))[:248] + "\\Daten"
NEAR_260 = ("D:\\lang\\" + "\\".join(f"Verzeichnisebene{i:02d}" for i in range(12)))[:232] \
    + "\\ORVEN32"
LARGE = LargeEntry("daten/archiv.dat", 200)
# An office's file server, which Wine finds in the prefix's dosdevices/unc/fileserver/orven; the
# main database lies deep enough on it for the long form \\?\UNC\ of its paths.
SHARE = "\\\\fileserver\\orven"
DEEP_ON_SHARE = (SHARE + "\\tief\\" + "\\".join(f"Verzeichnisebene{i:02d}"
                                                 for i in range(16)))[:248] + "\\Daten"

# What the run's log says of a whole run: where each database went, and every box shown.
WHOLE_RUN_LOG = (
    "ORVEN-Update 3.0.0 in D:\\ORVEN32\\UPDATE, Befehlszeile \"" + INSTALLED + "\"",
    "INI-Datei: D:\\ORVEN32\\orv\\ORVEN32.INI",
    "Datenbankverzeichnisse: Pfad1 = D:\\ORVDATA\\Daten, Pfad2 = D:\\ORVDATA\\Verwaltung, "
    "Pfad3 = D:\\ORVDATA\\Keytabs",
    "  ORVTABS.MDB -> D:\\ORVDATA\\Keytabs\\ORVTABS.MDB",
    "  MUNDAREL.MDB -> D:\\ORVDATA\\Keytabs\\MUNDAREL.MDB",
    "  ORVEN.MDB -> D:\\ORVDATA\\Daten\\ORVEN.MDB",
    "  ORVVW.MDB -> D:\\ORVDATA\\Verwaltung\\ORVVW.MDB",
    "Meldung \"ORVEN-Update 3.0.0\" (Stil 52): Version  3.1 vom 15.03.2024 wird installiert. /  "
    "/ Wollen Sie das Update jetzt ausführen ?",
    "Antwort: Ja",
    "Meldung \"ORV-Update installieren\" (Stil 64): ORVEN-Update ordnungsgemäß installiert. /  / "
    "Es wurden 10 Dateien kopiert.",
    "Antwort: OK",
    "Signatur nicht geprüft: kein öffentlicher Schlüssel D:\\ORVEN32\\UPDATE\\orvupd.pub",
    "Archiv wiederhergestellt: D:\\ORVEN32\\update\\orvupd.zip",
    "Neustart von ORVEN angefordert: D:\\ORVEN32\\orv\\orven32.exe",
    "Ende",
)
# A new updater: a copy of the one under test, so that the next run can start it.
NEW_UPDATER = Entry("UPDATE/orvupd.exe", Program("orvupd", b"ORVEN-Update, neue Ausgabe"))
NEXT_LIESMICH = Entry("orv/liesmich.txt", _new("orv/liesmich.txt, Ausgabe 3.2"))
NEXT_RELEASE = Archive((Entry("orvupd.txt", ("20.05.2024 3.2" + CRLF).encode()), NEXT_LIESMICH))
# The updater's folder, which is the archive's too, after a run: no old updater left over.
UPDATE_FOLDER_AFTER = ("orvupd.exe", "orvupd.zip", "orvupd.log", "orvupd.1.log")
LOADED_LIBRARY = "D:\\SYSTEM\\orvcalc.dll"
HELD_DATABASE = "D:\\ORVDATA\\Daten\\ORVEN.MDB"
LIESMICH_PATH = "D:\\ORVEN32\\orv\\liesmich.txt"
LOCK_FILE = "D:\\ORVEN32\\update\\orvupd.lock"
MANAGED_DATABASE = "D:\\ORVDATA\\Verwaltung\\ORVVW.MDB"
# A drive E: of 12 MB holds the installation, its archive and the archive's backup, but not the
# 6 MB of a large file of the update besides (with the margin of a megabyte, 8 MB are needed).
SMALL_DRIVE = Installation(install_dir="E:\\ORVEN32",
                           ini=(("Pfad1", "E:\\ORVDATA\\Daten"),
                                ("Pfad2", "E:\\ORVDATA\\Verwaltung"),
                                ("Pfad3", "E:\\ORVDATA\\Keytabs")))
ON_SMALL_DRIVE = installed(install="E:\\ORVEN32", keytabs="E:\\ORVDATA\\Keytabs",
                           daten="E:\\ORVDATA\\Daten", verwaltung="E:\\ORVDATA\\Verwaltung",
                           controls="E:\\SYSTEM", libraries="E:\\SYSTEM")
NO_SPACE_ON_E = Box("Fehler beim Update", CRITICAL,
                    Prefix("Auf dem Laufwerk E: ist nicht genügend Speicherplatz frei." + CRLF
                           + "Benötigt: 8 MB, frei: "), "starting")
# The folder for ORVVW.MDB lies below a file, so it cannot be made.
BLOCKED_FOLDER = "D:\\ORVDATA\\Sperre\\Verwaltung"
BLOCKED = Installation(ini=(("Pfad1", "D:\\ORVDATA\\Daten"), ("Pfad2", BLOCKED_FOLDER),
                            ("Pfad3", "D:\\ORVDATA\\Keytabs")),
                       unmade_folders=(BLOCKED_FOLDER,),
                       existing=(("D:\\ORVDATA\\Sperre", b"kein Ordner"),))
BUT_ORVVW = tuple(p for p in installed() if p[1] is not ORVVW) + (("D:\\ORVDATA\\Sperre",
                                                                   b"kein Ordner"),)

# An installation that trusts the vendor's key, and how it refuses an archive without the
# vendor's signature: the note, nothing installed, the archive as delivered, one restart.
VENDOR_KEY = Installation(key="vendor")
SIGNATURE_REFUSED = dict(installation=VENDOR_KEY, answers=("OK",), restarts=1,
                         archive_after="untouched",
                         absent=NOT_INSTALLED + ("D:\\ORVEN32\\orv\\orvupd.txt",))
# A release signed by the old key that carries the new key, then the next one signed by it.
NEW_KEY_RELEASE = Archive((VERSION_FILE, Entry("UPDATE/orvupd.pub", PublicKey("new")), LIESMICH),
                          signed_by="old")


def signed(by: str = "vendor", after: Optional[str] = None) -> Archive:
    return dataclasses.replace(RELEASE, signed_by=by, after_signing=after)


SCENARIOS = [
    # Refusals and missing files.
    Scenario("refuse_app_missing", "started by the application, application missing",
             installation=Installation(with_app=False), archive=RELEASE, answers=("OK",),
             boxes=(app_missing_box("D:\\ORVEN32\\UPDATE"),), archive_after="untouched"),
    Scenario("refuse_dir_named_backup", "updater in a directory named BACKUP: refusal, restart",
             installation=Installation(updater_dir_name="BACKUP"), archive=RELEASE,
             answers=("OK",), boxes=(wrong_dir_name_box("D:\\ORVEN32\\BACKUP"),), restarts=1,
             archive_after="untouched"),
    Scenario("refuse_ini_nowhere", "INI neither in the application nor the Windows directory: "
             "the INI message and the end, no restart", installation=Installation(ini_at="none"),
             archive=RELEASE, answers=("OK",),
             boxes=(ini_missing_box(WINDOWS_DIR, "D:\\ORVEN32\\orv"),),
             archive_after="untouched"),
    Scenario("refuse_archive_missing", "archive missing, started by the application: restart",
             answers=("OK",), boxes=(archive_missing_box("D:\\ORVEN32"),), restarts=1,
             archive_after="absent"),
    Scenario("by_hand_archive_missing", "archive missing, started by hand: no restart",
             args=None, answers=("OK",), boxes=(archive_missing_box("D:\\ORVEN32"),),
             archive_after="absent"),
    Scenario("ini_held_by_application", "the application holds the INI: the open note, then "
             "the INI message", archive=RELEASE, holds=(Hold("D:\\ORVEN32\\orv\\orven32.ini"),),
             answers=("OK", "OK"), boxes=(dataclasses.replace(HELD_BOX, status="none"),
                                         ini_missing_box(WINDOWS_DIR, "D:\\ORVEN32\\orv")),
             archive_after="untouched"),
    Scenario("archive_held_by_application", "the application holds the archive: the open "
             "note, then the archive message, restart", archive=RELEASE,
             holds=(Hold("D:\\ORVEN32\\update\\orvupd.zip"),), answers=("OK", "OK"),
             boxes=(dataclasses.replace(HELD_BOX, status="none"),
                    archive_missing_box("D:\\ORVEN32")), restarts=1, archive_after="untouched"),

    # The version check and the answer No.
    Scenario("newer_version_no", "newer version, answer No: cancellation note, restart, "
             "archive restored", archive=RELEASE, answers=("No", "OK"),
             boxes=(NEWER, dataclasses.replace(CANCELLED_BOX, status="starting")), restarts=1,
             placed=(("D:\\ORVEN32\\orv\\orvupd.txt", VERSION_FILE),), absent=NOT_INSTALLED),
    Scenario("same_version_no", "same version date, answer No", archive=RELEASE,
             args="15.03.2024 3.1", answers=("No", "OK"),
             boxes=(SAME_DATE_QUESTION, CANCELLED_BOX), restarts=1, absent=NOT_INSTALLED),
    Scenario("older_version_no", "older update than installed: both versions shown, answer No",
             archive=RELEASE, args="20.05.2024 3.2", answers=("No", "OK"),
             boxes=(older_question(" 3.2", "20.05.2024", UPDATE_LABEL, UPDATE_DATE),
                    CANCELLED_BOX), restarts=1, absent=NOT_INSTALLED),
    Scenario("by_hand_stale_backup_no", "started by hand with a stale backup, answer No: no "
             "cancellation note, no restart, backup gone, archive byte-identical",
             archive=Archive(STANDARD_ARCHIVE, stale_backup=b"PK alte Sicherung"), args=None,
             answers=("No",), boxes=(BY_HAND,), absent=NOT_INSTALLED),
    Scenario("interrupted_run_left_backup", "an earlier run stopped midway: its backup goes "
             "back over the reduced archive, and the whole update is installed",
             archive=Archive(STANDARD_ARCHIVE, reduced_to=(ORVGRID, ORVCALC, LIESMICH,
                                                           HANDBUCH, BRIEF)),
             boxes=(NEWER, report_box(10)), placed=installed(), **WHOLE_RUN),
    Scenario("version_file_missing_yes", "archive without version file (an old one lies in the "
             "application directory and is not read), answer Yes",
             installation=Installation(existing=(("D:\\ORVEN32\\orv\\orvupd.txt",
                                                  b"01.01.2020 2.0" + CRLF.encode()),)),
             archive=Archive(STANDARD_ARCHIVE[1:]), boxes=(NO_VERSION_FILE_QUESTION,
                                                         report_box(9)),
             placed=installed()[1:], **WHOLE_RUN),

    # Whole runs.
    Scenario("newer_version_yes", "whole run started by the application: files in their "
             "folders, report, restart note, one restart, archive restored", archive=RELEASE,
             boxes=(NEWER, report_box(10)), placed=installed(),
             absent=("D:\\ORVEN32\\ORVEN.MDB", "D:\\ORVEN32\\SYSTEM\\orvgrid.ocx"),
             log_lines=WHOLE_RUN_LOG, **WHOLE_RUN),
    Scenario("by_hand_yes", "whole run started by hand: the version file is not counted, no "
             "status window after the report, no restart", archive=RELEASE, args=None,
             answers=("Yes", "OK"), boxes=(BY_HAND, report_box(9)), after_report="none",
             working_seen=True, placed=installed()),
    Scenario("by_hand_nothing_to_copy", "started by hand, the archive holds the version file "
             "alone", archive=Archive((VERSION_FILE,)), args=None, answers=("Yes", "OK"),
             boxes=(BY_HAND, NOTHING_COPIED_BOX)),
    Scenario("database_folder_cannot_be_made", "the folder the INI names for ORVVW.MDB cannot "
             "be made: that row fails with its box, the report says the update is incomplete, "
             "and the database never lands in the installation directory; bar screenshots",
             installation=BLOCKED, archive=RELEASE, answers=("Yes", "OK", "OK"),
             boxes=(NEWER, extract_failed_box("ORVVW.MDB"), incomplete_report_box(9)),
             restarts=1, after_report="restart", working_seen=True, placed=BUT_ORVVW,
             absent=("D:\\ORVEN32\\ORVVW.MDB",), bar_shots_at_box=2,
             log_lines=("Fehler 75 (Fehler beim Zugriff auf Pfad/Datei), Systemcode 183 beim "
                        "Entpacken von ORVVW.MDB; Verzeichnis anlegen: D:\\ORVDATA\\Sperre",
                        "Meldung \"ORVEN-Update installieren\" (Stil 16): ORVEN-Update nicht "
                        "vollständig installiert. /  / Es wurden 9 Dateien kopiert.")),
    Scenario("updater_in_archive", "the archive carries a new updater: it takes the running "
             "one's place, the rest is installed, and the next run leaves no trace of the old one",
             archive=Archive((VERSION_FILE, NEW_UPDATER, LIESMICH)), boxes=(NEWER, report_box(3)),
             placed=(("D:\\ORVEN32\\UPDATE\\orvupd.exe", NEW_UPDATER),
                     ("D:\\ORVEN32\\orv\\liesmich.txt", LIESMICH)), **WHOLE_RUN,
             then=Scenario("updater_in_archive_next_run", "the next release, by the new updater",
                           archive=NEXT_RELEASE, args="15.03.2024 3.1",
                           boxes=(newer_question(" 3.2", "20.05.2024"), report_box(2)),
                           placed=(("D:\\ORVEN32\\UPDATE\\orvupd.exe", NEW_UPDATER),
                                   ("D:\\ORVEN32\\orv\\liesmich.txt", NEXT_LIESMICH)),
                           folder_holds=(("D:\\ORVEN32\\UPDATE", UPDATE_FOLDER_AFTER),),
                           **WHOLE_RUN)),
    Scenario("library_loaded_by_running_program", "a running program has loaded a library of the "
             "update: it is moved aside and the new one takes its place, the rest installed",
             installation=Installation(existing=((LOADED_LIBRARY, Program("standin")),)),
             archive=RELEASE, holds=(Hold(LOADED_LIBRARY, as_library=True),),
             boxes=(NEWER, report_box(10)), placed=installed(), **WHOLE_RUN),
    Scenario("progress_large_archive", "200 MB extraction: the progress text moves, the window "
             "answers throughout", archive=Archive(STANDARD_ARCHIVE + (LARGE,)),
             boxes=(NEWER, report_box(11)),
             placed=installed() + (("D:\\ORVEN32\\daten\\archiv.dat", LARGE),),
             min_progress_changes=3, progress_shots=(1, 50, 100), timeout=400, **WHOLE_RUN),

    # Unusual installations.
    Scenario("install_dir_with_umlauts", "installation in D:\\Programme\\Müller & Söhne\\ORVEN32, "
             "Pfad1 with umlauts, Pfad2 empty, Pfad3 missing",
             installation=Installation(install_dir=UMLAUTS + "\\ORVEN32",
                                       ini=(("Pfad1", UMLAUTS + "\\Daten"), ("Pfad2", "")),
                                       more_folders=(UMLAUTS + "\\ORVEN32\\KEYTABS",)),
             archive=RELEASE, boxes=(NEWER, report_box(10)),
             placed=installed(install=UMLAUTS + "\\ORVEN32",
                              keytabs=UMLAUTS + "\\ORVEN32\\KEYTABS", daten=UMLAUTS + "\\Daten",
                              verwaltung=UMLAUTS + "\\ORVEN32\\orv"), **WHOLE_RUN),
    Scenario("database_path_longer_than_260", "the INI names a database directory of 254 "
             "characters, so the database's path is longer than 260",
             installation=Installation(ini=(("Pfad1", DEEP),
                                            ("Pfad2", "D:\\ORVDATA\\Verwaltung"),
                                            ("Pfad3", "D:\\ORVDATA\\Keytabs"))),
             archive=RELEASE, boxes=(NEWER, report_box(10)), placed=installed(daten=DEEP),
             **WHOLE_RUN),
    Scenario("install_dir_near_260", "the updater's own path just fits in 260 characters, its "
             "backup and the files it writes do not",
             installation=Installation(install_dir=NEAR_260), archive=RELEASE,
             boxes=(NEWER, report_box(10)), placed=installed(install=NEAR_260), **WHOLE_RUN),
    Scenario("ini_in_windows_dir_only", "the INI in the Windows directory only: its directories "
             "take the databases",
             installation=Installation(ini_at="windows",
                                       ini=(("Pfad1", "D:\\WINDATEN\\Daten"),
                                            ("Pfad2", "D:\\WINDATEN\\Verwaltung"),
                                            ("Pfad3", "D:\\WINDATEN\\Keytabs"))),
             archive=RELEASE, boxes=(NEWER, report_box(10)),
             placed=installed(keytabs="D:\\WINDATEN\\Keytabs", daten="D:\\WINDATEN\\Daten",
                              verwaltung="D:\\WINDATEN\\Verwaltung"), **WHOLE_RUN),
    Scenario("installation_on_a_share", "installation and databases on a network share, "
             "started as \\\\fileserver\\orven\\ORVEN32\\UPDATE\\orvupd.exe, one database "
             "folder deeper than 248 characters: the whole update and the restart",
             installation=Installation(install_dir=SHARE + "\\ORVEN32",
                                       ini=(("Pfad1", DEEP_ON_SHARE),
                                            ("Pfad2", SHARE + "\\ORVDATA\\Verwaltung"),
                                            ("Pfad3", SHARE + "\\ORVDATA\\Keytabs"))),
             archive=RELEASE, boxes=(NEWER, report_box(10)),
             placed=installed(install=SHARE + "\\ORVEN32", keytabs=SHARE + "\\ORVDATA\\Keytabs",
                              daten=DEEP_ON_SHARE, verwaltung=SHARE + "\\ORVDATA\\Verwaltung",
                              controls=SHARE + "\\SYSTEM", libraries=SHARE + "\\SYSTEM"),
             log_lines=("ORVEN-Update 3.0.0 in " + SHARE + "\\ORVEN32\\UPDATE, Befehlszeile \""
                        + INSTALLED + "\"", "Neustart von ORVEN angefordert: " + SHARE
                        + "\\ORVEN32\\orv\\orven32.exe"), **WHOLE_RUN),
    Scenario("database_held_whole_run", "a colleague holds ORVEN.MDB for the whole run: the "
             "updater waits, then shows the open note and installs nothing; every file as "
             "before, the archive restored, one restart",
             installation=Installation(existing=existing(HELD_DATABASE)), archive=RELEASE,
             holds=(Hold(HELD_DATABASE),), answers=("Yes", "OK"),
             boxes=(NEWER, dataclasses.replace(HELD_BOX, status="starting")), restarts=1,
             placed=(("D:\\ORVEN32\\orv\\orvupd.txt", VERSION_FILE),) + existing(HELD_DATABASE),
             absent=tuple(p for p in NOT_INSTALLED if p != HELD_DATABASE)
             + ("D:\\ORVEN32\\ORVEN.MDB",),
             log_lines=("Warte auf eine von einem anderen Programm geöffnete Datei: "
                        + HELD_DATABASE,
                        "Nach 10 s noch geöffnet, nichts wird installiert: " + HELD_DATABASE)),
    Scenario("database_held_first_seconds", "the closing application still holds ORVEN.MDB "
             "for its first 4 seconds: the updater waits for it and installs the whole update",
             installation=Installation(existing=existing(HELD_DATABASE)), archive=RELEASE,
             holds=(Hold(HELD_DATABASE, seconds=4),), boxes=(NEWER, report_box(10)),
             placed=installed(), absent=("D:\\ORVEN32\\ORVEN.MDB",), **WHOLE_RUN),
    Scenario("archive_held_at_exit", "the application takes the archive while the question is "
             "up, answer No: the restore fails, is reported a bounded number of times, the "
             "application is started again as the note promised, and the delivered archive "
             "survives", archive=RELEASE, holds=(Hold("D:\\ORVEN32\\update\\orvupd.zip",
                                                      at_box=1),),
             answers=("No", "OK", "OK", "OK"),
             boxes=(NEWER, CANCELLED_BOX, HELD_BOX, GENERAL_ERROR_BOX), max_boxes=20,
             restarts=1, archive_after="kept"),
    Scenario("read_only_targets", "a database and a file of the last row marked read-only, "
             "and a read-only old copy that an earlier updater left beside the database: both "
             "replaced, nothing left beside them",
             installation=Installation(
                 existing=existing(HELD_DATABASE, LIESMICH_PATH)
                 + ((HELD_DATABASE + ".orvupd-old-1.tmp", b"uralt"),),
                 read_only=(HELD_DATABASE, LIESMICH_PATH, HELD_DATABASE + ".orvupd-old-1.tmp")),
             archive=RELEASE, boxes=(NEWER, report_box(10)), placed=installed(),
             folder_holds=(("D:\\ORVDATA\\Daten", ("ORVEN.MDB",)),
                           ("D:\\ORVEN32\\orv", ("liesmich.txt", "orven32.exe", "orven32.ini",
                                                 "orvupd.txt", "started.log"))), **WHOLE_RUN),
    Scenario("database_folder_write_protected", "the folder of ORVVW.MDB is one that nobody "
             "may write: the note on the missing rights at once, no wait, nothing installed, "
             "the archive restored, one restart",
             installation=Installation(existing=existing(MANAGED_DATABASE),
                                       write_protected=("D:\\ORVDATA\\Verwaltung",)),
             archive=RELEASE, answers=("Yes", "OK"),
             boxes=(NEWER, rights_box(MANAGED_DATABASE)), restarts=1,
             placed=(("D:\\ORVEN32\\orv\\orvupd.txt", VERSION_FILE),)
             + existing(MANAGED_DATABASE),
             absent=tuple(p for p in NOT_INSTALLED if p != MANAGED_DATABASE),
             log_lines=("Keine Rechte zum Ersetzen, nichts wird installiert: "
                        + MANAGED_DATABASE,)),
    Scenario("small_drive_too_full", "the installation on a drive E: of 12 MB, the update "
             "needs more than is free: the note on the space, nothing installed, the archive as "
             "delivered, nothing left behind", installation=SMALL_DRIVE,
             archive=Archive(STANDARD_ARCHIVE + (LargeEntry("daten/archiv.dat", 6),)),
             answers=("Yes", "OK"), boxes=(NEWER, NO_SPACE_ON_E), restarts=1,
             placed=ON_SMALL_DRIVE[:1], absent=tuple(p for p, _ in ON_SMALL_DRIVE[1:])
             + ("E:\\ORVEN32\\daten\\archiv.dat",),
             folder_holds=(("E:\\ORVEN32\\update", ("orvupd.exe", "orvupd.zip", "orvupd.log")),),
             small_drive_mb=12),
    Scenario("second_updater_while_lock_held", "another PC's updater holds the installation's "
             "lock file on the share: this updater ends at once, shows nothing, changes nothing",
             installation=Installation(existing=((LOCK_FILE, b""),)), archive=RELEASE,
             holds=(Hold(LOCK_FILE),), archive_after="untouched",
             absent=NOT_INSTALLED + ("D:\\ORVEN32\\orv\\orvupd.txt",
                                     "D:\\ORVEN32\\update\\orvupd.log")),
    Scenario("virus_scanner_whole_run", "a virus scanner opens every file that appears or "
             "changes on the drive for 300 ms, the archive and its backup too: the updater "
             "waits each out, everything is installed, no error box", archive=RELEASE,
             boxes=(NEWER, report_box(10)), placed=installed(), scanner_ms=300,
             folder_holds=(("D:\\ORVEN32\\update", ("orvupd.exe", "orvupd.zip", "orvupd.log")),
                           ("D:\\ORVDATA\\Daten", ("ORVEN.MDB",))),
             timeout=120, **WHOLE_RUN),
    Scenario("read_only_archive", "a read-only archive: a whole run, the archive restored "
             "byte-identical", archive=Archive(STANDARD_ARCHIVE, read_only=True),
             boxes=(NEWER, report_box(10)), placed=installed(), **WHOLE_RUN),

    # Signed updates: an installation that trusts the vendor's key (UPDATE\\orvupd.pub).
    Scenario("signed_release_with_key", "a release signed by the vendor's key: installed as "
             "without a key", installation=VENDOR_KEY, archive=signed(),
             boxes=(NEWER, report_box(10)), placed=installed(), **WHOLE_RUN),
    Scenario("unsigned_release_with_key", "no signature beside the archive: the note, nothing "
             "installed", archive=RELEASE, boxes=(unsigned_box(False),), **SIGNATURE_REFUSED),
    Scenario("release_changed_after_signing", "one byte of the archive changed after signing",
             archive=signed(after="one_byte"), boxes=(unsigned_box(True),), **SIGNATURE_REFUSED),
    Scenario("release_signed_by_other_key", "signed, but by another key",
             archive=signed(by="other"), boxes=(unsigned_box(True),), **SIGNATURE_REFUSED),
    Scenario("signature_file_empty", "an empty signature file", archive=signed(after="empty"),
             boxes=(unsigned_box(True),), **SIGNATURE_REFUSED),
    Scenario("signature_file_cut", "a signature file cut short", archive=signed(after="cut"),
             boxes=(unsigned_box(True),), **SIGNATURE_REFUSED),
    Scenario("new_key_in_release", "a release signed by the old key carries a new key: both it "
             "and the next release, signed by the new key, are installed",
             installation=Installation(key="old"), archive=NEW_KEY_RELEASE,
             boxes=(NEWER, report_box(3)), placed=(("D:\\ORVEN32\\orv\\liesmich.txt", LIESMICH),),
             **WHOLE_RUN,
             then=Scenario("new_key_in_release_next_run", "the next release, signed by the new key",
                           installation=Installation(key="old"),
                           archive=dataclasses.replace(NEXT_RELEASE, signed_by="new"),
                           args="15.03.2024 3.1",
                           boxes=(newer_question(" 3.2", "20.05.2024"), report_box(2)),
                           placed=(("D:\\ORVEN32\\orv\\liesmich.txt", NEXT_LIESMICH),),
                           **WHOLE_RUN)),

    # What a user with a 144 DPI screen sees.
    Scenario("database_folder_cannot_be_made_at_144_dpi", "the failed row as above on a screen "
             "of 144 DPI: window, controls, captions and bar scaled from twips",
             installation=BLOCKED, archive=RELEASE, answers=("Yes", "OK", "OK"),
             boxes=(NEWER, extract_failed_box("ORVVW.MDB"), incomplete_report_box(9)),
             restarts=1, after_report="restart", working_seen=True, placed=BUT_ORVVW,
             absent=("D:\\ORVEN32\\ORVVW.MDB",), bar_shots_at_box=2, dpi=144),
]

BY_NAME = {s.name: s for s in SCENARIOS}
assert len(BY_NAME) == len(SCENARIOS), "scenario names must be unique"
