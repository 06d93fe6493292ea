#!/usr/bin/env python3
"""Checks the layers of src/: a folder includes only folders below it in LAYERS, nothing includes
the top folder (plugin/), no two folders include each other, and only the top folder reaches the
module-wide state (Module()). Prints one line per violation and fails when there is any.

Usage: scripts/check-layers.py [SRC_DIR]   (default: the src/ next to this script)"""
import os
import re
import sys

LAYERS = ["abi", "platform", "engine", "labels", "report", "dialog", "plugin"]  # bottom to top
TOP = LAYERS[-1]
INCLUDE = re.compile(r'^\s*#\s*include\s+"([^"/]+)/')
MODULE_STATE = re.compile(r"\bModule\(\)")

src = sys.argv[1] if len(sys.argv) > 1 else os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "src")
rank = {name: i for i, name in enumerate(LAYERS)}
problems, edges = [], set()
for root, _, names in os.walk(src):
    for name in sorted(n for n in names if n.endswith((".h", ".cpp", ".inc", ".rc"))):
        rel = os.path.relpath(os.path.join(root, name), src).replace(os.sep, "/")
        folder = rel.split("/")[0]
        if folder not in rank:
            problems.append(f"{rel}: {folder}/ has no place in the layers {','.join(LAYERS)}")
            continue
        text = open(os.path.join(root, name), encoding="utf-8", errors="replace").read()
        for line in text.splitlines():
            m = INCLUDE.match(line)
            target = m.group(1) if m else folder
            if target == folder or not os.path.isdir(os.path.join(src, target)):
                continue
            edges.add((folder, target))
            if target == TOP:
                problems.append(f"{rel}: includes {TOP}/, which nothing may include: {line.strip()}")
            elif rank.get(target, len(LAYERS)) > rank[folder]:
                problems.append(f"{rel}: {folder}/ includes {target}/, which is not below it: {line.strip()}")
        if folder != TOP and MODULE_STATE.search(text):
            problems.append(f"{rel}: reaches the module-wide state, which only {TOP}/ may")
problems += [f"cycle: {a}/ and {b}/ include each other" for a, b in sorted(edges) if a < b and (b, a) in edges]
for p in problems:
    print(f"layers: {p}")
print(f"layers: {len(problems)} problem(s) in {os.path.normpath(src)} ({' < '.join(LAYERS)})")
sys.exit(1 if problems else 0)
