#!/usr/bin/python3
"""Checks that every library uses only the libraries the layout table of README.md allows it:
the #include lines of the source files in its folder, and the libraries its folder's
CMakeLists.txt links. Also checks that every folder that makes a library has a row in the table,
and that a library limited to some Qt modules neither links nor includes any other, nor uses a
library that may.

Usage: check_layering.py SOURCE_DIR [QT_HEADERS_DIR]

The table is the one whose header reads `| folder | library | may use | Qt | ... |`; a row's "may
use" cell names the allowed libraries in backticks (none: Qt and external libraries only), its Qt
cell the Qt modules it may use in backticks (none named: any). Includes are recognised in both
forms, `#include "x/y.h"` and `#include <x/y.h>`, where x (or x/z) is a library's folder; a quoted
include that names a file next to the including one (or ../x/y.h) is taken where it points. Qt
headers (`<QWidget>`, `<QtWidgets/QWidget>`) are told apart by the module folder of
QT_HEADERS_DIR that holds them; without it, only link lines are checked for Qt modules."""

import os
import re
import sys

SOURCE_SUFFIXES = (".h", ".hpp", ".cpp", ".cc", ".cxx", ".in")
INCLUDE = re.compile(r'^\s*#\s*include\s*(?:"([^"]+)"|<([^>]+)>)')
TICKED = re.compile(r"`([^`]+)`")


def read_table(readme):
    """{library: (folder, set of allowed libraries, set of Qt modules or None for any)} from the
    layout table."""
    rows = {}
    in_table = False
    with open(readme, encoding="utf-8") as f:
        for line in f:
            cells = [c.strip() for c in line.strip().strip("|").split("|")]
            if not line.lstrip().startswith("|"):
                in_table = False
                continue
            if cells[:4] == ["folder", "library", "may use", "Qt"]:
                in_table = True
                continue
            if not in_table or set(line.strip()) <= set("|-: "):
                continue
            library = TICKED.findall(cells[1])
            if not library:
                continue  # a folder that makes no library (tests, tools, ...)
            folder = TICKED.findall(cells[0])[0].rstrip("/")
            modules = set(TICKED.findall(cells[3])) or None
            rows[library[0]] = (folder, set(TICKED.findall(cells[2])), modules)
    return rows


def included_folder(root, source, path, quoted, folders):
    """The library folder (of `folders`) an include names, or None."""
    here = os.path.dirname(source)
    if quoted and path.startswith("."):
        target = os.path.relpath(os.path.normpath(os.path.join(here, path)), root)
    elif quoted and os.path.exists(os.path.join(here, path)):
        target = os.path.relpath(os.path.join(here, path), root)
    else:
        target = path
    target = target.replace(os.sep, "/")
    named = [f for f in folders if target.startswith(f + "/")]
    return max(named, key=len) if named else None


def qt_header_modules(headers_dir):
    """{header name: set of Qt modules that hold it} from the module folders of QT_HEADERS_DIR."""
    modules = {}
    if not headers_dir or not os.path.isdir(headers_dir):
        return modules
    for entry in os.listdir(headers_dir):
        folder = os.path.join(headers_dir, entry)
        if entry.startswith("Qt") and os.path.isdir(folder):
            for name in os.listdir(folder):
                modules.setdefault(name, set()).add(entry[2:])
                modules.setdefault(entry + "/" + name, set()).add(entry[2:])
    return modules


def library_folders(root):
    """Every folder below root, to two levels, whose CMakeLists.txt makes a library."""
    for here, dirs, files in os.walk(root):
        rel = os.path.relpath(here, root).replace(os.sep, "/")
        dirs[:] = [d for d in dirs if not d.startswith((".", "build"))
                   and rel.count("/") < 1 and d not in ("tests", "bench", "tools")]
        if rel != "." and "CMakeLists.txt" in files:
            with open(os.path.join(here, "CMakeLists.txt"), encoding="utf-8") as f:
                if re.search(r"add_library\s*\(", f.read()):
                    yield rel


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
    by_folder = {folder: library for library, (folder, _, _) in table.items()}
    qt_headers = qt_header_modules(sys.argv[2] if len(sys.argv) > 2 else None)
    failures = []
    checked = 0

    # Every folder that makes a library has a row.
    for folder in sorted(library_folders(root)):
        if folder not in by_folder:
            failures.append("%s/ makes a library but has no row in README.md's layout table"
                            % folder)

    for library, (folder, allowed, modules) in sorted(table.items()):
        unknown = allowed - set(table)
        if unknown:
            failures.append("README.md: %s may use %s, which is no library of the table"
                            % (library, ", ".join(sorted(unknown))))
        if not os.path.isdir(os.path.join(root, folder)):
            failures.append("README.md names %s/, which does not exist" % folder)
            continue
        permitted = allowed | {library}
        allowed_text = ", ".join(sorted(allowed)) or "no other library"
        modules_text = ", ".join(sorted(modules or ()))
        # A library limited to some Qt modules uses no library that may use others.
        for other in sorted(allowed & set(table)):
            theirs = table[other][2]
            if modules is not None and (theirs is None or not theirs <= modules):
                failures.append("README.md: %s may use only Qt %s but may use %s, which may use"
                                " Qt %s" % (library, modules_text, other,
                                            ", ".join(sorted(theirs)) if theirs else "all"))
        for here, dirs, files in os.walk(os.path.join(root, folder)):
            # A folder inside that makes a library of its own is checked as that library.
            dirs[:] = [d for d in dirs if os.path.relpath(os.path.join(here, d), root)
                       .replace(os.sep, "/") not in by_folder]
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
                        target = by_folder.get(included_folder(root, source, path, quoted,
                                                               by_folder))
                        if target in table and target not in permitted:
                            failures.append("%s:%d includes %s: %s may use %s"
                                            % (os.path.relpath(source, root), number, path,
                                               library, allowed_text))
                        in_modules = qt_headers.get(path, set()) if not quoted else set()
                        if modules is not None and in_modules and not in_modules & modules:
                            failures.append("%s:%d includes %s of Qt %s: %s may use only Qt %s"
                                            % (os.path.relpath(source, root), number, path,
                                               ", ".join(sorted(in_modules)), library,
                                               modules_text))
        cmake_file = os.path.join(root, folder, "CMakeLists.txt")
        if os.path.isfile(cmake_file):
            for target, linked in linked_libraries(cmake_file):
                for other in sorted(set(linked) & set(table) - permitted):
                    failures.append("%s/CMakeLists.txt: %s links %s: %s may use %s"
                                    % (folder, target, other, library, allowed_text))
                qt_linked = {w[len("Qt6::"):] for w in linked if w.startswith("Qt6::")}
                if modules is not None and qt_linked - modules:
                    failures.append("%s/CMakeLists.txt: %s links Qt %s: %s may use only Qt %s"
                                    % (folder, target, ", ".join(sorted(qt_linked - modules)),
                                       library, modules_text))

    for failure in failures:
        print("FAIL:", failure)
    if not failures:
        print("%d source files of %d libraries use only what README.md allows them"
              % (checked, len(table)))
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
