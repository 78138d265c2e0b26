#!/usr/bin/env python3
"""The include graph of src/ by folder, and its circles.

Usage: includegraph.py SRC-FOLDER [--check]

Prints one line per folder: the folders its files include. With --check it
exits 1 when folders include each other in a circle, when two classes (a .h
and .cpp pair) of one folder need each other, or when a file outside app/
includes app/mainwindow.h.
"""

import os
import re
import sys

INCLUDE = re.compile(r'^\s*#include\s+"([a-z]+)/([a-z0-9_]+)\.h"', re.M)


def units(source):
    """(folder, stem) -> set of (folder, stem) it includes."""
    graph = {}
    for folder in sorted(os.listdir(source)):
        path = os.path.join(source, folder)
        if not os.path.isdir(path):
            continue
        for name in sorted(os.listdir(path)):
            stem, extension = os.path.splitext(name)
            if extension not in (".h", ".cpp"):
                continue
            text = open(os.path.join(path, name), encoding="utf-8").read()
            needs = graph.setdefault((folder, stem), set())
            for target in INCLUDE.findall(text):
                if target != (folder, stem):
                    needs.add(target)
    return graph


def circles(graph):
    """Strongly connected parts of more than one node."""
    index, low, stack, on_stack, found = {}, {}, [], set(), []
    counter = [0]

    def visit(node):
        index[node] = low[node] = counter[0]
        counter[0] += 1
        stack.append(node)
        on_stack.add(node)
        for target in graph.get(node, ()):
            if target not in index:
                visit(target)
                low[node] = min(low[node], low[target])
            elif target in on_stack:
                low[node] = min(low[node], index[target])
        if low[node] == index[node]:
            part = []
            while True:
                top = stack.pop()
                on_stack.discard(top)
                part.append(top)
                if top == node:
                    break
            if len(part) > 1:
                found.append(sorted(part))

    sys.setrecursionlimit(10000)
    for node in sorted(graph):
        if node not in index:
            visit(node)
    return found


def main():
    source = sys.argv[1]
    check = "--check" in sys.argv[2:]
    graph = units(source)
    folders = {}
    for (folder, _), needs in graph.items():
        folders.setdefault(folder, set()).update(target for target, _ in needs if target != folder)
    for folder in sorted(folders):
        print("%-11s -> %s" % (folder, ", ".join(sorted(folders[folder])) or "(nothing)"))
    problems = ["folders in a circle: " + " <-> ".join(part) for part in circles(folders)]
    for folder in sorted(folders):
        inside = {unit: {t for t in needs if t[0] == folder} for unit, needs in graph.items() if unit[0] == folder}
        problems += ["classes in a circle: " + " <-> ".join("/".join(u) for u in part) for part in circles(inside)]
    problems += ["%s/%s includes app/mainwindow.h" % unit for unit, needs in sorted(graph.items())
                 if unit[0] != "app" and ("app", "mainwindow") in needs]
    for problem in problems:
        print(problem)
    return 1 if check and problems else 0


if __name__ == "__main__":
    sys.exit(main())
