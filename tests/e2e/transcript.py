"""Reading the driver's transcript: one record per line, `t=<ms> <kind> key=value ...`."""

from __future__ import annotations

import dataclasses
import re

_RECORD = re.compile(r"t=(\d+) (\S+)(.*)$")
_FIELD = re.compile(r'(\S+?)=("(?:[^"\\]|\\.)*"|\S*)')
_ESCAPE = re.compile(r"\\(x[0-9A-Fa-f]{2}|.)")
_ESCAPES = {"\\": "\\", '"': '"', "r": "\r", "n": "\n", "t": "\t"}


def unquote(value: str) -> str:
    if not value.startswith('"'):
        return value
    return _ESCAPE.sub(lambda m: (chr(int(m.group(1)[1:], 16)) if m.group(1)[0] == "x"
                                  else _ESCAPES.get(m.group(1), m.group(1))), value[1:-1])


@dataclasses.dataclass
class Record:
    t: int
    kind: str
    fields: dict

    def __getitem__(self, key: str) -> str:
        return self.fields[key]

    def get(self, key: str, default: str = "") -> str:
        return self.fields.get(key, default)


def parse_transcript(text: str) -> list[Record]:
    records = []
    for line in text.splitlines():
        m = _RECORD.match(line)
        if not m:
            continue
        fields = {k: unquote(v) for k, v in _FIELD.findall(m.group(3))}
        records.append(Record(int(m.group(1)), m.group(2), fields))
    return records
