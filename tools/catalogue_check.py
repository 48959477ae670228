#!/usr/bin/env python3
"""Checks the CSV rows of the catalogue Pellomar ships (catalogue/ in the repository).

The catalogue builder turns these five files into the VIDEOS, CASTMEMBERS, DIRECTORS,
VIDEOS_CASTMEMBERS and VIDEOS_DIRECTORS tables. The program only reads them, so every
fault has to be caught here, before the tables are built: a link to a missing id shows
as an empty line in a cast list, two spellings of one name split a person's films over
two entries of the search lists, a rating outside the six known ones is never matched
by the rating boxes.

Usage: catalogue_check.py [DIRECTORY]   (default: the catalogue/ folder of this repository)
Prints one line per problem as FILE:LINE: message, then a summary of the counts.
Exit status: 0 when the catalogue is sound, 1 when a problem was found, 2 on bad usage.

Standard library only, so it runs anywhere Python 3.8+ does.
"""

import collections
import csv
import os
import sys
import unicodedata

HEADERS = {
    "videos.csv": ["VIDEOID", "TITLE", "YEAR", "INDUSTRYRATING", "LENGTH"],
    "castmembers.csv": ["CASTMEMBERID", "CASTMEMBER"],
    "directors.csv": ["DIRECTORID", "DIRECTOR"],
    "videos_castmembers.csv": ["VIDEOID", "CASTMEMBERID"],
    "videos_directors.csv": ["VIDEOID", "DIRECTORID"],
}
RATINGS = {"G", "PG", "PG-13", "R", "NC-17", "NR"}
FIRST_YEAR, LAST_YEAR = 1920, 2029
MIN_LENGTH, MAX_LENGTH = 60, 240      # running time in minutes
MAX_TITLE_BYTES = 80                  # TITLE is 80 wide; counted in UTF-8 bytes so an
                                      # accented title fits however it is stored
MIN_CAST, MAX_CAST = 3, 6             # principal cast credited per video


class Report:
    """Collects problems as FILE:LINE: message, in the order they are found."""

    def __init__(self):
        self.problems = []

    def error(self, where, message):
        self.problems.append(f"{where}: {message}")


class Table:
    """One CSV file read in full: rows of text fields, each with its line number."""

    def __init__(self, name, rows):
        self.name = name
        self.rows = rows  # list of (line number, [fields])


def read_table(directory, name, report):
    """Reads one file strictly (UTF-8, RFC 4180 quoting, the expected header and
    field count). Returns None when the file cannot be read at all."""
    path = os.path.join(directory, name)
    try:
        with open(path, "rb") as fh:
            raw = fh.read()
    except OSError as exc:
        report.error(name, f"cannot read: {exc.strerror}")
        return None
    try:
        text = raw.decode("utf-8")
    except UnicodeDecodeError as exc:
        line = raw.count(b"\n", 0, exc.start) + 1
        report.error(f"{name}:{line}", f"not UTF-8 (byte {exc.start} of the file)")
        return None
    if text.startswith("\ufeff"):
        report.error(f"{name}:1", "starts with a byte order mark")
        text = text[1:]
    if not text.endswith("\n"):
        report.error(name, "last line has no line end")
    crlf = text.count("\r\n")
    if crlf and crlf != text.count("\n"):
        report.error(name, "mixes CRLF and LF line ends")

    # A quoted field may span lines, so a row is numbered by the line it starts on;
    # an unbalanced quote is reported there too, not where the reader gave up.
    rows = []
    reader = csv.reader(text.splitlines(keepends=True), strict=True)
    while True:
        start = reader.line_num + 1
        try:
            fields = next(reader)
        except StopIteration:
            break
        except csv.Error as exc:
            report.error(f"{name}:{start}", f"bad CSV quoting: {exc}")
            return None
        rows.append((start, fields))

    header = HEADERS[name]
    if not rows or rows[0][1] != header:
        got = ",".join(rows[0][1]) if rows else "(empty file)"
        report.error(f"{name}:1", f"header is {got!r}, expected {','.join(header)!r}")
        return None
    body = []
    for line, fields in rows[1:]:
        if len(fields) != len(header):
            report.error(f"{name}:{line}", f"{len(fields)} fields, expected {len(header)}")
            continue
        body.append((line, fields))
    return Table(name, body)


def parse_int(text):
    """A plain decimal integer (no sign, no spaces, no leading zeros), else None."""
    if text.isascii() and text.isdigit() and (text == "0" or not text.startswith("0")):
        return int(text)
    return None


def check_text(report, where, what, value):
    """Problems a display text may carry that no one sees in the file: stray
    spaces, control characters, a non-composed accent (which compares unequal to
    the composed one the user picks from the list)."""
    if not value:
        report.error(where, f"{what} is empty")
        return
    if value != value.strip() or "  " in value:
        report.error(where, f"{what} {value!r} has leading, trailing or doubled spaces")
    if any(unicodedata.category(ch).startswith("C") for ch in value):
        report.error(where, f"{what} {value!r} holds a control or unassigned character")
    if unicodedata.normalize("NFC", value) != value:
        report.error(where, f"{what} {value!r} is not in composed (NFC) form")


def folded(name):
    """The name with case and accents dropped: two names that fold alike are one
    person spelt two ways (or two people no user could tell apart in a list)."""
    decomposed = unicodedata.normalize("NFKD", name)
    bare = "".join(ch for ch in decomposed if not unicodedata.combining(ch))
    return bare.casefold()


def check_ids(report, table, id_column=0):
    """Ids of an entity table: integers, dense from 1, in increasing order.
    Returns {id: (line, fields)} for the rows with a usable id."""
    by_id = {}
    expected = 1
    for line, fields in table.rows:
        where = f"{table.name}:{line}"
        ident = parse_int(fields[id_column])
        if ident is None:
            report.error(where, f"id {fields[id_column]!r} is not a plain integer")
            continue
        if ident in by_id:
            report.error(where, f"id {ident} repeats line {by_id[ident][0]}")
            continue
        if ident != expected:
            report.error(where, f"id {ident} out of sequence, expected {expected}")
        expected = max(expected, ident) + 1
        by_id[ident] = (line, fields)
    return by_id


def check_videos(report, table):
    videos = check_ids(report, table)
    seen_titles = {}
    for ident, (line, fields) in videos.items():
        where = f"{table.name}:{line}"
        _, title, year, rating, length = fields
        check_text(report, where, "title", title)
        size = len(title.encode("utf-8"))
        if size > MAX_TITLE_BYTES:
            report.error(where, f"title {title!r} is {size} bytes, at most {MAX_TITLE_BYTES}")
        year_value = parse_int(year)
        if year_value is None or len(year) != 4:
            report.error(where, f"year {year!r} is not four digits")
        elif not FIRST_YEAR <= year_value <= LAST_YEAR:
            report.error(where, f"year {year} outside {FIRST_YEAR}-{LAST_YEAR}")
        if rating not in RATINGS:
            report.error(where, f"rating {rating!r} is not one of {', '.join(sorted(RATINGS))}")
        minutes = parse_int(length)
        if minutes is None:
            report.error(where, f"length {length!r} is not a whole number of minutes")
        elif not MIN_LENGTH <= minutes <= MAX_LENGTH:
            report.error(where, f"length {minutes} minutes outside {MIN_LENGTH}-{MAX_LENGTH}")
        key = (title.casefold(), year)
        if key in seen_titles:
            report.error(where, f"{title!r} ({year}) repeats video {seen_titles[key]}")
        else:
            seen_titles[key] = ident
    return videos


def check_people(report, table, what):
    """A name table: ids as any entity table, names present, clean and unique,
    also once case and accents are set aside."""
    people = check_ids(report, table)
    exact = {}
    loose = {}
    for ident, (line, fields) in people.items():
        where = f"{table.name}:{line}"
        name = fields[1]
        check_text(report, where, what, name)
        if name in exact:
            report.error(where, f"{what} {name!r} repeats id {exact[name]}")
            continue
        exact[name] = ident
        key = folded(name)
        if key in loose:
            other_id, other = loose[key]
            report.error(where, f"{what} {name!r} differs from id {other_id} {other!r} "
                                "only in case or accents")
        else:
            loose[key] = (ident, name)
    return people


def check_links(report, table, videos, people, what, minimum, maximum):
    """A link table: both ids exist, no row twice, sorted by (video, person), and
    each video has between minimum and maximum (None: no limit) distinct people.
    Returns the set of person ids the table uses."""
    per_video = collections.defaultdict(set)
    seen = {}
    previous = None
    for line, fields in table.rows:
        where = f"{table.name}:{line}"
        video, person = parse_int(fields[0]), parse_int(fields[1])
        if video is None or person is None:
            report.error(where, f"ids {fields[0]!r},{fields[1]!r} are not plain integers")
            continue
        if video not in videos:
            report.error(where, f"VIDEOID {video} names no video")
        if person not in people:
            report.error(where, f"{HEADERS[table.name][1]} {person} names no {what}")
        pair = (video, person)
        if pair in seen:
            report.error(where, f"link {video},{person} repeats line {seen[pair]}")
            continue
        seen[pair] = line
        if previous is not None and pair < previous:
            report.error(where, f"link {video},{person} out of order after "
                                f"{previous[0]},{previous[1]}")
        previous = pair
        per_video[video].add(person)

    for ident, (line, fields) in videos.items():
        count = len(per_video.get(ident, ()))
        if count < minimum or (maximum is not None and count > maximum):
            span = f"at least {minimum}" if maximum is None else f"{minimum} to {maximum}"
            report.error(f"videos.csv:{line}",
                         f"video {ident} {fields[1]!r} has {count} {what} links, "
                         f"expected {span}")
    return {person for _, person in seen}


def check_all_used(report, table, people, used, what):
    for ident, (line, fields) in people.items():
        if ident not in used:
            report.error(f"{table.name}:{line}", f"{what} {fields[1]!r} is in no video")


def check_catalogue(directory):
    """Runs every check over the five files in directory; returns the Report and
    the tables read (None for a file that could not be read)."""
    report = Report()
    tables = {name: read_table(directory, name, report) for name in HEADERS}
    if any(table is None for table in tables.values()):
        return report, tables

    videos = check_videos(report, tables["videos.csv"])
    cast = check_people(report, tables["castmembers.csv"], "cast member")
    directors = check_people(report, tables["directors.csv"], "director")
    used_cast = check_links(report, tables["videos_castmembers.csv"], videos, cast,
                            "cast member", MIN_CAST, MAX_CAST)
    used_directors = check_links(report, tables["videos_directors.csv"], videos, directors,
                                 "director", 1, None)
    check_all_used(report, tables["castmembers.csv"], cast, used_cast, "cast member")
    check_all_used(report, tables["directors.csv"], directors, used_directors, "director")
    return report, tables


def summary(tables):
    lines = []
    for name, table in tables.items():
        if table is not None:
            lines.append(f"{name}: {len(table.rows)} rows")
    videos = tables.get("videos.csv")
    if videos is not None:
        decades = collections.Counter()
        ratings = collections.Counter()
        for _, fields in videos.rows:
            if parse_int(fields[2]) is not None:
                decades[f"{int(fields[2]) // 10 * 10}s"] += 1
            ratings[fields[3]] += 1
        lines.append("videos per decade: " +
                     ", ".join(f"{k} {v}" for k, v in sorted(decades.items())))
        lines.append("videos per rating: " +
                     ", ".join(f"{k} {v}" for k, v in sorted(ratings.items())))
    return lines


def main(argv):
    if len(argv) > 2 or (len(argv) == 2 and argv[1].startswith("-")):
        usage = next(l for l in __doc__.splitlines() if l.startswith("Usage:"))
        print(usage, file=sys.stderr)
        return 2
    if len(argv) == 2:
        directory = argv[1]
    else:
        directory = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "catalogue")
    report, tables = check_catalogue(directory)
    for problem in report.problems:
        print(problem)
    for line in summary(tables):
        print(line)
    if report.problems:
        print(f"{len(report.problems)} problem(s) found", file=sys.stderr)
        return 1
    print("catalogue OK")
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
