#!/usr/bin/env python3
"""Fails when code under src/ breaks the layering.

Checks, for every C++ file under src/:
  - its subsystem is one of the layers;
  - every #include of another subsystem points to the same or a lower layer;
  - foundation's Qt Widgets adaptors (the files listed as widget_adaptors in
    src/foundation/CMakeLists.txt) are a layer of their own: they use only
    foundation, and only the application uses them;
  - Qt Widgets headers, and forward declarations of QWidget, appear only in
    the widget adaptors, mapview's views and the application (lower layers
    name a parent window through foundation/platform/DialogParent.h);
  - no static function-pointer or std::function slot: a lower layer reaches
    a higher one through a port (an interface in a ...Ports.h header,
    installed by src/app/shell/Wiring.cpp), and nothing registers itself from
    a static initialiser;
  - the folders inside a subsystem include each other without a circle;
  - nothing but the entry point runs a nested event loop (`exec()`): dialog
    results flow through continuations;
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
WIDGETS_LAYER = "foundation_widgets"
# Besides the widget adaptors, where windows are made.
WIDGET_PLACES = ("src/mapview/view/", "src/app/")
# The one header below the views that names the parent window type.
DIALOG_PARENT = "src/foundation/platform/DialogParent.h"
INCLUDE = re.compile(r'^\s*#\s*include\s*([<"])([^>"]+)[>"]')
SUBSYSTEM = re.compile(r"tessa_subsystem\(\s*(\w+)([^)]*)\)", re.S)
ADAPTORS = re.compile(r"set\(\s*widget_adaptors\s+([^)]*)\)", re.S)
QWIDGET_DECL = re.compile(r"^\s*class\s+QWidget\s*;")
# A static data member or variable holding a function: `static std::function<...> x`,
# `static void (*x)(...)`, and a namespace-scope `std::function<...> x;` slot.
STATIC_FUNCTION = re.compile(r"^\s*(?:inline\s+)?static\s+(?:const\s+)?std::function\s*<")
STATIC_POINTER = re.compile(r"^\s*(?:inline\s+)?static\s+[\w:<>,\s*&]+\(\s*\*\s*\w+\s*\)\s*\(")
GLOBAL_FUNCTION = re.compile(r"^(?:inline\s+)?std::function\s*<.*>\s+\w+\s*(?:;|=|\{)")
# A registration run by a static initialiser: `const bool g = (Register(...), true);`
# or `const bool g = [] { ... }();` at namespace scope.
STATIC_INIT = re.compile(r"^(?:\[\[maybe_unused\]\]\s*)?(?:static\s+)?const\s+bool\s+\w+\s*=\s*(?:\(|\[)")
# A nested event loop: `x.exec()` or `x->exec()`. Only the entry point runs the loop.
NESTED_LOOP = re.compile(r"(?:\.|->)\s*exec\s*\(\s*\)")
ENTRY_POINT = "src/app/main.cpp"
# A function defined at the left margin; a slot inside one named ...ForTesting
# is a test seam of its own layer (a replacement clock), not a hook.
FUNCTION_HEAD = re.compile(r"^[A-Za-z].*?\b(\w+)\s*\([^;]*$")
# Known widget classes, used when the Qt headers are not installed where we look.
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
        out = subprocess.run(["git", "-C", root, "ls-files", "-z", "--cached", "--others", "--exclude-standard",
                              "--", "src"], check=True, capture_output=True).stdout.decode()
        files = [f for f in out.split("\0") if f]
    except (OSError, subprocess.CalledProcessError):
        files = [os.path.relpath(os.path.join(d, f), root) for d, _, names in os.walk(os.path.join(root, "src"))
                 for f in names]
    return sorted(set(f for f in files if f.endswith((".cpp", ".h")) and os.path.isfile(os.path.join(root, f))))


def widget_adaptors(root):
    """The paths of foundation's widget adaptors, from its CMakeLists.txt."""
    path = os.path.join(root, "src", "foundation", "CMakeLists.txt")
    try:
        with open(path, encoding="utf-8") as f:
            text = re.sub(r"#[^\n]*", "", f.read())
    except OSError:
        return set()
    m = ADAPTORS.search(text)
    return {"src/foundation/" + w for w in m.group(1).split()} if m else set()


def layer_of(path):
    """The subsystem of a path relative to the root ("src/charts/x.h" gives "charts")."""
    parts = path.split("/")
    return parts[1] if len(parts) > 2 and parts[0] == "src" else None


def folder_of(path):
    """The job folder inside a subsystem ("src/overlays/gpx/GpxFile.h" gives "gpx"), or None at its top."""
    parts = path.split("/")
    return parts[2] if len(parts) > 3 and parts[0] == "src" else None


def resolve(path, target):
    """The repository path an include names, or None when it names none of ours."""
    if target.startswith("."):
        return os.path.normpath(os.path.join(os.path.dirname(path), target))
    first = target.split("/")[0]
    return "src/" + target if first in RANK and "/" in target else None


def find_circle(edges):
    """One circle in a graph {node: {node: where}} as a list of nodes, or None."""
    state = {}
    stack = []

    def visit(node):
        state[node] = 1
        stack.append(node)
        for nxt in sorted(edges.get(node, {})):
            if state.get(nxt) == 1:
                return stack[stack.index(nxt):] + [nxt]
            if nxt not in state:
                found = visit(nxt)
                if found:
                    return found
        stack.pop()
        state[node] = 2
        return None

    for node in sorted(edges):
        if node not in state:
            found = visit(node)
            if found:
                return found
    return None


def without_template_arguments(line):
    """The line with every <...> taken out, so that `std::function<double()>& f()` shows `f` first."""
    previous = None
    while previous != line:
        previous, line = line, re.sub(r"<[^<>]*>", "", line)
    return line


def check_sources(root, problems):
    widgets = widget_headers()
    adaptors = widget_adaptors(root)
    files = source_files(root)
    folder_edges = {}  # subsystem -> {folder: {folder: "file:line"}}
    for path in files:
        own = layer_of(path)
        if own is None:
            continue
        if own not in RANK:
            problems.append(f"{path}: src/{own} is not one of the layers ({', '.join(LAYERS)})")
            continue
        own_widgets = path in adaptors
        may_use_widgets = own_widgets or path.startswith(WIDGET_PLACES)
        function = ""
        with open(os.path.join(root, path), encoding="utf-8", errors="replace") as f:
            for number, line in enumerate(f, 1):
                head = FUNCTION_HEAD.match(without_template_arguments(line))
                if head:
                    function = head.group(1)
                seam = function.endswith("ForTesting") and line.startswith((" ", "\t"))
                if QWIDGET_DECL.match(line) and not may_use_widgets and path != DIALOG_PARENT:
                    problems.append(f"{path}:{number}: declares QWidget outside the window adaptors, mapview's"
                                    f" views and the application (include {DIALOG_PARENT[4:]})")
                slot = STATIC_FUNCTION.match(line) or STATIC_POINTER.match(line) or GLOBAL_FUNCTION.match(line)
                if slot and not seam:
                    problems.append(f"{path}:{number}: a static function slot; declare a port (an interface in"
                                    " a ...Ports.h header) and install it from src/app/shell/Wiring.cpp")
                if STATIC_INIT.match(line):
                    problems.append(f"{path}:{number}: registers from a static initialiser; register from the"
                                    " registry's registration function or install from src/app/shell/Wiring.cpp")
                if NESTED_LOOP.search(line.split("//")[0]) and path != ENTRY_POINT:
                    problems.append(f"{path}:{number}: runs a nested event loop (exec()); open the dialog with"
                                    " open() or show() and continue in its signal or continuation")
                m = INCLUDE.match(line)
                if not m:
                    continue
                target = m.group(2).strip()
                resolved = resolve(path, target)
                other = layer_of(resolved) if resolved else None
                if other is not None and other not in RANK:
                    problems.append(f"{path}:{number}: includes {target}: src/{other} is not a layer")
                elif other is not None and RANK[other] > RANK[own]:
                    problems.append(f"{path}:{number}: {own} includes {target} from {other}, a higher layer")
                elif resolved in adaptors and not own_widgets and own != "app":
                    problems.append(f"{path}:{number}: includes {target} from {WIDGETS_LAYER}, which only the"
                                    " application may use")
                elif own_widgets and other is not None and other != "foundation":
                    problems.append(f"{path}:{number}: {WIDGETS_LAYER} includes {target} from {other}; it may"
                                    " use only foundation")
                if other == own and resolved:
                    a, b = folder_of(path), folder_of(resolved)
                    if a and b and a != b:
                        folder_edges.setdefault(own, {}).setdefault(a, {}).setdefault(b, f"{path}:{number}")
                if m.group(1) == "<":
                    name = target.split("/")[-1]
                    is_widget = target.startswith("QtWidgets") or (target == name and name in widgets)
                    if is_widget and not may_use_widgets:
                        problems.append(f"{path}:{number}: Qt Widgets ({target}) outside the window adaptors,"
                                        " mapview's views and the application")
    for layer, edges in sorted(folder_edges.items()):
        circle = find_circle(edges)
        if circle:
            steps = ", ".join(f"{a} -> {b} ({edges[a][b]})" for a, b in zip(circle, circle[1:]))
            problems.append(f"src/{layer}: its folders include each other in a circle: {steps}")
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
                if dep == WIDGETS_LAYER and base != "app":
                    problems.append(f"{rel}: {name} depends on {dep}, which only the application may use")
                elif name == WIDGETS_LAYER and dep != "foundation":
                    problems.append(f"{rel}: {name} depends on {dep}; it may use only foundation")
                elif dep_base is None or RANK[dep_base] > RANK[base]:
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
    print(f"layering: {count} files under src/ include downward only, without folder circles or hook slots")
    return 0


if __name__ == "__main__":
    sys.exit(main())
