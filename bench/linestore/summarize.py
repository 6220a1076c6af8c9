# Medians per program and the goal ratios, from the lines run.sh collected:
#   LABEL key=value key=value ...
import json
import os
import statistics
import sys
from collections import defaultdict

results, short, long_, random_, growth = sys.argv[1:6]
samples = defaultdict(lambda: defaultdict(list))
with open(results) as f:
    for line in f:
        fields = line.split()
        for pair in fields[1:]:
            if "=" in pair:
                key, value = pair.split("=", 1)
                samples[fields[0]][key].append(float(value))


def med(label, key):
    values = samples[label][key]
    return statistics.median(values) if values else float("nan")


def spread(label, key):
    values = samples[label][key]
    if len(values) < 2:
        return 0.0
    return (max(values) - min(values)) / statistics.median(values) * 100.0


mib = 1024.0 * 1024.0
sizes = {"S": os.path.getsize(short), "L": os.path.getsize(long_), "R": os.path.getsize(random_)}

print()
print(f"{'program':<10} {'op ms':>9} {'range%':>7} {'wall s':>7} {'maxRSS MiB':>10} "
      f"{'RSS/file':>8} {'op peak +MiB':>12}")
for label in samples:
    size = sizes[label[-1]]
    print(f"{label:<10} {med(label, 'op_ms'):9.1f} {spread(label, 'op_ms'):7.0f} "
          f"{med(label, 'wall_s'):7.2f} {med(label, 'maxrss_kib') / 1024:10.1f} "
          f"{med(label, 'maxrss_kib') * 1024 / size:8.2f} "
          f"{med(label, 'added_peak_kib') / 1024:12.1f}")


def check(name, value, goal, unit="x"):
    verdict = "ok" if value <= goal else "MISSED"
    print(f"  {name:<58} {value:8.2f}{unit}  goal <= {goal}{unit}  {verdict}")


def ratio(a, b, key_a="op_ms", key_b="op_ms"):
    return med(a, key_a) / med(b, key_b)


print("\nGoals (medians of op times; memory is whole-process max RSS over file size)")
check("FileToDBI short lines / read floor", ratio("load_S", "read_S"), 7.5)
check("FileToDBI short lines / read floor (stretch)", ratio("load_S", "read_S"), 4.0)
check("FileToDBI short lines peak memory / file",
      med("load_S", "maxrss_kib") * 1024 / sizes["S"], 4.1)
check("FileToDBI 1 MiB lines / read floor", ratio("load_L", "read_L"), 3.5)
check("DBIToFile / write-from-one-buffer floor (same fsync)",
      ratio("save_S", "floorrw_S", "op_ms", "write_ms"), 2.0)
check("DBIToFile added peak memory", med("save_S", "added_peak_kib") / 1024, 1.0, " MiB")
check("DBIToMetaString / copy floor", ratio("pack_S", "copy2_S"), 2.0)
check("MetaStringToDBI short lines / copy floor", ratio("unpack_S", "copy2_S"), 6.0)
check("MetaStringToDBI 1 MiB lines / copy floor", ratio("unpack_L", "copy2_L"), 1.5)
check("FTS+STF / read-and-write floor", ratio("ftsstf_R", "floorrw_R"), 1.8)
check("FTS+STF peak memory / file", med("ftsstf_R", "maxrss_kib") * 1024 / sizes["R"], 2.05)
print("Peers (FileToDBI over peer, op times; below 1 means the line store is faster)")
for peer in ("getline", "python"):
    for kind in ("S", "L"):
        print(f"  FileToDBI / {peer}_{kind}: {ratio('load_' + kind, peer + '_' + kind):.2f}x")

if growth:
    with open(growth) as f:
        report = json.load(f)
    medians = {b["run_name"]: b for b in report["benchmarks"] if b.get("aggregate_name") == "median"}
    small = medians["BM_MetaStringToDBI/10000"]
    large = medians["BM_MetaStringToDBI/100000"]
    print("Growth (Google Benchmark medians)")
    # Times are in microseconds. On a busy machine the wall time also counts waiting for a
    # core, so the CPU time is shown beside it.
    def per_line(entry, key):
        return entry[key] * 1000.0 / entry["lines"]

    for entry in (small, large):
        print(f"  {int(entry['lines']):>6} lines: wall {entry['real_time']:9.0f} us "
              f"({per_line(entry, 'real_time'):6.1f} ns/line), CPU {entry['cpu_time']:9.0f} us "
              f"({per_line(entry, 'cpu_time'):6.1f} ns/line)")
    check("MetaStringToDBI 1e5 lines / 1e4 lines (wall)", large["real_time"] / small["real_time"], 12.0)
    check("MetaStringToDBI 1e5 lines / 1e4 lines (CPU)", large["cpu_time"] / small["cpu_time"], 12.0)
    check("MetaStringToDBI ns per line at 1e5 (wall)", per_line(large, "real_time"), 100.0, " ns")
    check("MetaStringToDBI ns per line at 1e5 (CPU)", per_line(large, "cpu_time"), 100.0, " ns")
