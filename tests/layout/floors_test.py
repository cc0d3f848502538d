#!/usr/bin/env python3
"""Every include of the product stays on its floor.

Each folder of product code is one library, named after the folder. A file
may include headers of its own folder and of the project libraries that its
folder's CMakeLists.txt links, directly or through them; anything else is
an include sideways or upwards. A folder whose libraries reach back to
itself is a cycle. HACKING.md's table of floors must hold every library,
each on a floor above every library it links, and its drawing of the
floors must say the same. Run with the source folder as the argument."""
import pathlib
import re
import sys

root = pathlib.Path(sys.argv[1] if len(sys.argv) > 1 else ".").resolve()
top = (root / "CMakeLists.txt").read_text()
folders = re.findall(r"^add_subdirectory\((\w+)\)", top, re.M)
libraries = {}
for folder in folders:
    text = (root / folder / "CMakeLists.txt").read_text()
    if not re.search(r"add_library\(%s\b" % folder, text):
        continue
    links = set()
    for body in re.findall(r"target_link_libraries\(%s\b([^)]*)\)" % folder, text):
        links |= set(body.split())
    libraries[folder] = links

direct = {f: {l for l in links if l in libraries} for f, links in libraries.items()}


def reach(folder):
    seen, todo = set(), list(direct[folder])
    while todo:
        lib = todo.pop()
        if lib not in seen:
            seen.add(lib)
            todo.extend(direct[lib])
    return seen


faults = []
for folder in libraries:
    allowed = reach(folder)
    if folder in allowed:
        faults.append(f"{folder}/ links itself through {sorted(allowed)}: a cycle")
    for path in sorted((root / folder).rglob("*")):
        if path.suffix not in (".h", ".cpp"):
            continue
        for number, line in enumerate(path.read_text(errors="replace").splitlines(), 1):
            m = re.match(r'\s*#\s*include\s+"(\w+)/', line)
            if m and m.group(1) in libraries and m.group(1) != folder and m.group(1) not in allowed:
                faults.append(f"{path.relative_to(root)}:{number}: includes {m.group(1)}/, "
                              f"which {folder}/ does not link")

# The floors HACKING.md states: its table, and the drawing above it.
hacking = (root / "HACKING.md").read_text()
stated = {}
for number, folder in re.findall(r"^\| (\d+) \| `(\w+)/` \|", hacking, re.M):
    stated[folder] = int(number)
drawn = {}
for number, names in re.findall(r"^floor (\d+) +(.*)$", hacking, re.M):
    for name in names.split():
        drawn[name] = int(number)
for folder in sorted(set(libraries) | set(stated)):
    if folder not in libraries:
        faults.append(f"HACKING.md puts {folder}/ on floor {stated[folder]}, but there is no such library")
    elif folder not in stated:
        faults.append(f"{folder}/ is missing from HACKING.md's table of floors")
    elif drawn.get(folder) != stated[folder]:
        faults.append(f"HACKING.md's drawing puts {folder}/ on floor {drawn.get(folder)}, "
                      f"its table on floor {stated[folder]}")
for folder, links in sorted(direct.items()):
    for lib in sorted(links):
        if folder in stated and lib in stated and stated[lib] >= stated[folder]:
            faults.append(f"{folder}/ (floor {stated[folder]}) links {lib}/ on floor {stated[lib]}, "
                          f"which is not below it")

for fault in faults:
    print(fault)
print(f"{len(libraries)} libraries, {len(faults)} faults of the floors")
sys.exit(1 if faults else 0)
