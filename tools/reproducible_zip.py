#!/usr/bin/env python3
"""Writes a zip that is the same bytes wherever and by whomever it is made: the entries in the
order given, each dated DATE, with no owner, ordinary permissions and the same compression.

Usage: reproducible_zip.py OUT.zip "YYYY-MM-DD HH:MM:SS" FOLDER NAME...   (NAMEs inside FOLDER)
"""
import sys
import zipfile


def main() -> int:
    out, date, folder, names = sys.argv[1], sys.argv[2], sys.argv[3], sys.argv[4:]
    stamp = tuple(int(part) for part in date.replace("-", " ").replace(":", " ").split())
    with zipfile.ZipFile(out, "w") as archive:
        for name in names:
            entry = zipfile.ZipInfo(name, date_time=stamp)
            entry.compress_type = zipfile.ZIP_DEFLATED
            entry.create_system = 0  # Windows: no Unix owner or mode
            entry.external_attr = 0x20  # an ordinary file, not read-only
            with open(f"{folder}/{name}", "rb") as source:
                archive.writestr(entry, source.read(), compresslevel=9)
    return 0


if __name__ == "__main__":
    sys.exit(main())
