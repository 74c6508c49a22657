#!/usr/bin/env python3
"""Compares what the Windows program wrote under Wine with what the Linux program wrote from
the same tables: the .xls Workbook stream byte for byte (the compound file around it is each
system's own), the .xlsx cell for cell, the CSV byte for byte, and the PDF report's words
(the fonts differ between the systems, and with them where a caption breaks; the words may
not).

An archive's CSV export (--table-path) ends each line with the table the test came from, a
path of each system: that column must name the same file, the rest be the same bytes.

usage: compare_outputs.py [--table-path] LINUX_FILE WINDOWS_FILE
Exits 0 when they agree, 1 with the first difference when not."""

import subprocess
import sys
from collections import Counter


def fail(text):
    print(text)
    sys.exit(1)


def workbook_stream(path):
    import olefile

    with olefile.OleFileIO(path) as ole:
        if not ole.exists("Workbook"):
            fail(f"{path}: no Workbook stream")
        return ole.openstream("Workbook").read()


def xlsx_cells(path):
    import openpyxl

    book = openpyxl.load_workbook(path)
    return [
        (sheet.title, [[cell.value for cell in row] for row in sheet.iter_rows()])
        for sheet in book.worksheets
    ]


def pdf_words(path):
    text = subprocess.run(["pdftotext", "-enc", "UTF-8", path, "-"], check=True, capture_output=True).stdout
    return text.decode("utf-8").split()


def without_table_paths(data, separator):
    """The CSV lines without their last field, and the file names that field held."""
    lines, names = [], []
    for line in data.split(b"\r\n"):
        head, _, path = line.rpartition(b";")
        lines.append(head)
        names.append(path.replace(b"\\", b"/").rsplit(b"/", 1)[-1] if separator else path)
    return lines, names


def main():
    arguments = sys.argv[1:]
    table_path = "--table-path" in arguments
    arguments = [a for a in arguments if a != "--table-path"]
    if len(arguments) != 2:
        fail(__doc__)
    linux, windows = arguments
    if table_path:
        (la, na), (lb, nb) = (without_table_paths(open(f, "rb").read(), True) for f in (linux, windows))
        if la != lb:
            for i, (x, y) in enumerate(zip(la, lb)):
                if x != y:
                    fail(f"line {i + 1}: {x!r} and {y!r}")
            fail(f"{len(la)} and {len(lb)} lines")
        if na != nb:
            fail(f"the tables named differ: {na!r} and {nb!r}")
        print(f"same: {linux} and {windows}")
        return
    suffix = linux.rsplit(".", 1)[-1].lower()
    if suffix == "xls":
        a, b = workbook_stream(linux), workbook_stream(windows)
        if a != b:
            at = next((i for i, (x, y) in enumerate(zip(a, b)) if x != y), min(len(a), len(b)))
            fail(f"Workbook streams differ: {len(a)} and {len(b)} bytes, first difference at byte {at}")
    elif suffix == "xlsx":
        a, b = xlsx_cells(linux), xlsx_cells(windows)
        if a != b:
            for (ta, ra), (tb, rb) in zip(a, b):
                if ta != tb:
                    fail(f"sheets {ta!r} and {tb!r}")
                for i, (x, y) in enumerate(zip(ra, rb)):
                    if x != y:
                        fail(f"sheet {ta!r}, row {i + 1}: {x!r} and {y!r}")
            fail(f"{len(a)} and {len(b)} sheets, or rows beyond the shorter")
    elif suffix == "csv":
        a, b = open(linux, "rb").read(), open(windows, "rb").read()
        if a != b:
            la, lb = a.split(b"\r\n"), b.split(b"\r\n")
            for i, (x, y) in enumerate(zip(la, lb)):
                if x != y:
                    fail(f"line {i + 1}: {x!r} and {y!r}")
            fail(f"{len(la)} and {len(lb)} lines")
    elif suffix == "pdf":
        # The same words, each as often; their order on the page follows where a caption
        # breaks, which the fonts of each system decide.
        a, b = Counter(pdf_words(linux)), Counter(pdf_words(windows))
        if a != b:
            fail(f"only on Linux: {sorted((a - b).elements())}; only on Windows: {sorted((b - a).elements())}")
        if not a:
            fail("the report has no text")
    else:
        fail(f"cannot compare .{suffix} files")
    print(f"same: {linux} and {windows}")


main()
