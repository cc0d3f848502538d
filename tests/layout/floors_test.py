#!/usr/bin/env python3
"""Every include of the product stays on its floor.

Each folder of product code is one library, named after the folder. A file
may include headers of its own folder and of the project libraries that its
folder's CMakeLists.txt links, directly or through them; anything else is
an include sideways or upwards. A folder whose libraries reach back to
itself is a cycle. Run with the source folder as the argument."""
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

for fault in faults:
    print(fault)
print(f"{len(libraries)} libraries, {len(faults)} includes off their floor")
sys.exit(1 if faults else 0)
