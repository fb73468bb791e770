#!/usr/bin/env python3
"""Lists the include cycles between modules of the source tree.

A module is a header and its source of the same name (a.h with a.cpp or a.cu);
module a depends on module b when a.h or a.cpp includes b.h. A cycle is a set
of modules each of which reaches every other through such includes; the tree
should have none. With --folders the same is done for folders (every module of
a folder taken as one), which shows how the folders layer.

Usage: scripts/module_cycles.py [--folders] [folder ...]
       (default folders: the program's sources; run from anywhere)
Exit status: 0 no module cycle, 1 cycles found (each printed with the
includes that close it).
"""
import os
import re
import sys

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
DEFAULT_FOLDERS = ["platform", "core", "language", "geometry", "transport", "gpu", "driver", "tools"]
SOURCE_SUFFIXES = (".h", ".hpp", ".cuh", ".cpp", ".cc", ".cu")
INCLUDE = re.compile(r'^\s*#\s*include\s+"([^"]+)"')


def module_of(path):
    return os.path.splitext(path)[0]


def read_edges(folders):
    """Edges module -> {included module: [(file, included header), ...]}."""
    edges = {}
    for folder in folders:
        for base, _, files in os.walk(os.path.join(ROOT, folder)):
            for name in sorted(files):
                if not name.endswith(SOURCE_SUFFIXES):
                    continue
                path = os.path.relpath(os.path.join(base, name), ROOT)
                source = module_of(path)
                targets = edges.setdefault(source, {})
                with open(os.path.join(ROOT, path), encoding="utf-8", errors="replace") as f:
                    for line in f:
                        m = INCLUDE.match(line)
                        if not m or not os.path.exists(os.path.join(ROOT, m.group(1))):
                            continue
                        target = module_of(m.group(1))
                        if target != source:
                            targets.setdefault(target, []).append((path, m.group(1)))
    return edges


def folder_edges(edges):
    folders = {}
    for source, targets in edges.items():
        a = os.path.dirname(source)
        for target, why in targets.items():
            b = os.path.dirname(target)
            if a != b:
                folders.setdefault(a, {}).setdefault(b, []).extend(why)
        folders.setdefault(a, {})
    return folders


def strongly_connected(edges):
    """Tarjan's algorithm, iterative; returns the components of 2 or more nodes."""
    index, low, on_stack, stack, result = {}, {}, set(), [], []
    counter = [0]
    nodes = sorted(set(edges) | {t for ts in edges.values() for t in ts})
    for start in nodes:
        if start in index:
            continue
        work = [(start, iter(sorted(edges.get(start, {}))))]
        index[start] = low[start] = counter[0]
        counter[0] += 1
        stack.append(start)
        on_stack.add(start)
        while work:
            node, children = work[-1]
            advanced = False
            for child in children:
                if child not in index:
                    index[child] = low[child] = counter[0]
                    counter[0] += 1
                    stack.append(child)
                    on_stack.add(child)
                    work.append((child, iter(sorted(edges.get(child, {})))))
                    advanced = True
                    break
                if child in on_stack:
                    low[node] = min(low[node], index[child])
            if advanced:
                continue
            work.pop()
            if work:
                low[work[-1][0]] = min(low[work[-1][0]], low[node])
            if low[node] == index[node]:
                component = []
                while True:
                    member = stack.pop()
                    on_stack.discard(member)
                    component.append(member)
                    if member == node:
                        break
                if len(component) > 1:
                    result.append(sorted(component))
    return sorted(result)


def main(argv):
    folders_mode = "--folders" in argv
    folders = [a.rstrip("/") for a in argv if not a.startswith("--")] or DEFAULT_FOLDERS
    folders = [f for f in folders if os.path.isdir(os.path.join(ROOT, f))]
    edges = read_edges(folders)
    if folders_mode:
        edges = folder_edges(edges)
    what = "folder" if folders_mode else "module"
    cycles = strongly_connected(edges)
    print(f"{len(edges)} {what}s read in {', '.join(folders)}: "
          + (f"{len(cycles)} cycle(s)" if cycles else f"no {what} cycles"))
    for n, members in enumerate(cycles, 1):
        print(f"cycle {n}: {{{', '.join(members)}}}")
        inside = set(members)
        for source in members:
            for target, why in sorted(edges.get(source, {}).items()):
                if target in inside:
                    path, header = why[0]
                    print(f"    {source} -> {target}   ({path} includes {header})")
    return 1 if cycles else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
