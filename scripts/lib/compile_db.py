"""Compile-database helpers for scripts/lint.

  sources BUILD_DIR               the project's src/*.cpp files in BUILD_DIR's database
  test-sources BUILD_DIR          the tests/ and tools/ *.cpp files in BUILD_DIR's database, but
                                  for the files NAMING_EXCLUDED names
  naming-excluded                 the files of NAMING_EXCLUDED, one a line
  clang-mingw MINGW_DIR OUT_DIR   OUT_DIR's database: MINGW_DIR's commands (src/, tests/ and
                                  tools/), compiled by clang++ for x86_64-w64-windows-gnu with
                                  MinGW's libstdc++ headers
  syntax-check BUILD_DIR JOBS     compiles every src/*.cpp of the database, syntax only, with
                                  -Wall -Wextra -Werror; exits 1 when any fails
"""
import concurrent.futures
import glob
import json
import os
import shlex
import subprocess
import sys

ROOT = os.getcwd() + os.sep
SRC = ("src",)
TESTS_AND_TOOLS = ("tests", "tools")

# Files kept out of the naming check of tests/ and tools/, each named exactly; a finding in one
# of them is not reported. None today: every file of tests/ and tools/ is checked.
NAMING_EXCLUDED = ()


def load(build_dir):
    with open(os.path.join(build_dir, "compile_commands.json"), encoding="utf-8") as f:
        return json.load(f)


def project_entries(build_dir, roots=SRC):
    prefixes = tuple(ROOT + root + os.sep for root in roots)
    return [e for e in load(build_dir) if e["file"].startswith(prefixes) and e["file"].endswith(".cpp")]


def clang_mingw(mingw_dir, out_dir):
    # The MinGW compiler's defines, include folders, warnings and standard carry over, so that
    # both compilers see the same code.
    gxx = sorted(glob.glob("/usr/lib/gcc/x86_64-w64-mingw32/*-posix/include/c++"))[-1]
    system = ["-isystem", gxx, "-isystem", gxx + "/x86_64-w64-mingw32", "-isystem", gxx + "/backward"]
    entries = []
    for e in project_entries(mingw_dir, SRC + TESTS_AND_TOOLS):
        args = shlex.split(e["command"])[1:]
        flags = [a for a in args if a.startswith(("-D", "-I", "-W", "-std="))]
        # googletest's headers come in as system headers: "-isystem DIR", two arguments.
        for i, a in enumerate(args[:-1]):
            if a == "-isystem":
                flags += [a, args[i + 1]]
        command = ["clang++", "--target=x86_64-w64-windows-gnu", *system, *flags, "-c", e["file"]]
        entries.append({"directory": e["directory"], "file": e["file"], "command": shlex.join(command)})
    os.makedirs(out_dir, exist_ok=True)
    with open(os.path.join(out_dir, "compile_commands.json"), "w", encoding="utf-8") as f:
        json.dump(entries, f, indent=1)


def syntax_check(build_dir, jobs):
    commands = []
    for e in project_entries(build_dir):
        args = shlex.split(e["command"])[:-2]  # drops "-c FILE"
        commands.append(args + ["-fsyntax-only", "-Wall", "-Wextra", "-Werror", e["file"]])
    with concurrent.futures.ThreadPoolExecutor(jobs) as pool:
        codes = list(pool.map(subprocess.call, commands))
    return 1 if any(codes) else 0


def main(argv):
    if argv[:1] == ["sources"] and len(argv) == 2:
        print("\n".join(sorted({e["file"] for e in project_entries(argv[1])})))
        return 0
    if argv[:1] == ["test-sources"] and len(argv) == 2:
        excluded = {ROOT + f for f in NAMING_EXCLUDED}
        files = {e["file"] for e in project_entries(argv[1], TESTS_AND_TOOLS)} - excluded
        print("\n".join(sorted(files)))
        return 0
    if argv[:1] == ["naming-excluded"] and len(argv) == 1:
        print("\n".join(NAMING_EXCLUDED))
        return 0
    if argv[:1] == ["clang-mingw"] and len(argv) == 3:
        clang_mingw(argv[1], argv[2])
        return 0
    if argv[:1] == ["syntax-check"] and len(argv) == 3:
        return syntax_check(argv[1], int(argv[2]))
    print(__doc__, file=sys.stderr)
    return 2


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
