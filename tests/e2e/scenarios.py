"""The end-to-end scenarios of orvupd.exe: one table, with the exact texts the user must see.

Every scenario lays out an installation on the sandbox drive D:, starts the updater through the
driver with a command line and a list of answers, and says which message boxes must appear (text,
title, style, and the status window at that moment), where the files must be afterwards, how
often the application is started again, and what becomes of the update archive.
"""

from __future__ import annotations

import dataclasses
import fnmatch
from typing import Optional

CRLF = "\r\n"

# --- The updater's texts -------------------------------------------------------------------

VERSION_TITLE = "ORVEN-Update 3.0.0"
STARTING = "Updateprogramm wird gestartet, bitte warten ..."
WORKING = "Update wird ausgeführt, bitte warten ..."
RESTARTING = "ORVEN wird gestartet, bitte warten ..."

CRITICAL, QUESTION, INFORMATION, PLAIN = 16, 52, 64, 0


@dataclasses.dataclass(frozen=True)
class Prefix:
    """A text of which only the beginning is fixed (the rest is the platform's error text)."""

    start: str


@dataclasses.dataclass(frozen=True)
class Box:
    title: str
    style: int
    text: str | Prefix
    # The status window while the box is up: "none" (not there), "starting" (label with the
    # start note, frame hidden), "working" (progress frame, label hidden), or None (not checked).
    status: Optional[str] = None


def _outside_install_dir(updater_dir: str) -> str:
    return ("Das Update-Programm wird aus dem Verzeichnis " + updater_dir + " aufgerufen." + CRLF
            + CRLF + "Sie haben das Updateprogramm außerhalb des Installationsverzeichnisses von "
            "ORVEN gestartet." + CRLF)


_MUST_BE_IN_UPDATE = ("Stellen Sie sicher, dass sich das Programm im " + CRLF
                      + "Unterverzeichnis UPDATE innerhalb des Installationsverzeichnisses" + CRLF
                      + "von ORVEN befindet, z. B. c:\\orven32\\update" + CRLF + CRLF)


def app_missing_box(updater_dir: str) -> Box:
    return Box("ORVEN-Update", CRITICAL, _outside_install_dir(updater_dir) + _MUST_BE_IN_UPDATE,
               "none")


def wrong_dir_name_box(updater_dir: str) -> Box:
    return Box("ORVEN-Update", CRITICAL,
               "Das Update-Programm wird aus dem Verzeichnis " + updater_dir + " aufgerufen."
               + CRLF + CRLF + _MUST_BE_IN_UPDATE, "none")


def ini_missing_box(windows_dir: str, app_dir: str) -> Box:
    return Box("Datei nicht vorhanden", CRITICAL,
               "ORVEN32.INI ist weder im Windows-Verzeichnis" + CRLF + windows_dir
               + " noch im Applikationsverzeichnis" + CRLF + app_dir.upper() + " vorhanden," + CRLF
               + "bitte überprüfen Sie Ihre ORVEN-Installation.", "none")


def archive_missing_box(install_dir: str) -> Box:
    return Box("Datei nicht vorhanden", CRITICAL,
               "Die Update-Datei orvupd.zip ist nicht im Verzeichnis " + install_dir
               + "\\update vorhanden." + CRLF, "none")


HELD_BOX = Box("ORVEN geöffnet", CRITICAL,
               "Sie haben die Anwendung 'Korvelin - ORVEN' geöffnet." + CRLF
               + "Bitte beenden Sie das Programm und starten" + CRLF
               + "'Testversion aktualisieren' noch einmal.")


def newer_question(label: str, date: str) -> Box:
    return Box(VERSION_TITLE, QUESTION,
               "Version " + label + " vom " + date + " wird installiert." + CRLF + CRLF
               + "Wollen Sie das Update jetzt ausführen ?", "starting")


SAME_DATE_QUESTION = Box(VERSION_TITLE, QUESTION,
                         "Das Versionsdatum ist identisch mit der installierten Version." + CRLF
                         + CRLF + "Wollen Sie das Update trotzdem ausführen ?", "starting")


def older_question(installed_label: str, installed_date: str, label: str, date: str) -> Box:
    return Box(VERSION_TITLE, QUESTION,
               "Das Versionsdatum der zu installierenden Version ist" + CRLF
               + "älter als das Datum der installierten Version." + CRLF + CRLF
               + "Installierte Version: " + installed_label + " vom " + installed_date + CRLF + CRLF
               + "Update-Version:       " + label + " vom " + date + CRLF + CRLF
               + "Wollen Sie das Update trotzdem ausführen ?", "starting")


NO_VERSION_FILE_QUESTION = Box(VERSION_TITLE, QUESTION,
                               "Die Datei orvupd.txt ist nicht im Archiv vorhanden oder konnte "
                               "nicht gelesen werden" + CRLF + CRLF
                               + "Wollen Sie das Update trotzdem ausführen ?", "starting")


def by_hand_question(label: str, date: str) -> Box:
    return Box(VERSION_TITLE, QUESTION,
               "Version " + label + " vom " + date + " wird installiert." + CRLF + CRLF
               + "Die aktuelle ORVEN-Version kann nicht ermittelt werden." + CRLF
               + "Sie können die Versionen nur vergleichen, wenn Sie das Update aus ORVEN starten."
               + CRLF + CRLF + "Wollen Sie das Update trotzdem ausführen ?", "starting")


CANCELLED_BOX = Box("ORV-Update abbrechen", INFORMATION,
                    "ORV-Update wurde abgebrochen!" + CRLF + CRLF + "ORVEN wird wieder gestartet!")


def report_box(count: int) -> Box:
    line = ("Es wurde 1 Datei kopiert." if count == 1
            else "Es wurden " + str(count) + " Dateien kopiert.")
    return Box("ORV-Update installieren", INFORMATION,
               "ORVEN-Update ordnungsgemäß installiert." + CRLF + CRLF + line, "none")


NOTHING_COPIED_BOX = Box("ORVEN-Update installieren", CRITICAL,
                         "Keine Dateien zum Kopieren vorhanden.", "none")


def extract_failed_box(mask: str) -> Box:
    return Box("Fehler", CRITICAL,
               Prefix("Fehler beim entpacken der Datei(en) " + mask + CRLF + "Fehler = "),
               "working")


def delete_failed_box(mask: str) -> Box:
    return Box("Fehler", CRITICAL,
               Prefix("Fehler beim Löschen der Datei(en) " + mask + CRLF + "Fehler = "))


GENERAL_ERROR_BOX = Box("Fehler", CRITICAL,
                        Prefix("Fehler beim Installieren des ORVEN-Updates" + CRLF + CRLF
                               + "Fehlercode = "))

# --- Installations and archives ------------------------------------------------------------

WINDOWS_DIR = "C:\\windows"
INSTALLED = "01.02.2024 3.0"  # the command line with which the application starts the updater
UPDATE_LABEL, UPDATE_DATE = " 3.1", "15.03.2024"


@dataclasses.dataclass(frozen=True)
class Entry:
    name: str  # stored path, "/" as separator
    data: bytes


@dataclasses.dataclass(frozen=True)
class LargeEntry:
    """An entry of pseudo-random and compressible data, made by the runner."""

    name: str
    megabytes: int
    seed: int = 1


def _new(name: str) -> bytes:
    return ("ORVEN 3.1 vom 15.03.2024: " + name + CRLF).encode("cp1252") * 64


def old(name: str) -> bytes:
    return ("ORVEN 3.0, vor dem Update: " + name + CRLF).encode("cp1252")


VERSION_FILE = Entry("orvupd.txt", ("15.03.2024 3.1" + CRLF + "Neu: Druckvorlagen" + CRLF).encode())
DATABASES = tuple(Entry(n, _new(n)) for n in ("ORVTABS.MDB", "MUNDAREL.MDB", "ORVEN.MDB",
                                              "ORVVW.MDB"))
CONTROLS = (Entry("SYSTEM/orvgrid.ocx", _new("orvgrid.ocx")),
            Entry("SYSTEM/orvcalc.dll", _new("orvcalc.dll")))
APP_FILES = tuple(Entry(n, _new(n)) for n in ("orv/liesmich.txt", "orv/hilfe/handbuch.txt",
                                              "vorlagen/brief.dot"))
STANDARD_ARCHIVE = (VERSION_FILE,) + DATABASES + CONTROLS + APP_FILES


@dataclasses.dataclass(frozen=True)
class Installation:
    install_dir: str = "D:\\ORVEN32"
    updater_dir_name: str = "UPDATE"
    with_app: bool = True
    ini_at: str = "app"  # app, windows, none
    ini: tuple = (("Pfad1", "D:\\ORVDATA\\Daten"), ("Pfad2", "D:\\ORVDATA\\Verwaltung"),
                  ("Pfad3", "D:\\ORVDATA\\Keytabs"))
    archive: Optional[tuple] = STANDARD_ARCHIVE
    read_only_archive: bool = False
    stale_backup: Optional[bytes] = None
    # A run stopped before its exit left the delivered archive as backup and the archive
    # without the entries it had extracted (the version file and the databases).
    interrupted: bool = False
    existing: tuple = ()  # (windows path, bytes) present before the run

    @property
    def updater_dir(self) -> str:
        return self.install_dir + "\\" + self.updater_dir_name

    @property
    def app_dir(self) -> str:
        return self.install_dir + "\\orv"

    @property
    def archive_path(self) -> str:
        return self.install_dir + "\\update\\orvupd.zip"

    @property
    def backup_path(self) -> str:
        return self.archive_path + "$$$"

    @property
    def ini_path(self) -> str:
        return (WINDOWS_DIR if self.ini_at == "windows" else self.app_dir) + "\\orven32.ini"

    def db_dir(self, key: str) -> str:
        value = dict(self.ini).get(key) or ""
        if value:
            return value
        return self.install_dir + "\\KEYTABS" if key == "Pfad3" else self.app_dir

    def folders(self) -> list[str]:
        """Folders that a real installation has: the database directories among them."""
        return [self.app_dir] + [self.db_dir(k) for k in ("Pfad1", "Pfad2", "Pfad3")]


# The extraction plan as the user sees its result: mask, INI key of the target (None for the
# drive root of the archive's drive).
_PLAN = (("ORVTABS.MDB", "Pfad3"), ("MUNDAREL.MDB", "Pfad3"), ("ORVEN.MDB", "Pfad1"),
         ("ORVVW.MDB", "Pfad2"), ("*.OCX", None), ("*.DLL", None))


def _matches(mask: str, name: str) -> bool:
    return fnmatch.fnmatchcase(name.upper(), mask.upper())


def placement(inst: Installation, failed_masks: tuple = ()) -> tuple[dict, int]:
    """Where a confirmed installation puts each entry (windows path -> bytes), and how many
    files the plan copies besides the version file. A row whose extraction fails leaves its
    entries in the archive, so the last row puts them under the installation directory."""
    entries = [e for e in inst.archive or () if isinstance(e, Entry)]
    placed = {}
    remaining = []
    for e in entries:
        if _matches("*orvupd.txt", e.name):
            placed[inst.app_dir + "\\orvupd.txt"] = e.data
        else:
            remaining.append(e)
    count = 0
    for mask, key in _PLAN:
        hits = [e for e in remaining if _matches(mask, e.name)]
        if not hits or mask in failed_masks:
            continue
        folder = inst.db_dir(key) if key else inst.install_dir[:2]
        for e in hits:
            placed[folder + "\\" + e.name.replace("/", "\\")] = e.data
        count += len(hits)
        remaining = [e for e in remaining if e not in hits]
    for e in remaining:
        placed[inst.install_dir + "\\" + e.name.replace("/", "\\")] = e.data
    count += len(remaining) + sum(1 for e in inst.archive or () if isinstance(e, LargeEntry))
    return placed, count


def not_installed(inst: Installation) -> tuple:
    """Files that must not exist when nothing was installed (the version file aside)."""
    placed, _ = placement(inst)
    return tuple(p for p in placed if not p.lower().endswith("\\orvupd.txt"))


# --- Scenarios -----------------------------------------------------------------------------


@dataclasses.dataclass(frozen=True)
class Hold:
    """A file that the running application keeps open (from the start, or from box at_box on)."""

    path: str
    at_box: int = 0
    seconds: int = 300


@dataclasses.dataclass(frozen=True)
class Scenario:
    name: str
    about: str
    install: Installation = Installation()
    args: Optional[str] = INSTALLED  # None: started by hand
    answers: tuple = ()
    holds: tuple = ()
    boxes: tuple = ()
    # When set, boxes after the listed ones are allowed (each answered OK), up to this total.
    max_boxes: Optional[int] = None
    restarts: Optional[int] = 0  # starts of the application with no arguments; None: any
    # After the report: "restart" (the status window is back with the restart note), "none"
    # (no status window any more), or None (not checked).
    after_report: Optional[str] = None
    # Whether the progress frame must have been seen during the extraction.
    working_seen: bool = False
    placed: tuple = ()  # (windows path, bytes) that must exist afterwards
    absent: tuple = ()  # windows paths that must not exist afterwards
    # The archive afterwards: "restored" (byte-identical, backup gone), "untouched" (likewise;
    # the updater never copied it), "kept" (the delivered bytes survive as archive or backup).
    archive: str = "restored"
    min_progress_changes: int = 0
    progress_shots: tuple = ()
    bar_shots_at_box: int = 0
    timeout: int = 60


STANDARD = Installation()


def _whole_run(inst: Installation, args: Optional[str] = INSTALLED, failed: tuple = ()):
    placed, count = placement(inst, failed)
    return tuple(placed.items()), count + (1 if args else 0)


def _installed(name: str, about: str, install: Installation, plan: Optional[Installation] = None,
               **more) -> Scenario:
    """A whole update started by the application and answered Yes: the files the plan places
    (for plan, or else the installation itself), the report of their number, the restart."""
    placed, count = _whole_run(plan or install)
    return Scenario(name, about, install=install, answers=("Yes", "OK"),
                    boxes=(newer_question(UPDATE_LABEL, UPDATE_DATE), report_box(count)),
                    restarts=1, after_report="restart", working_seen=True, placed=placed, **more)


def _existing(*paths: str) -> tuple:
    return tuple((p, old(p)) for p in paths)


def _build() -> list[Scenario]:
    s = []
    inst = STANDARD

    # Refusals and missing files.
    s.append(Scenario(
        "refuse_app_missing", "started by the application, application missing: message A",
        install=dataclasses.replace(inst, with_app=False), answers=("OK",),
        boxes=(app_missing_box(inst.updater_dir),), archive="untouched"))
    backup = dataclasses.replace(inst, updater_dir_name="BACKUP")
    s.append(Scenario(
        "refuse_dir_named_backup", "updater in a directory named BACKUP: message B, restart",
        install=backup, answers=("OK",), boxes=(wrong_dir_name_box(backup.updater_dir),),
        restarts=1, archive="untouched"))
    s.append(Scenario(
        "refuse_ini_nowhere", "INI neither in the application nor the Windows directory: "
        "message C and the end, no restart", install=dataclasses.replace(inst, ini_at="none"),
        answers=("OK",), boxes=(ini_missing_box(WINDOWS_DIR, inst.app_dir),), restarts=0,
        archive="untouched"))
    s.append(Scenario(
        "refuse_archive_missing", "archive missing, started by the application: restart",
        install=dataclasses.replace(inst, archive=None), answers=("OK",),
        boxes=(archive_missing_box(inst.install_dir),), restarts=1, archive="absent"))
    s.append(Scenario(
        "by_hand_archive_missing", "archive missing, started by hand: no restart",
        install=dataclasses.replace(inst, archive=None), args=None, answers=("OK",),
        boxes=(archive_missing_box(inst.install_dir),), restarts=0, archive="absent"))
    s.append(Scenario(
        "ini_held_by_application", "the application holds the INI: the open note, then "
        "message C", holds=(Hold(inst.ini_path),), answers=("OK", "OK"),
        boxes=(dataclasses.replace(HELD_BOX, status="none"),
               ini_missing_box(WINDOWS_DIR, inst.app_dir)), restarts=0, archive="untouched"))
    s.append(Scenario(
        "archive_held_by_application", "the application holds the archive: the open note, "
        "then the archive message, restart", holds=(Hold(inst.archive_path),),
        answers=("OK", "OK"), boxes=(dataclasses.replace(HELD_BOX, status="none"),
                                     archive_missing_box(inst.install_dir)),
        restarts=1, archive="untouched"))

    # The version check and the answer No.
    s.append(Scenario(
        "newer_version_no", "newer version, answer No: cancellation note, restart, archive "
        "restored", answers=("No", "OK"),
        boxes=(newer_question(UPDATE_LABEL, UPDATE_DATE),
               dataclasses.replace(CANCELLED_BOX, status="starting")), restarts=1,
        placed=((inst.app_dir + "\\orvupd.txt", VERSION_FILE.data),),
        absent=not_installed(inst)))
    s.append(Scenario(
        "same_version_no", "same version date, answer No", args="15.03.2024 3.1",
        answers=("No", "OK"), boxes=(SAME_DATE_QUESTION, CANCELLED_BOX), restarts=1,
        absent=not_installed(inst)))
    s.append(Scenario(
        "older_version_no", "older update than installed: both versions shown, answer No",
        args="20.05.2024 3.2", answers=("No", "OK"),
        boxes=(older_question(" 3.2", "20.05.2024", UPDATE_LABEL, UPDATE_DATE), CANCELLED_BOX),
        restarts=1, absent=not_installed(inst)))
    stale = dataclasses.replace(inst, stale_backup=b"PK alte Sicherung")
    s.append(Scenario(
        "by_hand_stale_backup_no", "started by hand with a stale backup, answer No: no "
        "cancellation note, no restart, backup gone, archive byte-identical", install=stale,
        args=None, answers=("No",), boxes=(by_hand_question(UPDATE_LABEL, UPDATE_DATE),),
        restarts=0, absent=not_installed(inst)))
    s.append(_installed(
        "interrupted_run_left_backup", "an earlier run stopped midway: its backup goes back "
        "over the reduced archive, and the whole update is installed",
        dataclasses.replace(inst, interrupted=True), plan=inst))
    no_version = dataclasses.replace(
        inst, archive=tuple(e for e in STANDARD_ARCHIVE if e is not VERSION_FILE),
        existing=((inst.app_dir + "\\orvupd.txt", b"01.01.2020 2.0" + CRLF.encode()),))
    placed, count = _whole_run(no_version)
    s.append(Scenario(
        "version_file_missing_yes", "archive without version file (an old one lies in the "
        "application directory and is not read), answer Yes", install=no_version,
        answers=("Yes", "OK"), boxes=(NO_VERSION_FILE_QUESTION, report_box(count - 1)),
        restarts=1, after_report="restart", working_seen=True, placed=placed))

    # Whole runs.
    s.append(_installed(
        "newer_version_yes", "whole run started by the application: files placed by the plan, "
        "report, restart note, one restart, archive restored", inst,
        absent=(inst.install_dir + "\\ORVEN.MDB", inst.install_dir + "\\SYSTEM\\orvgrid.ocx")))
    placed, count = _whole_run(inst, args=None)
    s.append(Scenario(
        "by_hand_yes", "whole run started by hand: the version file is not counted, no status "
        "window after the report, no restart", args=None, answers=("Yes", "OK"),
        boxes=(by_hand_question(UPDATE_LABEL, UPDATE_DATE), report_box(count)), restarts=0,
        after_report="none", working_seen=True, placed=placed))
    only_version = dataclasses.replace(inst, archive=(VERSION_FILE,))
    s.append(Scenario(
        "by_hand_nothing_to_copy", "started by hand, the archive holds the version file alone",
        install=only_version, args=None, answers=("Yes", "OK"),
        boxes=(by_hand_question(UPDATE_LABEL, UPDATE_DATE), NOTHING_COPIED_BOX), restarts=0))
    dlls = dataclasses.replace(
        inst, archive=STANDARD_ARCHIVE + (Entry("SYSTEM/orvmath.dll", _new("orvmath.dll")),),
        existing=_existing("D:\\SYSTEM\\orvcalc.dll", "D:\\SYSTEM\\orvmath.dll"))
    placed, count = _whole_run(dlls, failed=("*.DLL",))
    s.append(Scenario(
        "dll_held_during_extraction", "a library held by the application: the *.DLL row fails "
        "as a whole, its files stay untouched, the last row takes them; bar screenshots",
        install=dlls, holds=(Hold("D:\\SYSTEM\\orvcalc.dll"),), answers=("Yes", "OK", "OK"),
        boxes=(newer_question(UPDATE_LABEL, UPDATE_DATE), extract_failed_box("*.DLL"),
               report_box(count)), restarts=1, after_report="restart", working_seen=True,
        placed=placed + dlls.existing, bar_shots_at_box=2))
    large = dataclasses.replace(inst, archive=STANDARD_ARCHIVE + (LargeEntry("daten/archiv.dat",
                                                                             200),))
    s.append(_installed(
        "progress_large_archive", "200 MB extraction: the progress text moves, the window "
        "answers throughout", large, min_progress_changes=3, progress_shots=(1, 50, 100),
        timeout=400))

    # Unusual installations.
    umlauts = dataclasses.replace(
        inst, install_dir="D:\\Programme\\Müller & Söhne\\ORVEN32",
        ini=(("Pfad1", "D:\\Programme\\Müller & Söhne\\Daten"), ("Pfad2", ""),))
    s.append(_installed(
        "install_dir_with_umlauts", "installation in D:\\Programme\\Müller & Söhne\\ORVEN32, "
        "Pfad1 with umlauts, Pfad2 empty, Pfad3 missing", umlauts))
    # A program cannot be started from a folder deeper than 260 characters (CreateProcess
    # fails, under Wine also by the short path), and INI values end after 254 characters: the
    # deepest folder the updater can meet is a database directory of 254 characters.
    deep_dir = ("D:\\tief\\" + "\\".join(f"Verzeichnisebene{i:02d}" for i in range(16)))[:248]
    deep = dataclasses.replace(inst, ini=(("Pfad1", deep_dir + "\\Daten"),) + inst.ini[1:])
    assert len(deep.db_dir("Pfad1")) == 254
    s.append(_installed(
        "database_path_longer_than_260", "the INI names a database directory of 254 "
        "characters, so the database's path is longer than 260", deep))
    near = dataclasses.replace(inst, install_dir=("D:\\lang\\" + "\\".join(
        f"Verzeichnisebene{i:02d}" for i in range(12)))[:232] + "\\ORVEN32")
    assert len(near.updater_dir + "\\orvupd.exe") < 260 < len(near.backup_path)
    s.append(_installed(
        "install_dir_near_260", "the updater's own path just fits in 260 characters, its "
        "backup and the files it writes do not", near))
    windows_ini = dataclasses.replace(
        inst, ini_at="windows", ini=(("Pfad1", "D:\\WINDATEN\\Daten"),
                                     ("Pfad2", "D:\\WINDATEN\\Verwaltung"),
                                     ("Pfad3", "D:\\WINDATEN\\Keytabs")))
    s.append(_installed(
        "ini_in_windows_dir_only", "the INI in the Windows directory only: its directories "
        "take the databases", windows_ini))
    db_held = dataclasses.replace(inst, existing=_existing("D:\\ORVDATA\\Daten\\ORVEN.MDB"))
    placed, count = _whole_run(db_held, failed=("ORVEN.MDB",))
    s.append(Scenario(
        "database_held_during_extraction", "the application holds ORVEN.MDB: that row fails, "
        "the database stays as it was", install=db_held,
        holds=(Hold("D:\\ORVDATA\\Daten\\ORVEN.MDB"),), answers=("Yes", "OK", "OK"),
        boxes=(newer_question(UPDATE_LABEL, UPDATE_DATE), extract_failed_box("ORVEN.MDB"),
               report_box(count)), restarts=1, after_report="restart", working_seen=True,
        placed=placed + db_held.existing))
    s.append(Scenario(
        "archive_held_at_exit", "the application takes the archive while the question is up, "
        "answer No: the restore fails, is reported a bounded number of times, the application "
        "is started again as the note promised, and the delivered archive survives",
        holds=(Hold(inst.archive_path, at_box=1),), answers=("No", "OK", "OK", "OK"),
        boxes=(newer_question(UPDATE_LABEL, UPDATE_DATE), CANCELLED_BOX, HELD_BOX,
               GENERAL_ERROR_BOX), max_boxes=20, restarts=1, archive="kept"))
    read_only = dataclasses.replace(inst, read_only_archive=True)
    s.append(_installed(
        "read_only_archive", "a read-only archive: a whole run, the archive restored "
        "byte-identical", read_only))
    return s


SCENARIOS = _build()
BY_NAME = {sc.name: sc for sc in SCENARIOS}
assert len(BY_NAME) == len(SCENARIOS), "scenario names must be unique"
