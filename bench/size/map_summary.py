"""Sums a GNU ld map file's kept input sections (code, data, unwind tables; no debug sections) by
library and by object file. Usage: python3 map_summary.py MAP [OBJECTS_TO_LIST]"""
import collections
import re
import sys


def main():
    by_object = collections.Counter()
    section = None
    in_map = False
    for line in open(sys.argv[1], encoding="utf-8", errors="replace"):
        # Sections the linker dropped are listed before the memory map; only kept ones count.
        if not in_map:
            in_map = line.startswith("Linker script and memory map")
            continue
        whole = re.match(r"^ (\.\S+)\s+0x[0-9a-f]+\s+0x([0-9a-f]+)\s+(\S+)", line)
        if whole:
            name, size, source = whole.groups()
        else:
            alone = re.match(r"^ (\.\S+)$", line.rstrip())
            if alone:  # a long section name: its address, size and file follow on the next line
                section = alone.group(1)
                continue
            rest = re.match(r"^\s+0x[0-9a-f]+\s+0x([0-9a-f]+)\s+(\S+)", line)
            if not (rest and section):
                continue
            name, (size, source) = section, rest.groups()
        section = None
        if name.startswith(".debug"):
            continue
        member = re.search(r"lib([^/]+)\.a\((.*)\)", source)
        by_object[f"{member.group(1)}:{member.group(2)}" if member else source.split("/")[-1]] += int(size, 16)
    by_library = collections.Counter()
    for key, size in by_object.items():
        by_library[key.split(":")[0]] += size
    print("by library:")
    for key, size in by_library.most_common(12):
        print(f"{size:8d}  {key}")
    print("biggest objects:")
    for key, size in by_object.most_common(int(sys.argv[2]) if len(sys.argv) > 2 else 20):
        print(f"{size:8d}  {key}")


if __name__ == "__main__":
    main()
