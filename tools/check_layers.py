#!/usr/bin/env python3
"""Fails when code under src/ reaches upward in the layer order.

Checks, for every C++ file under src/:
  - its subsystem is one of the layers;
  - every #include of another subsystem points to the same or a lower layer;
  - Qt Widgets headers appear only where windows are made: foundation's
    dialog, menu, notification, job and drawing adaptors, mapview's views and
    the application;
and, for every subsystem's CMakeLists.txt, that it depends on lower layers only.
tests/, bench/, fuzz/ and tools/ are outside the layering.
Usage: tools/check_layers.py [repository root]
"""
import glob
import os
import re
import subprocess
import sys

LAYERS = ["foundation", "geodesy", "charts", "instruments", "mapview", "overlays", "ais", "panels", "app"]
RANK = {name: i for i, name in enumerate(LAYERS)}
WIDGET_PLACES = ("src/foundation/dialogs/", "src/foundation/menus/", "src/foundation/notify/",
                 "src/foundation/jobs/", "src/foundation/drawing/", "src/mapview/view/", "src/app/")
INCLUDE = re.compile(r'^\s*#\s*include\s*([<"])([^>"]+)[>"]')
SUBSYSTEM = re.compile(r"tessa_subsystem\(\s*(\w+)([^)]*)\)", re.S)
# Used when the Qt headers are not installed where we look.
KNOWN_WIDGETS = {"QApplication", "QWidget", "QMainWindow", "QDialog", "QMessageBox", "QFileDialog", "QMenu",
                 "QLabel", "QPushButton", "QToolBar", "QTreeView", "QTableView", "QVBoxLayout", "QHBoxLayout",
                 "QLineEdit", "QComboBox", "QCheckBox", "QProgressBar", "QStatusBar", "QScrollArea"}


def widget_headers():
    names = set(KNOWN_WIDGETS)
    for folder in glob.glob("/usr/include/*/qt6/QtWidgets") + glob.glob("/usr/include/qt6/QtWidgets"):
        names.update(n for n in os.listdir(folder) if re.fullmatch(r"Q[A-Za-z0-9]+", n))
    return names


def source_files(root):
    try:
        out = subprocess.run(["git", "-C", root, "ls-files", "-z", "--", "src"], check=True,
                             capture_output=True).stdout.decode()
        files = [f for f in out.split("\0") if f]
    except (OSError, subprocess.CalledProcessError):
        files = [os.path.relpath(os.path.join(d, f), root) for d, _, names in os.walk(os.path.join(root, "src"))
                 for f in names]
    return sorted(f for f in files if f.endswith((".cpp", ".h")) and os.path.isfile(os.path.join(root, f)))


def layer_of(path):
    """The subsystem of a path relative to the root ("src/charts/x.h" gives "charts")."""
    parts = path.split("/")
    return parts[1] if len(parts) > 2 and parts[0] == "src" else None


def included_layer(path, target):
    """The subsystem an include names, or None when it names none of ours."""
    if target.startswith("."):
        resolved = os.path.normpath(os.path.join(os.path.dirname(path), target))
        return layer_of(resolved)
    first = target.split("/")[0]
    return first if first in RANK and "/" in target else None


def check_sources(root, problems):
    widgets = widget_headers()
    files = source_files(root)
    for path in files:
        own = layer_of(path)
        if own is None:
            continue
        if own not in RANK:
            problems.append(f"{path}: src/{own} is not one of the layers ({', '.join(LAYERS)})")
            continue
        with open(os.path.join(root, path), encoding="utf-8", errors="replace") as f:
            for number, line in enumerate(f, 1):
                m = INCLUDE.match(line)
                if not m:
                    continue
                target = m.group(2).strip()
                other = included_layer(path, target)
                if other is not None and other not in RANK:
                    problems.append(f"{path}:{number}: includes {target}: src/{other} is not a layer")
                elif other is not None and RANK[other] > RANK[own]:
                    problems.append(f"{path}:{number}: {own} includes {target} from {other}, a higher layer")
                if m.group(1) == "<":
                    name = target.split("/")[-1]
                    is_widget = target.startswith("QtWidgets") or (target == name and name in widgets)
                    if is_widget and not path.startswith(WIDGET_PLACES):
                        problems.append(f"{path}:{number}: Qt Widgets ({target}) outside the window adaptors,"
                                        " mapview's views and the application")
    return len(files)


def check_cmake(root, problems):
    for cmake in sorted(glob.glob(os.path.join(root, "src", "**", "CMakeLists.txt"), recursive=True)):
        rel = os.path.relpath(cmake, root)
        with open(cmake, encoding="utf-8") as f:
            text = re.sub(r"#[^\n]*", "", f.read())
        for m in SUBSYSTEM.finditer(text):
            name = m.group(1)
            base = next((l for l in LAYERS if name == l or name.startswith(l + "_")), None)
            if base is None:
                problems.append(f"{rel}: subsystem {name} is not one of the layers")
                continue
            words = m.group(2).split()
            deps = []
            if "DEPENDS" in words:
                for w in words[words.index("DEPENDS") + 1:]:
                    if w.isupper():
                        break
                    deps.append(w)
            for dep in deps:
                dep_base = next((l for l in LAYERS if dep == l or dep.startswith(l + "_")), None)
                if dep_base is None or RANK[dep_base] > RANK[base]:
                    problems.append(f"{rel}: {name} depends on {dep}, which is not a lower layer")


def main():
    root = os.path.abspath(sys.argv[1] if len(sys.argv) > 1 else os.path.join(os.path.dirname(__file__), ".."))
    problems = []
    count = check_sources(root, problems)
    check_cmake(root, problems)
    for p in problems:
        print(p)
    if problems:
        print(f"layering: {len(problems)} problem(s); the order is {' < '.join(LAYERS)}")
        return 1
    print(f"layering: {count} files under src/ include downward only")
    return 0


if __name__ == "__main__":
    sys.exit(main())
