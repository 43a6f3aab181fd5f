#!/usr/bin/env python3
"""Gathers Tectsim statistics reports into one CSV table.

Tectsim's "DoStats" action writes its report into the results window, and
the results window's "Append to file" (the script command `AuxBoxsw FILE`)
appends that text to a file. This script reads such report files and
writes one table: one row per report, with the run's parameters and every
number of every block of the report.

A report is a sequence of blocks, each a label line and a line of numbers:

  Noisy Data
  Wilks Lambda= 0.0908   F score= 6.2559  Percent variance explained: 90.92 % ,
      df1=24 ,    df2=15,  p value=0.0003053729                (one line)

  Clean Data, Univariate Results
  Regression Slope: 0.0848 Regression Intercept: -0.0027 Std. Deviation in
      Slope: 0.0003  Correlation Coefficient 0.9998  Zscore: 28.3450
      p score < 2.2e-308                                        (one line)

Reports of older versions print the variance explained as a fraction
(0.9092), which is read as the percentage it is (90.92); a p value
printed as a bound ("< 2.2e-308", a tail below the least positive double)
gives the bound.

A Wilks block may instead say "Wilks Lambda cannot be computed: ..." (a
singular total matrix); its numbers are then left empty and its
`wilks_singular` column is 1. Each block label becomes a column prefix
("Deformed Noisy Data" -> deformed_noisy_data.wilks_lambda, ...). A file
may hold several reports appended one after another (saving twice into one
file); a report ends where a block label comes round again, and each
report gets its own row with its index in the file.

Parameters of a run come from the report file's name and, optionally, from
a CSV file given with --params:

  * A name report-<anything>.txt gives the column `run` = <anything>; the
    parts of <anything> separated by "_" that read NAME followed by a
    number, or NAME=number (def1.5, ang30, amp0.01, seed=7), each give a
    column NAME with that number.
  * --params FILE: a CSV table whose header names a column `file` (else
    its first column is taken) holding report file names (compared without
    their folder); its other columns are added to the rows of that file,
    and take precedence over values read from the name.

Only the Python 3 standard library is used.
"""

import argparse
import csv
import glob
import os
import re
import sys

# A number as the reports print it: fixed or exponent notation, or the
# words NaN and Inf that a failed computation prints.
NUM = r"([-+]?(?:(?:\d+\.?\d*|\.\d+)(?:[eE][-+]?\d+)?|NaN|nan|Inf|inf))"

WILKS = re.compile(
    r"Wilks Lambda=\s*" + NUM + r"\s+F score=\s*" + NUM + r"\s+Percent variance explained:\s*" + NUM +
    r"\s*(%?)\s*,\s*df1=\s*" + NUM + r"\s*,\s*df2=\s*" + NUM + r"\s*,\s*p value\s*[=<]\s*" + NUM)
WILKS_SINGULAR = re.compile(r"Wilks Lambda cannot be computed")
UNIVARIATE = re.compile(
    r"Regression Slope:\s*" + NUM + r"\s+Regression Intercept:\s*" + NUM + r"\s+Std\. Deviation in Slope:\s*" + NUM +
    r"\s+Correlation Coefficient\s*" + NUM + r"\s+Zscore:\s*" + NUM + r"\s+p score\s*[=<]\s*" + NUM)
UNIVARIATE_LABEL = re.compile(r"^(.*?),\s*Univariate Results\s*$")

# The columns of each kind of block, in the order the numbers are printed.
WILKS_FIELDS = ["wilks_lambda", "F", "percent_variance_explained", "df1", "df2", "p_value"]
WILKS_COLUMNS = WILKS_FIELDS + ["wilks_singular"]
UNIVARIATE_FIELDS = ["slope", "intercept", "sd_slope", "correlation", "z_score", "p_score"]

# Columns of the table itself; parameters of the same name get "_param".
RESERVED = {"file", "report", "reports_in_file"}

NAME_PART = re.compile(r"^([A-Za-z]+)=?([-+]?(?:\d+\.?\d*|\.\d+)(?:[eE][-+]?\d+)?)$")
REPORT_NAME = re.compile(r"^report-(.*)\.txt$")


def prefix(label):
    """The column prefix of a block label: lower case, words joined by _."""
    return re.sub(r"[^a-z0-9]+", "_", label.lower()).strip("_") or "block"


def parse_reports(text, source, warn):
    """The reports of one file: a list of dicts {column: value}, in file order.

    Every block is a label line followed by its numbers line. A block whose
    label and kind were already seen in the current report starts the next
    report. Lines that are neither (such as "== Results ==" when a run's
    standard output is read instead of its report file) are passed over.
    """
    reports = []
    current = {}
    seen = set()
    label = None
    for lineno, raw in enumerate(text.splitlines(), 1):
        line = raw.strip()
        if not line:
            continue
        kind = None
        if WILKS_SINGULAR.search(line):
            kind, values = "wilks", None
        elif line.startswith("Wilks Lambda="):
            m = WILKS.search(line)
            if not m:
                warn(f"{source}, line {lineno}: a Wilks line whose numbers cannot be read; skipped")
                label = None
                continue
            values = list(m.groups())
            # The variance explained: a percentage, or an older report's fraction.
            if not values.pop(3) and values[2].replace(".", "", 1).isdigit():
                values[2] = repr(round(float(values[2]) * 100, 10))
            kind = "wilks"
        elif line.startswith("Regression Slope:"):
            m = UNIVARIATE.search(line)
            if not m:
                warn(f"{source}, line {lineno}: a regression line whose numbers cannot be read; skipped")
                label = None
                continue
            kind, values = "univariate", m.groups()
        else:
            m = UNIVARIATE_LABEL.match(line)
            label = m.group(1).strip() if m else line
            continue

        if label is None:
            warn(f"{source}, line {lineno}: numbers without a block label before them; skipped")
            continue
        blocklabel = UNIVARIATE_LABEL.match(label)
        name = prefix(blocklabel.group(1) if blocklabel else label)
        if (name, kind) in seen:
            reports.append(current)
            current, seen = {}, set()
        seen.add((name, kind))
        if kind == "wilks":
            current[(name, "wilks_singular")] = "1" if values is None else "0"
            for field, value in zip(WILKS_FIELDS, values or [""] * len(WILKS_FIELDS)):
                current[(name, field)] = value
        else:
            for field, value in zip(UNIVARIATE_FIELDS, values):
                current[(name, field)] = value
        label = None
    if current:
        reports.append(current)
    return reports


def name_parameters(path):
    """Parameters read from a file name report-<anything>.txt."""
    m = REPORT_NAME.match(os.path.basename(path))
    if not m:
        return {}
    params = {"run": m.group(1)}
    for part in m.group(1).split("_"):
        p = NAME_PART.match(part)
        if p:
            name = p.group(1)
            params[name + "_param" if name in RESERVED or name == "run" else name] = p.group(2)
    return params


def read_params(path):
    """{file name without folder: {column: value}} from a CSV mapping file."""
    with open(path, newline="", encoding="utf-8-sig") as f:
        rows = list(csv.reader(f))
    if not rows:
        return {}, []
    header = [h.strip() for h in rows[0]]
    key = header.index("file") if "file" in header else 0
    header = [h + "_param" if i != key and h in RESERVED else h for i, h in enumerate(header)]
    columns = [h for i, h in enumerate(header) if i != key]
    table = {}
    for row in rows[1:]:
        if not row or not any(cell.strip() for cell in row):
            continue
        row = row + [""] * (len(header) - len(row))
        table[os.path.basename(row[key].strip())] = {h: row[i].strip() for i, h in enumerate(header) if i != key}
    return table, columns


def expand(patterns):
    """File names from the arguments; patterns are expanded here too, so
    that a grid too large for the shell's command line can be passed quoted
    ("reports/report-*.txt")."""
    files = []
    for p in patterns:
        matches = sorted(glob.glob(p)) if any(c in p for c in "*?[") else [p]
        if not matches:
            sys.stderr.write(f"gather_reports: no file matches {p}\n")
        files.extend(matches)
    return files


def main(argv=None):
    parser = argparse.ArgumentParser(
        prog="gather_reports.py",
        description="Gather Tectsim statistics reports (the text that AuxBoxsw appends to a file) into one\n"
                    "CSV table: one row per report, columns for the run's parameters and for every number of\n"
                    "every block, named <block label>.<number> (noisy_data.wilks_lambda, ...).",
        epilog="examples:\n"
               "  python3 scripts/gather_reports.py reports/report-*.txt > table.csv\n"
               "  python3 scripts/gather_reports.py --params grid.csv 'reports/report-*.txt' -o table.csv\n"
               "\n"
               "A file name report-def1.5_angle30_amp0.01_rep2.txt gives the columns\n"
               "run=def1.5_angle30_amp0.01_rep2, def=1.5, angle=30, amp=0.01, rep=2. A --params CSV has\n"
               "a column 'file' (else its first column) with the report file names; its other columns\n"
               "are copied into the rows of that file and win over values read from the name. A file\n"
               "holding several reports gives one row per report (columns report, reports_in_file).\n"
               "Numbers are copied as the report prints them; a Wilks block that could not be computed\n"
               "leaves its numbers empty and sets <label>.wilks_singular to 1. Exit status 1 when no\n"
               "report was found.",
        formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("reports", nargs="+", metavar="REPORT",
                        help="report files (or quoted patterns such as 'reports/report-*.txt')")
    parser.add_argument("--params", metavar="CSV", help="CSV file mapping report file names to run parameters")
    parser.add_argument("-o", "--output", metavar="FILE", help="write the table to FILE instead of standard output")
    args = parser.parse_args(argv)

    def warn(text):
        sys.stderr.write("gather_reports: " + text + "\n")

    params, param_columns = read_params(args.params) if args.params else ({}, [])
    files = expand(args.reports)

    rows = []
    name_columns = []
    block_columns = []
    known = set()
    for path in files:
        try:
            with open(path, encoding="utf-8", errors="replace", newline="") as f:
                text = f.read()
        except OSError as e:
            warn(f"cannot read {path}: {e.strerror}")
            continue
        reports = parse_reports(text, path, warn)
        if not reports:
            warn(f"{path} holds no report")
            continue
        fromname = name_parameters(path)
        fromcsv = params.get(os.path.basename(path))
        if args.params and fromcsv is None:
            warn(f"{os.path.basename(path)} is not listed in {args.params}")
        for c in fromname:
            if c not in name_columns and c not in param_columns:
                name_columns.append(c)
        for index, report in enumerate(reports, 1):
            for name, field in report:
                if (name, field) not in known:
                    # A block's columns appear together, in the order the
                    # report prints them, whichever variant came first.
                    for f_ in UNIVARIATE_FIELDS if field in UNIVARIATE_FIELDS else WILKS_COLUMNS:
                        if (name, f_) not in known:
                            known.add((name, f_))
                            block_columns.append((name, f_))
            row = {"file": path, "report": str(index), "reports_in_file": str(len(reports))}
            row.update(fromname)
            if fromcsv:
                row.update(fromcsv)
            for key, value in report.items():
                row[".".join(key)] = value
            rows.append(row)

    header = ["file", "report", "reports_in_file"] + name_columns + param_columns + [".".join(k) for k in block_columns]
    out = open(args.output, "w", newline="", encoding="utf-8") if args.output else sys.stdout
    try:
        writer = csv.writer(out, lineterminator="\n")
        writer.writerow(header)
        for row in rows:
            writer.writerow([row.get(h, "") for h in header])
    finally:
        if args.output:
            out.close()
    if not rows:
        sys.stderr.write("gather_reports: no report was found\n")
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main())
