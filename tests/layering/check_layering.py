#!/usr/bin/python3
"""Checks that every library uses only the libraries the layout table of README.md allows it:
the #include lines of the source files in its folder, and the libraries its folder's
CMakeLists.txt links. Also checks that every folder that makes a library has a row in the table.

Usage: check_layering.py SOURCE_DIR

The table is the one whose header reads `| folder | library | may use | ... |`; a row's "may use"
cell names the allowed libraries in backticks (none: Qt and external libraries only). Includes are
recognised in both forms, `#include "x/y.h"` and `#include <x/y.h>`, where x is a library's
folder; a quoted include that names a file next to the including one (or ../x/y.h) is taken where
it points."""

import os
import re
import sys

SOURCE_SUFFIXES = (".h", ".hpp", ".cpp", ".cc", ".cxx", ".in")
INCLUDE = re.compile(r'^\s*#\s*include\s*(?:"([^"]+)"|<([^>]+)>)')
TICKED = re.compile(r"`([^`]+)`")


def read_table(readme):
    """{library: (folder, set of allowed libraries)} from the layout table."""
    rows = {}
    in_table = False
    with open(readme, encoding="utf-8") as f:
        for line in f:
            cells = [c.strip() for c in line.strip().strip("|").split("|")]
            if not line.lstrip().startswith("|"):
                in_table = False
                continue
            if cells[:3] == ["folder", "library", "may use"]:
                in_table = True
                continue
            if not in_table or set(line.strip()) <= set("|-: "):
                continue
            library = TICKED.findall(cells[1])
            if not library:
                continue  # a folder that makes no library (tests, tools, ...)
            folder = TICKED.findall(cells[0])[0].rstrip("/")
            rows[library[0]] = (folder, set(TICKED.findall(cells[2])))
    return rows


def included_folder(root, source, path, quoted):
    """The top-level folder an include names, or None."""
    here = os.path.dirname(source)
    if quoted and path.startswith("."):
        target = os.path.relpath(os.path.normpath(os.path.join(here, path)), root)
    elif quoted and os.path.exists(os.path.join(here, path)):
        target = os.path.relpath(os.path.join(here, path), root)
    else:
        target = path
    parts = target.replace(os.sep, "/").split("/")
    return parts[0] if len(parts) > 1 else None


def linked_libraries(cmake_file):
    """(target, set of linked names) of every target_link_libraries call."""
    with open(cmake_file, encoding="utf-8") as f:
        text = re.sub(r"#[^\n]*", "", f.read())
    for m in re.finditer(r"target_link_libraries\s*\(([^)]*)\)", text):
        words = m.group(1).split()
        yield words[0], set(words[1:])


def main():
    root = os.path.abspath(sys.argv[1])
    table = read_table(os.path.join(root, "README.md"))
    if not table:
        print("FAIL: README.md has no layout table with a 'may use' column")
        return 1
    by_folder = {folder: library for library, (folder, _) in table.items()}
    failures = []
    checked = 0

    # Every folder that makes a library has a row.
    for entry in sorted(os.listdir(root)):
        cmake_file = os.path.join(root, entry, "CMakeLists.txt")
        if os.path.isfile(cmake_file) and entry not in by_folder:
            with open(cmake_file, encoding="utf-8") as f:
                if re.search(r"add_library\s*\(", f.read()):
                    failures.append("%s/ makes a library but has no row in README.md's layout table"
                                    % entry)

    for library, (folder, allowed) in sorted(table.items()):
        unknown = allowed - set(table)
        if unknown:
            failures.append("README.md: %s may use %s, which is no library of the table"
                            % (library, ", ".join(sorted(unknown))))
        if not os.path.isdir(os.path.join(root, folder)):
            failures.append("README.md names %s/, which does not exist" % folder)
            continue
        permitted = allowed | {library}
        allowed_text = ", ".join(sorted(allowed)) or "no other library"
        for here, _, files in os.walk(os.path.join(root, folder)):
            for name in sorted(files):
                if not name.endswith(SOURCE_SUFFIXES):
                    continue
                source = os.path.join(here, name)
                checked += 1
                with open(source, encoding="utf-8", errors="replace") as f:
                    for number, line in enumerate(f, 1):
                        m = INCLUDE.match(line)
                        if not m:
                            continue
                        quoted = m.group(1) is not None
                        path = m.group(1) if quoted else m.group(2)
                        target = included_folder(root, source, path, quoted)
                        if target in table and target not in permitted:
                            failures.append("%s:%d includes %s: %s may use %s"
                                            % (os.path.relpath(source, root), number, path,
                                               library, allowed_text))
        cmake_file = os.path.join(root, folder, "CMakeLists.txt")
        if os.path.isfile(cmake_file):
            for target, linked in linked_libraries(cmake_file):
                for other in sorted(set(linked) & set(table) - permitted):
                    failures.append("%s/CMakeLists.txt: %s links %s: %s may use %s"
                                    % (folder, target, other, library, allowed_text))

    for failure in failures:
        print("FAIL:", failure)
    if not failures:
        print("%d source files of %d libraries use only what README.md allows them"
              % (checked, len(table)))
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
