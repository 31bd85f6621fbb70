#!/usr/bin/env python3
"""Plants each kind of layering fault in a small tree and checks that
tools/check_layers.py refuses it, and that the clean tree passes."""
import os
import subprocess
import sys
import tempfile

CHECK = os.path.join(os.path.dirname(os.path.abspath(__file__)), "check_layers.py")

CLEAN = {
    "src/foundation/CMakeLists.txt": "set(widget_adaptors menus/MenuPopup_qt.cpp)\n"
                                     "tessa_subsystem(foundation)\n"
                                     "tessa_subsystem(foundation_widgets DEPENDS foundation)\n",
    "src/foundation/platform/DialogParent.h": "#pragma once\nclass QWidget;\n",
    "src/foundation/menus/MenuPopup_qt.cpp": "#include <QMenu>\nclass QWidget;\n",
    "src/foundation/events/Clock.cpp": "std::function<double()>& ClockForTesting()\n{\n"
                                       "    static std::function<double()> clock;\n    return clock;\n}\n",
    "src/instruments/connections/ConnectionPorts.h": '#pragma once\n#include "foundation/platform/DialogParent.h"\n'
                                                     "class IConnectionUi\n{\n};\n",
    "src/overlays/model/OverlayMark.cpp": '#include "overlays/model/OverlayMark.h"\n',
    "src/overlays/model/OverlayMark.h": "#pragma once\n",
    "src/overlays/gpx/GpxFile.cpp": '#include "overlays/model/OverlayMark.h"\n',
    "src/overlays/gpx/GpxFile.h": "#pragma once\n",
    "src/app/window/MainWindow.cpp": '#include "foundation/menus/MenuPopup_qt.cpp"\n#include <QWidget>\n',
    "src/app/main.cpp": "int main()\n{\n    return app.exec();\n}\n",
}

# (what is planted, file, text, words the report must hold)
PLANTED = [
    ("static hook slot", "src/instruments/connections/Serial.h",
     "struct S\n{\n    static void (*s_openDialog)(QWidget* parent);\n};\n", "static function slot"),
    ("std::function hook slot", "src/overlays/model/SaveAll.cpp",
     "bool SaveAll()\n{\n    static std::function<bool()> hook;\n    return hook();\n}\n", "static function slot"),
    ("registration by a static initialiser", "src/overlays/model/MarkManager.cpp",
     "namespace {\nconst bool gRegistered = [] {\n    return true;\n}();\n}\n", "static initialiser"),
    ("QWidget in instruments", "src/instruments/DataConnection.h", "#pragma once\nclass QWidget;\n",
     "declares QWidget"),
    ("Qt Widgets header in charts", "src/charts/Chart.cpp", "#include <QMessageBox>\n", "Qt Widgets"),
    ("overlays folder circle", "src/overlays/model/OverlayRoute.cpp", '#include "overlays/gpx/GpxFile.h"\n',
     "circle: gpx -> model"),
    ("widget adaptor used below the application", "src/mapview/view/View.cpp",
     '#include "foundation/menus/MenuPopup_qt.cpp"\n', "only the application may use"),
    ("nested event loop", "src/app/dialogs/Ask.cpp", "void Ask()\n{\n    box->exec();\n}\n", "nested event loop"),
    ("upward include", "src/charts/Chart.h", '#include "overlays/model/OverlayMark.h"\n', "a higher layer"),
]


def run(tree):
    with tempfile.TemporaryDirectory() as root:
        for path, text in tree.items():
            os.makedirs(os.path.dirname(os.path.join(root, path)), exist_ok=True)
            with open(os.path.join(root, path), "w", encoding="utf-8") as f:
                f.write(text)
        done = subprocess.run([sys.executable, CHECK, root], capture_output=True, text=True)
        return done.returncode, done.stdout


def main():
    failures = 0
    code, out = run(CLEAN)
    if code != 0:
        print(f"FAIL clean tree refused:\n{out}")
        failures += 1
    for what, path, text, words in PLANTED:
        code, out = run({**CLEAN, path: text})
        if code == 0 or words not in out or path not in out and "circle" not in words:
            print(f"FAIL {what}: exit {code}, report:\n{out}")
            failures += 1
        else:
            print(f"ok   {what}: {out.splitlines()[0]}")
    print(f"{len(PLANTED) + 1 - failures} passed, {failures} failed")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
