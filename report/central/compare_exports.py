#!/usr/bin/python3
"""Compares an export from the central database with the same export from one office's table, cell for
cell, as a spreadsheet or Python's csv module reads them: the database's lines must be the table's, with
the office and station as two more columns at the end. The change columns come from the audit journal
beside a table, which the database does not keep: from the database they must be empty.

Usage: compare_exports.py csv|xlsx TABLE_EXPORT DATABASE_EXPORT OFFICE STATION
"""
import csv
import sys


def read_csv(path):
    with open(path, newline='', encoding='utf-8-sig') as f:
        return [row for row in csv.reader(f)]


def read_xlsx(path):
    import openpyxl
    sheet = openpyxl.load_workbook(path, read_only=True).active
    return [['' if cell is None else cell for cell in row] for row in sheet.iter_rows(values_only=True)]


def main():
    kind, table_path, database_path, office, station = sys.argv[1:6]
    read = read_xlsx if kind == 'xlsx' else read_csv
    table = read(table_path)
    database = read(database_path)
    if len(table) < 2:
        sys.exit(f'{table_path} holds no tests')
    if len(table) != len(database):
        sys.exit(f'{len(table)} lines from the table, {len(database)} from the database')
    if database[0][-2:] != ['office', 'station']:
        sys.exit(f'the database export ends with {database[0][-2:]}, not office and station')
    unknown = [column for column, name in enumerate(table[0]) if name in ('changes', 'last_change')]
    for number, (ours, theirs) in enumerate(zip(table, database)):
        if number > 0:
            for column in unknown:
                if column < len(theirs) and theirs[column] != '':
                    sys.exit(f'line {number + 1}, column {table[0][column]}: the database says {theirs[column]!r}')
                if column < len(ours) and column < len(theirs):
                    ours[column] = theirs[column]
        if theirs[:-2] != ours:
            for column, (a, b) in enumerate(zip(ours, theirs)):
                if a != b:
                    sys.exit(f'line {number + 1}, column {table[0][column]}: table {a!r}, database {b!r}')
            sys.exit(f'line {number + 1}: {len(ours)} cells from the table, {len(theirs) - 2} from the database')
        if number > 0 and theirs[-2:] != [office, station]:
            sys.exit(f'line {number + 1}: the database says {theirs[-2:]}, not {[office, station]}')
    print(f'{len(table) - 1} lines equal')


if __name__ == '__main__':
    main()
