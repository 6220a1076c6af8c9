# Medians per program and the goal ratios, from the lines run.sh collected:
#   LABEL key=value key=value ...
# Every ratio is given twice: on wall time, and on processor time (user + system), which a busy
# machine disturbs less, since waiting for a core does not count.
import json
import os
import statistics
import sys
from collections import defaultdict

results, short, long_, random_, growth = sys.argv[1:6]
small = os.environ.get("SMALL_FILE", "")         # the short-line file at 1/8 the size
growth_base = os.environ.get("GROWTH_BASE", "")  # the growth run of the code before this round
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


sizes = {"S": os.path.getsize(short), "L": os.path.getsize(long_), "R": os.path.getsize(random_)}
small_size = os.path.getsize(small) if small else 1

print()
print(f"{'program':<10} {'op ms':>8} {'range%':>6} {'op CPU ms':>9} {'range%':>6} "
      f"{'maxRSS MiB':>10} {'RSS/file':>8} {'op peak +MiB':>12}")
for label in samples:
    size = sizes[label[-1]]
    print(f"{label:<10} {med(label, 'op_ms'):8.1f} {spread(label, 'op_ms'):6.0f} "
          f"{med(label, 'op_cpu_ms'):9.1f} {spread(label, 'op_cpu_ms'):6.0f} "
          f"{med(label, 'maxrss_kib') / 1024:10.1f} {med(label, 'maxrss_kib') * 1024 / size:8.2f} "
          f"{med(label, 'added_peak_kib') / 1024:12.1f}")
for kind in ("S", "R"):
    label = "floorrw_" + kind
    print(f"{label}: of which the write: {med(label, 'write_ms'):.1f} ms, "
          f"CPU {med(label, 'write_cpu_ms'):.1f} ms")


def check(name, value, goal, unit="x", aside=""):
    verdict = "ok" if value <= goal else "MISSED"
    print(f"  {name:<50} {value:8.2f}{unit}  goal <= {goal}{unit}  {verdict}{aside}")


def paired_ratio(a, key_a, b, key_b):
    """The median over rounds of a's time over b's in the same round. The two ran next to each
    other, so a drift of the machine between rounds (here the cost of a fresh page varies by a
    third over minutes) moves both alike and drops out of the ratio."""
    pairs = [x / y for x, y in zip(samples[a][key_a], samples[b][key_b]) if y > 0]
    return statistics.median(pairs) if pairs else float("nan")


def ratios(name, a, b, goal, key_b="op"):
    for key_a, key, what in (("op_ms", key_b + "_ms", "wall"),
                             ("op_cpu_ms", key_b + "_cpu_ms", "CPU")):
        of_medians = med(a, key_a) / med(b, key)
        check(f"{name} ({what})", paired_ratio(a, key_a, b, key), goal,
              aside=f"  (ratio of the medians {of_medians:.2f}x)")


def maxrss(label):
    return med(label, "maxrss_kib")


def growth_medians(path=None):
    path = growth if path is None else path
    if not path:
        return {}
    with open(path) as f:
        report = json.load(f)
    return {b["run_name"]: b for b in report["benchmarks"] if b.get("aggregate_name") == "median"}


def per_line_ns(medians, name, lines, key):
    entry = medians.get(f"{name}/{lines}")
    return entry[key] * 1000 / entry["lines"] if entry else float("nan")


print("\nGoals of this round (time ratios: the median of the rounds' own ratios; peaks: medians,\n"
      "whole-process max RSS unless named otherwise)")
for kind, name in (("S", "short lines"), ("L", "1 MiB lines")):
    ratios(f"FileToDBI {name} / getline loader", "load_" + kind, "getline_" + kind, 1.0)
    check(f"FileToDBI {name} peak / getline loader peak",
          maxrss("load_" + kind) / maxrss("getline_" + kind), 1.0)
ratios("FileToDBI short lines / read floor", "load_S", "read_S", 4.0)
ratios("FileToDBI 1 MiB lines / read floor", "load_L", "read_L", 2.5)
for kind, name in (("S", "short lines"), ("L", "1 MiB lines")):
    label = "load_" + kind
    check(f"FileToDBI {name}: added peak - UTF-16 text",
          (med(label, "added_peak_kib") - med(label, "text_kib")) / 1024, 2.0, " MiB")
    check(f"FileToDBI {name}: added peak - what the store holds",
          (med(label, "added_peak_kib") - med(label, "held_kib")) / 1024, 2.0, " MiB")
ratios("FTS+STF / read-and-write floor", "ftsstf_R", "floorrw_R", 1.8)
check("FTS+STF peak memory / file", maxrss("ftsstf_R") * 1024 / sizes["R"], 2.05)
# The whole process also holds the C++ runtime (about 3 MiB; the C floor's runtime is 1 MiB).
check("FTS+STF peak the operation adds / file",
      med("ftsstf_R", "added_peak_kib") * 1024 / sizes["R"], 2.05)
medians = growth_medians()
base_medians = growth_medians(growth_base)
for key, what in (("real_time", "wall"), ("cpu_time", "CPU")):
    check(f"MetaStringToDBI ns/line at 1e5, cold heap ({what})",
          per_line_ns(medians, "BM_MetaStringToDBI", 100000, key), 100.0, " ns")
    if base_medians:
        ns = per_line_ns(base_medians, "BM_MetaStringToDBI", 100000, key)
        print(f"    (the same before this round: {ns:.1f} ns)")
    # A cold cut must first touch the fresh pages its lines land in; what it costs above
    # touching as much fresh memory is the cut's own work.
    floor = per_line_ns(medians, "BM_FreshPagesFloor", 100000, key)
    print(f"    (touching as much fresh memory as its lines take, alone: {floor:.1f} ns)")
    check(f"MetaStringToDBI ns/line at 1e5, cold heap, above that floor ({what})",
          per_line_ns(medians, "BM_MetaStringToDBI", 100000, key) - floor, 100.0, " ns")
if "savebase_S" in samples:
    for label, name in (("load_S", "FileToDBI short lines"), ("load_L", "FileToDBI 1 MiB lines"),
                        ("save_S", "DBIToFile"), ("pack_S", "DBIToMetaString"),
                        ("unpack_S", "MetaStringToDBI short lines"),
                        ("unpack_L", "MetaStringToDBI 1 MiB lines")):
        base = label.replace("_", "base_")
        if base in samples:
            ratios(f"{name} / the code before", label, base, 1.0)
    for label, name in (("load_S", "short lines"), ("load_L", "1 MiB lines")):
        base = label.replace("_", "base_")
        if base in samples:
            check(f"FileToDBI {name} peak / the code before's", maxrss(label) / maxrss(base), 1.0)
else:
    print("  (FileToDBI, DBIToFile, DBIToMetaString, MetaStringToDBI against the code before: "
          "set BASE_BUILD to compare)")
for key, what in (("real_time", "wall"), ("cpu_time", "CPU")):
    small = per_line_ns(medians, "BM_MetaStringToDBI", 10000, key)
    large = per_line_ns(medians, "BM_MetaStringToDBI", 100000, key)
    check(f"linear: MetaStringToDBI per line, 1e5 over 1e4 lines ({what})", large / small, 1.2)
check("linear: FileToDBI per byte, short lines, the file over 1/8 of it (CPU)",
      (med("load_S", "op_cpu_ms") / sizes["S"]) / (med("loadsmall_S", "op_cpu_ms") / small_size)
      if "loadsmall_S" in samples else float("nan"), 1.2)

print("\nEarlier goals")
ratios("FileToDBI short lines / read floor", "load_S", "read_S", 7.5)
check("FileToDBI short lines peak memory / file", maxrss("load_S") * 1024 / sizes["S"], 4.1)
ratios("FileToDBI 1 MiB lines / read floor", "load_L", "read_L", 3.5)
ratios("DBIToFile / write floor (same fsync)", "save_S", "floorrw_S", 2.0, "write")
check("DBIToFile added peak memory", med("save_S", "added_peak_kib") / 1024, 1.0, " MiB")
ratios("DBIToMetaString / copy floor", "pack_S", "copy2_S", 2.0)
ratios("MetaStringToDBI short lines / copy floor", "unpack_S", "copy2_S", 6.0)
ratios("MetaStringToDBI 1 MiB lines / copy floor", "unpack_L", "copy2_L", 1.5)
print("Peers: FileToDBI time over the peer's (below 1: the line store is faster), wall / CPU")
for peer in ("getline", "python"):
    for kind in ("S", "L"):
        a, b = "load_" + kind, peer + "_" + kind
        print(f"  {b:<10} {med(a, 'op_ms') / med(b, 'op_ms'):5.2f}x / "
              f"{med(a, 'op_cpu_ms') / med(b, 'op_cpu_ms'):5.2f}x")

if medians:
    print("Growth of MetaStringToDBI (Google Benchmark medians; times in microseconds)")
    for name in ("BM_MetaStringToDBI", "BM_FreshPagesFloor", "BM_MetaStringToDBI_WarmHeap"):
        for lines in (10000, 100000):
            entry = medians.get(f"{name}/{lines}")
            if entry is None:
                continue
            print(f"  {name}/{lines}: wall {entry['real_time']:.0f} us "
                  f"({entry['real_time'] * 1000 / lines:.1f} ns/line), CPU {entry['cpu_time']:.0f} us "
                  f"({entry['cpu_time'] * 1000 / lines:.1f} ns/line)")
