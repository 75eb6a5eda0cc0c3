#!/usr/bin/env python3
"""Checks the include floors of the build from its compile commands.

- The core (src/core) sees only itself and the shared codec.
- No library below the facade sees src/controller or src/app.
- No peer and nothing shared (peers/, common/) sees any folder under src/.
- A facade header included from a subsystem's source fails to compile.
"""
import json
import os
import shlex
import subprocess
import sys
import tempfile

build, source = (os.path.realpath(p) for p in sys.argv[1:3])
src = os.path.join(source, "src")
commands = json.load(open(os.path.join(build, "compile_commands.json")))


def include_dirs(args, directory):
    dirs = []
    i = 0
    while i < len(args):
        a = args[i]
        for flag in ("-I", "-isystem", "-iquote"):
            if a == flag and i + 1 < len(args):
                dirs.append(args[i + 1])
                i += 1
            elif a.startswith(flag) and len(a) > len(flag):
                dirs.append(a[len(flag):])
        i += 1
    return [os.path.realpath(os.path.join(directory, d)) for d in dirs]


def floor_of(path):
    rel = os.path.relpath(path, source)
    parts = rel.split(os.sep)
    if parts[0] == "src" and len(parts) > 1 and parts[1] != "..":
        return "src/" + parts[1]
    return parts[0]


def under(path, folder):
    return path == folder or path.startswith(folder + os.sep)


problems = []
checked = 0
sample = None
for entry in commands:
    file = os.path.realpath(os.path.join(entry["directory"], entry["file"]))
    if not under(file, source) or under(file, build):
        continue
    args = entry["arguments"] if "arguments" in entry else shlex.split(entry["command"])
    dirs = [d for d in include_dirs(args, entry["directory"]) if under(d, source) and not under(d, build)]
    floor = floor_of(file)
    checked += 1
    for d in dirs:
        seen = floor_of(d) if under(d, src) else os.path.relpath(d, source)
        if floor == "src/core" and seen not in ("src/core", "common/codec"):
            problems.append(f"{os.path.relpath(file, source)}: the core sees {seen}")
        elif floor.startswith("src/") and floor not in ("src/controller", "src/app") \
                and seen in ("src/controller", "src/app"):
            problems.append(f"{os.path.relpath(file, source)}: {floor} sees the facade folder {seen}")
        elif floor in ("peers", "common") and under(d, src):
            problems.append(f"{os.path.relpath(file, source)}: a peer or shared file sees {seen}")
    if floor == "src/lists" and sample is None:
        sample = (entry, args)

if checked == 0:
    sys.exit("no compile commands for the sources: was the build configured here?")

# A facade header from a subsystem: must not compile.
if sample is None:
    problems.append("no compile command for src/lists to try an upward include with")
else:
    entry, args = sample
    with tempfile.TemporaryDirectory() as tmp:
        probe = os.path.join(tmp, "upward.cpp")
        with open(probe, "w") as f:
            f.write('#include "controller.h"\n')
        cmd = [args[0]]
        skip = False
        for a in args[1:]:
            if skip:
                skip = False
                continue
            if a in ("-o", "-c", "-MF", "-MT", "-MQ"):
                skip = True
                continue
            if a in ("-MD", "-MMD") or os.path.realpath(os.path.join(entry["directory"], a)) == \
                    os.path.realpath(os.path.join(entry["directory"], entry["file"])):
                continue
            cmd.append(a)
        cmd += ["-fsyntax-only", probe]
        run = subprocess.run(cmd, cwd=entry["directory"], capture_output=True, text=True)
        if run.returncode == 0:
            problems.append("a source of src/lists compiled with #include \"controller.h\"")
        elif "controller.h" not in run.stderr:
            problems.append("the upward include failed for another reason: " + run.stderr[:400])

for p in problems:
    print("floors: " + p)
print(f"floors: {checked} compile commands checked, {len(problems)} problems")
sys.exit(1 if problems else 0)
