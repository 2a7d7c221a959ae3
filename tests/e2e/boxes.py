"""The message boxes and captions of orvupd.exe, with the exact texts a German user sees.
Each box also says which buttons it has, as a German Windows labels them."""

from __future__ import annotations

import dataclasses
from typing import Optional

CRLF = "\r\n"

# --- The updater's texts -------------------------------------------------------------------

VERSION_TITLE = "ORVEN-Update 3.0.0"
STARTING = "Updateprogramm wird gestartet, bitte warten ..."
WORKING = "Update wird ausgeführt, bitte warten ..."
RESTARTING = "ORVEN wird gestartet, bitte warten ..."

CRITICAL, QUESTION, INFORMATION, PLAIN = 16, 52, 64, 0
# The buttons of a message box by its style's button set (the low four bits).
BUTTONS = {0: "OK", 4: "Ja|Nein"}


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


def rights_box(path: str) -> Box:
    """A file of the update that the user may not replace: nothing is installed."""
    return Box("Fehler beim Update", CRITICAL,
               "Die Datei " + path + " kann nicht ersetzt werden:" + CRLF
               + "Ihnen fehlen die Schreibrechte." + CRLF + CRLF
               + "Das Update wurde nicht installiert.", "starting")


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


def unsigned_box(signature_present: bool) -> Box:
    """The archive is not signed by the key the installation trusts: not signed at all, or
    (signature_present) signed by another key, damaged, or changed after signing."""
    return Box("Fehler beim Update", CRITICAL,
               "Die Update-Datei orvupd.zip ist nicht vom Hersteller signiert"
               + (" oder wurde verändert" if signature_present else "") + "." + CRLF + CRLF
               + "Das Update wurde nicht installiert.", "starting")


def _count_line(count: int) -> str:
    return ("Es wurde 1 Datei kopiert." if count == 1
            else "Es wurden " + str(count) + " Dateien kopiert.")


def report_box(count: int) -> Box:
    return Box("ORV-Update installieren", INFORMATION,
               "ORVEN-Update ordnungsgemäß installiert." + CRLF + CRLF + _count_line(count),
               "none")


def incomplete_report_box(count: int) -> Box:
    """After a row that failed with its own box: never the note of success."""
    return Box("ORVEN-Update installieren", CRITICAL,
               "ORVEN-Update nicht vollständig installiert." + CRLF + CRLF + _count_line(count),
               "none")


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
