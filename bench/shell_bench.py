#!/usr/bin/env python3
"""The application's statements as whole processes: the `quarry` shell beside the sqlite3 shell.

Each statement the application sends (the year bounds, the name lists, the name lookups, the
search in each join case, the per-video lookups; the same list and the same picked ids as
bench/sql_bench.cpp) is run as one process of each shell with CSV output, alternating the
two, RUNS times. The table shows the median wall time and processor time (user + system; on
a machine other work keeps busy it varies less) of each, the ratios quarry / sqlite3,
and whether both printed the same rows (as multisets; "ties" when only rows that an ORDER BY
leaves tied come in another order).

SQLite gets the same catalogue once, in a file beside the tables (rebuilt when a CSV file is
newer): the rows as Quarry stores them (strings cut to the column's size without splitting a
character, trailing blanks removed, an empty field NULL) with the same indexes as the
differential tests' twins (tests/catalogue_twins.h).

Usage: shell_bench.py --quarry BIN --tables DIR --csv DIR [--sqlite3 BIN] [--runs N] [--db FILE]
Exit status 0, 1 when a shell failed or the rows differ, 2 on bad usage.
Standard library only.
"""

import argparse
import csv
import io
import os
import resource
import sqlite3
import statistics
import subprocess
import sys
import time

PASSWORD = "kqpwzra5"

# Table, CSV file, column types given (others are CHAR(longest value, 1..250)), primary
# column, indexed columns: the catalogue builder's plan (tools/common/catalogue_schema.cpp).
TABLES = [
    ("VIDEOS", "videos.csv",
     {"VIDEOID": "INTEGER", "TITLE": 80, "YEAR": 10, "INDUSTRYRATING": 9, "LENGTH": 9},
     "VIDEOID", ["TITLE", "YEAR"]),
    ("CASTMEMBERS", "castmembers.csv", {"CASTMEMBERID": "INTEGER"}, "CASTMEMBERID", ["CASTMEMBER"]),
    ("DIRECTORS", "directors.csv", {"DIRECTORID": "INTEGER"}, "DIRECTORID", ["DIRECTOR"]),
    ("VIDEOS_CASTMEMBERS", "videos_castmembers.csv", {"VIDEOID": "INTEGER", "CASTMEMBERID": "INTEGER"},
     None, ["VIDEOID", "CASTMEMBERID"]),
    ("VIDEOS_DIRECTORS", "videos_directors.csv", {"VIDEOID": "INTEGER", "DIRECTORID": "INTEGER"},
     None, ["VIDEOID", "DIRECTORID"]),
]


def stored_string(text, size):
    """A string as a CHAR(size) field holds it; None for what is stored as NULL."""
    data = text.encode("utf-8")
    if len(data) > size:
        cut = size
        while cut > 0 and (data[cut] & 0xC0) == 0x80:
            cut -= 1
        data = data[:cut]
    text = data.decode("utf-8").rstrip(" ")
    return text if text else None


def load_sqlite(csv_dir, db_path):
    """Builds the SQLite twin of the catalogue in db_path (replacing it)."""
    part = db_path + ".part"
    if os.path.exists(part):
        os.remove(part)
    db = sqlite3.connect(part)
    for table, file_name, types, primary, indexes in TABLES:
        with open(os.path.join(csv_dir, file_name), newline="", encoding="utf-8") as f:
            rows = list(csv.reader(f))
        header, data = rows[0], rows[1:]
        sizes = []
        for c, column in enumerate(header):
            kind = types.get(column)
            if kind == "INTEGER":
                sizes.append(None)
            elif isinstance(kind, int):
                sizes.append(kind)
            else:
                longest = max((len(r[c].encode("utf-8")) for r in data), default=1)
                sizes.append(min(max(longest, 1), 250))
        columns = ", ".join(
            f"{c} {'INTEGER' if s is None else 'TEXT'}{' PRIMARY KEY' if c == primary else ''}"
            for c, s in zip(header, sizes))
        db.execute(f"CREATE TABLE {table} ({columns})")
        for column in indexes:
            db.execute(f"CREATE INDEX {table}_{column} ON {table} ({column})")
        values = []
        for r in data:
            row = []
            for text, size in zip(r, sizes):
                if size is not None:
                    row.append(stored_string(text, size))
                else:
                    row.append(int(text) if text else None)
            values.append(row)
        db.executemany(f"INSERT INTO {table} VALUES ({', '.join('?' * len(header))})", values)
        db.commit()
    db.close()
    os.replace(part, db_path)


def sqlite_text(sql):
    """Double-quoted string literals become single-quoted ones (SQLite reads "x" as a name)."""
    out, quote, i = [], None, 0
    while i < len(sql):
        c = sql[i]
        if quote is None:
            if c in "\"'":
                quote = c
                out.append("'")
            else:
                out.append(c)
        elif c == quote:
            if i + 1 < len(sql) and sql[i + 1] == quote:
                out.append("''" if quote == "'" else '"')
                i += 1
            else:
                out.append("'")
                quote = None
        elif c == "'":
            out.append("''")
        else:
            out.append(c)
        i += 1
    return "".join(out)


def first(db, sql):
    row = db.execute(sql).fetchone()
    if row is None or row[0] is None:
        raise RuntimeError("no row for " + sql)
    return str(row[0])


def pick_facts(db):
    """The names and ids the statements use, picked as bench/sql_bench.cpp picks them."""
    no_quote = " NOT LIKE '%\"%'"
    p = {}
    p["cast"] = first(db, "SELECT C.CASTMEMBERID FROM CASTMEMBERS C JOIN VIDEOS_CASTMEMBERS L ON L.CASTMEMBERID = "
                          "C.CASTMEMBERID WHERE C.CASTMEMBER" + no_quote +
                      " GROUP BY C.CASTMEMBERID ORDER BY COUNT(*) DESC, C.CASTMEMBERID LIMIT 1")
    p["cast_name"] = first(db, "SELECT CASTMEMBER FROM CASTMEMBERS WHERE CASTMEMBERID = " + p["cast"])
    p["director"] = first(db, "SELECT D.DIRECTORID FROM DIRECTORS D JOIN VIDEOS_DIRECTORS L ON L.DIRECTORID = "
                              "D.DIRECTORID WHERE D.DIRECTOR" + no_quote +
                          " GROUP BY D.DIRECTORID ORDER BY COUNT(*) DESC, D.DIRECTORID LIMIT 1")
    p["director_name"] = first(db, "SELECT DIRECTOR FROM DIRECTORS WHERE DIRECTORID = " + p["director"])
    p["partner"] = first(db, "SELECT C.CASTMEMBERID FROM VIDEOS_CASTMEMBERS C JOIN VIDEOS_DIRECTORS D ON "
                             "D.VIDEOID = C.VIDEOID WHERE D.DIRECTORID = " + p["director"] +
                         " GROUP BY C.CASTMEMBERID ORDER BY COUNT(*) DESC, C.CASTMEMBERID LIMIT 1")
    p["busy_video"] = first(db, "SELECT L.VIDEOID FROM VIDEOS_CASTMEMBERS L JOIN VIDEOS V ON V.VIDEOID = L.VIDEOID "
                                "WHERE V.TITLE" + no_quote +
                            " GROUP BY L.VIDEOID ORDER BY COUNT(*) DESC, L.VIDEOID LIMIT 1")
    return p


RATINGS = ["G", "PG", "PG-13", "NR", "R", "NC-17"]


def search(director=None, cast=None, any_cast=False, years=None, ratings=None):
    """The search statement as the main window builds it (app/search_statement.cpp)."""
    all_cast = cast is None and not any_cast
    all_directors = director is None
    cast_chosen, director_chosen = cast is not None, director is not None
    lines = ["SELECT DISTINCT V.VIDEOID, V.TITLE, V.YEAR, V.INDUSTRYRATING, V.LENGTH"]
    if not cast_chosen and not all_directors:
        lines += [", D.VIDEOID", "FROM VIDEOS V, VIDEOS_DIRECTORS D", " WHERE (V.VIDEOID = D.VIDEOID)"]
    elif not director_chosen and not all_cast:
        lines += [", C.VIDEOID", "FROM VIDEOS V, VIDEOS_CASTMEMBERS C", " WHERE (V.VIDEOID = C.VIDEOID) "]
    elif not all_directors and not all_cast:
        lines += [", C.VIDEOID, D.VIDEOID ", "FROM VIDEOS V, VIDEOS_CASTMEMBERS C, VIDEOS_DIRECTORS D",
                  " WHERE (V.VIDEOID = C.VIDEOID) AND (V.VIDEOID = D.VIDEOID) "]
    else:
        lines.append("FROM VIDEOS V")
    if cast_chosen:
        lines.append(f" AND (C.CASTMEMBERID = {cast})")
    if director_chosen:
        lines.append(f" AND (D.DIRECTORID = {director})")
    if years is not None:
        lines.append(" AND " if "WHERE" in "\r\n".join(lines) else " WHERE ")
        lines.append(f' (V.YEAR BETWEEN "{years[0]}" AND "{years[1]}")')
    if ratings is not None and not all(ratings):
        lines.append(" AND (" if "WHERE" in "\r\n".join(lines) else " WHERE (")
        for i, checked in enumerate(ratings):
            if not checked:
                continue
            if any(ratings[:i]):
                lines.append(" OR ")
            lines.append(("" if i == 0 else " ") + f'(V.INDUSTRYRATING = "{RATINGS[i]}")')
        lines.append(")")
    lines.append(" ORDER BY V.TITLE")
    return "\r\n".join(lines)


def statements(p):
    return [
        ("earliest year", "SELECT YEAR FROM VIDEOS ORDER BY YEAR"),
        ("latest year", "SELECT YEAR FROM VIDEOS ORDER BY YEAR DESC"),
        ("cast member names", "SELECT CASTMEMBER FROM CASTMEMBERS ORDER BY CASTMEMBER"),
        ("director names", "SELECT DIRECTOR FROM DIRECTORS ORDER BY DIRECTOR"),
        ("cast member by name", f'SELECT CASTMEMBERID FROM CASTMEMBERS WHERE CASTMEMBER = "{p["cast_name"]}"'),
        ("director by name", f'SELECT DIRECTORID FROM DIRECTORS WHERE DIRECTOR = "{p["director_name"]}"'),
        ("search D (all)", search()),
        ("search A (director)", search(director=p["director"])),
        ("search B (cast member)", search(cast=p["cast"])),
        ("search B (any cast member)", search(any_cast=True)),
        ("search C (both)", search(director=p["director"], cast=p["partner"])),
        ("search D years+ratings", search(years=("1960", "1980"), ratings=[True, True, False, True, True, True])),
        ("cast ids of a video", "SELECT CASTMEMBERID FROM VIDEOS_CASTMEMBERS WHERE VIDEOID = " + p["busy_video"]),
        ("cast name by id", "SELECT CASTMEMBER FROM CASTMEMBERS WHERE CASTMEMBERID = " + p["cast"]),
        ("director ids of a video", "SELECT DIRECTORID FROM VIDEOS_DIRECTORS WHERE VIDEOID = " + p["busy_video"]),
        ("director name by id", "SELECT DIRECTOR FROM DIRECTORS WHERE DIRECTORID = " + p["director"]),
    ]


def normalise(value):
    """Numbers in one form ("2.50" and "2.5" alike), as the differential tests compare them."""
    if value and (value[0].isdigit() or value[0] in "+-."):
        try:
            return "%.10g" % float(value)
        except ValueError:
            pass
    return value


def rows_of(output):
    rows = list(csv.reader(io.StringIO(output.decode("utf-8"), newline="")))
    return [[normalise(v) for v in row] for row in rows[1:]]


def children_cpu():
    usage = resource.getrusage(resource.RUSAGE_CHILDREN)
    return usage.ru_utime + usage.ru_stime


def timed(command):
    """Wall time and processor time (user + system) of one run, and its output."""
    cpu = children_cpu()
    started = time.perf_counter()
    done = subprocess.run(command, stdout=subprocess.PIPE, stderr=subprocess.PIPE)
    elapsed = time.perf_counter() - started
    if done.returncode != 0:
        raise RuntimeError(f"{command[0]} failed ({done.returncode}): {done.stderr.decode(errors='replace').strip()}")
    return elapsed, children_cpu() - cpu, done.stdout


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    parser.add_argument("--quarry", required=True, help="the quarry shell")
    parser.add_argument("--tables", required=True, help="folder of the catalogue's Quarry tables")
    parser.add_argument("--csv", required=True, help="folder of the catalogue's CSV files")
    parser.add_argument("--sqlite3", default="sqlite3", help="the sqlite3 shell")
    parser.add_argument("--db", help="the SQLite twin (default: beside the tables folder)")
    parser.add_argument("--runs", type=int, default=11, help="runs of each shell per statement (median)")
    parser.add_argument("--show", action="store_true", help="print each statement")
    parser.add_argument("names", nargs="*", help="run only statements whose names contain one of these")
    args = parser.parse_args()
    if args.runs < 1:
        parser.error("--runs must be at least 1")

    tables = os.path.abspath(args.tables)
    db_path = args.db or tables.rstrip("/") + ".sqlite3"
    csv_files = [os.path.join(args.csv, t[1]) for t in TABLES]
    if not all(os.path.exists(f) for f in csv_files):
        print(f"shell_bench: no catalogue CSV files in {args.csv}", file=sys.stderr)
        return 2
    if not os.path.exists(os.path.join(tables, "VIDEOS.DAT")):
        print(f"shell_bench: no tables in {tables}", file=sys.stderr)
        return 2
    newest = max(os.path.getmtime(f) for f in csv_files)
    if not os.path.exists(db_path) or os.path.getmtime(db_path) < newest:
        print(f"loading the catalogue into {db_path} ...")
        load_sqlite(args.csv, db_path)
    db = sqlite3.connect(db_path)
    picks = pick_facts(db)
    db.close()
    version = subprocess.run([args.sqlite3, "-version"], stdout=subprocess.PIPE).stdout.decode().split(" ")[0]
    print(f"catalogue: {tables} (SQLite {version}: {db_path}); {args.runs} runs each, alternating, medians")
    print(f"{'':<37} {'---------- wall ms ----------':>27}  {'---------- cpu ms -----------':>27}")
    print(f"{'statement':<28} {'rows':>8} {'quarry':>9} {'sqlite3':>9} {'ratio':>6}  "
          f"{'quarry':>9} {'sqlite3':>9} {'ratio':>6}  rows")

    failed = False
    quarry_base = [args.quarry, tables, "--password", PASSWORD, "--csv", "-c"]
    sqlite_base = [args.sqlite3, "-batch", "-csv", "-header", "-readonly", db_path]
    for name, sql in statements(picks):
        if args.names and not any(part in name for part in args.names):
            continue
        if args.show:
            print(sql.replace("\r\n", " "))
        quarry_times, sqlite_times, quarry_cpu, sqlite_cpu = [], [], [], []
        try:
            for _ in range(args.runs):
                t, cpu, quarry_out = timed(quarry_base + [sql])
                quarry_times.append(t)
                quarry_cpu.append(cpu)
                t, cpu, sqlite_out = timed(sqlite_base + [sqlite_text(sql)])
                sqlite_times.append(t)
                sqlite_cpu.append(cpu)
        except RuntimeError as error:
            print(f"{name:<28} failed: {error}")
            failed = True
            continue
        quarry_rows, sqlite_rows = rows_of(quarry_out), rows_of(sqlite_out)
        if quarry_rows == sqlite_rows:
            same = "same"
        elif sorted(quarry_rows) == sorted(sqlite_rows):
            same = "same (ties)"
        else:
            same = f"DIFFERENT ({len(quarry_rows)} vs {len(sqlite_rows)})"
            failed = True
        q, s = statistics.median(quarry_times) * 1e3, statistics.median(sqlite_times) * 1e3
        qc, sc = statistics.median(quarry_cpu) * 1e3, statistics.median(sqlite_cpu) * 1e3
        print(f"{name:<28} {len(sqlite_rows):>8} {q:>9.1f} {s:>9.1f} {q / s:>6.2f}  "
              f"{qc:>9.1f} {sc:>9.1f} {qc / max(sc, 1e-3):>6.2f}  {same}", flush=True)
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
