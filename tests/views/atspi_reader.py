#!/usr/bin/python3
"""Reads a running program's window through AT-SPI, the way a screen reader does.

Started by the grid's AT-SPI test with the process id of the program to read. It finds that
application on the accessibility bus, says "ready", then answers every "walk" line on its
standard input by walking the application's whole tree and printing what it found:

    table <TAB> name <TAB> rows <TAB> columns <TAB> children <TAB> names of row 0 (joined by US)
    done <TAB> nodes <TAB> cells <TAB> stale calls <TAB> refused calls

Before each walk it first asks again about everything it kept from the walk before (cells,
and tables with the row and column counts they had then), as a screen reader does with what
it has cached: those questions may be refused, but must never bring the program down.
"quit" or the end of its input ends it; so does its own time limit.
"""

import sys
import time

import gi

gi.require_version("Atspi", "2.0")
from gi.repository import Atspi  # noqa: E402

TIME_LIMIT_S = 55        # the whole run, whatever the test does
MAX_NODES = 4000         # per walk; the test's window has a few hundred
MAX_STALE_ROWS = 12      # rows past the old count that are asked about


def say(*fields):
    print("\t".join(str(f) for f in fields), flush=True)


def find_application(pid, deadline):
    while time.monotonic() < deadline:
        desktop = Atspi.get_desktop(0)
        for i in range(desktop.get_child_count()):
            app = desktop.get_child_at_index(i)
            try:
                if app is not None and app.get_process_id() == pid:
                    return app
            except Exception:
                pass
        time.sleep(0.1)
    return None


class Reader:
    def __init__(self, app):
        self.app = app
        self.kept_cells = []
        self.kept_tables = []  # (accessible, rows, columns) as they were read
        self.refused = 0
        self.stale_calls = 0

    def call(self, fn, *args):
        try:
            return fn(*args)
        except Exception:
            self.refused += 1
            return None

    def ask_stale(self):
        for cell in self.kept_cells:
            for fn in (Atspi.Accessible.get_name, Atspi.Accessible.get_role,
                       Atspi.Accessible.get_state_set, Atspi.Accessible.get_index_in_parent,
                       Atspi.Accessible.get_parent, Atspi.TableCell.get_position,
                       Atspi.TableCell.get_table, Atspi.TableCell.get_row_column_span):
                self.stale_calls += 1
                self.call(fn, cell)
        for table, rows, columns in self.kept_tables:
            for row in range(min(rows + 2, rows + MAX_STALE_ROWS)):
                self.stale_calls += 1
                self.call(Atspi.Table.get_row_header, table, row)
                self.call(Atspi.Table.is_row_selected, table, row)
                for column in range(columns):
                    self.stale_calls += 6
                    self.call(Atspi.Table.get_row_extent_at, table, row, column)
                    self.call(Atspi.Table.get_column_extent_at, table, row, column)
                    self.call(Atspi.Table.is_selected, table, row, column)
                    self.call(Atspi.Table.get_index_at, table, row, column)
                    self.call(Atspi.Table.get_row_column_extents_at_index, table,
                              row * max(columns, 1) + column)
                    self.call(Atspi.Table.get_accessible_at, table, row, column)
            for index in (-1, rows * columns, rows * columns + 1):
                self.stale_calls += 3
                self.call(Atspi.Table.get_row_at_index, table, index)
                self.call(Atspi.Table.get_column_at_index, table, index)
                self.call(Atspi.Accessible.get_child_at_index, table, index)

    def read_table(self, table, tables):
        rows = self.call(Atspi.Table.get_n_rows, table) or 0
        columns = self.call(Atspi.Table.get_n_columns, table) or 0
        children = self.call(Atspi.Accessible.get_child_count, table) or 0
        first_row = []
        cells = 0
        for row in range(rows):
            for column in range(columns):
                cell = self.call(Atspi.Table.get_accessible_at, table, row, column)
                if cell is None:
                    continue
                cells += 1
                name = self.call(Atspi.Accessible.get_name, cell)
                if row == 0:
                    first_row.append(name if name is not None else "")
                self.call(Atspi.Accessible.get_index_in_parent, cell)
                self.call(Atspi.Accessible.get_state_set, cell)
                self.call(Atspi.TableCell.get_position, cell)
                self.call(Atspi.Table.is_selected, table, row, column)
                self.call(Atspi.Table.get_row_extent_at, table, row, column)
                self.call(Atspi.Table.get_row_column_extents_at_index, table, row * columns + column)
                self.kept_cells.append(cell)
            self.call(Atspi.Table.get_row_header, table, row)
        self.kept_tables.append((table, rows, columns))
        name = self.call(Atspi.Accessible.get_name, table) or ""
        tables.append((name, rows, columns, children, "\x1f".join(first_row)))
        return cells

    def walk(self):
        self.refused = 0
        self.stale_calls = 0
        self.ask_stale()
        self.kept_cells = []
        self.kept_tables = []
        Atspi.Accessible.clear_cache(self.app)
        tables = []
        nodes = 0
        cells = 0
        stack = [self.app]
        while stack and nodes < MAX_NODES:
            node = stack.pop()
            nodes += 1
            role = self.call(Atspi.Accessible.get_role, node)
            self.call(Atspi.Accessible.get_name, node)
            self.call(Atspi.Accessible.get_state_set, node)
            self.call(Atspi.Accessible.get_index_in_parent, node)
            if role == Atspi.Role.TABLE:
                cells += self.read_table(node, tables)
                continue  # its children are the cells just read
            count = self.call(Atspi.Accessible.get_child_count, node) or 0
            for i in range(count):
                child = self.call(Atspi.Accessible.get_child_at_index, node, i)
                if child is not None:
                    stack.append(child)
        for t in tables:
            say("table", *t)
        say("done", nodes, cells, self.stale_calls, self.refused)


def main():
    deadline = time.monotonic() + TIME_LIMIT_S
    if len(sys.argv) != 2:
        say("error", "usage: atspi_reader.py PID")
        return 2
    Atspi.set_timeout(10000, 15000)
    app = find_application(int(sys.argv[1]), min(deadline, time.monotonic() + 20))
    if app is None:
        say("error", "the program did not appear on the accessibility bus")
        return 1
    say("ready", app.get_name())
    reader = Reader(app)
    for line in sys.stdin:
        if time.monotonic() > deadline:
            say("error", "time limit")
            return 1
        command = line.strip()
        if command == "walk":
            reader.walk()
        elif command == "quit":
            break
    return 0


if __name__ == "__main__":
    sys.exit(main())
