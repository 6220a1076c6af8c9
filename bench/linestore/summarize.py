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


def check(name, value, goal, unit="x"):
    verdict = "ok" if value <= goal else "MISSED"
    print(f"  {name:<50} {value:8.2f}{unit}  goal <= {goal}{unit}  {verdict}")


def ratios(name, a, b, goal, key_b="op"):
    check(name + " (wall)", med(a, "op_ms") / med(b, key_b + "_ms"), goal)
    check(name + " (CPU)", med(a, "op_cpu_ms") / med(b, key_b + "_cpu_ms"), goal)


print("\nGoals (medians; memory is whole-process max RSS over file size)")
ratios("FileToDBI short lines / read floor", "load_S", "read_S", 7.5)
print("  (stretch goal for the same ratio: 4x)")
check("FileToDBI short lines peak memory / file",
      med("load_S", "maxrss_kib") * 1024 / sizes["S"], 4.1)
ratios("FileToDBI 1 MiB lines / read floor", "load_L", "read_L", 3.5)
ratios("DBIToFile / write floor (same fsync)", "save_S", "floorrw_S", 2.0, "write")
check("DBIToFile added peak memory", med("save_S", "added_peak_kib") / 1024, 1.0, " MiB")
ratios("DBIToMetaString / copy floor", "pack_S", "copy2_S", 2.0)
ratios("MetaStringToDBI short lines / copy floor", "unpack_S", "copy2_S", 6.0)
ratios("MetaStringToDBI 1 MiB lines / copy floor", "unpack_L", "copy2_L", 1.5)
ratios("FTS+STF / read-and-write floor", "ftsstf_R", "floorrw_R", 1.8)
check("FTS+STF peak memory / file", med("ftsstf_R", "maxrss_kib") * 1024 / sizes["R"], 2.05)
print("Peers: FileToDBI time over the peer's (below 1: the line store is faster), wall / CPU")
for peer in ("getline", "python"):
    for kind in ("S", "L"):
        a, b = "load_" + kind, peer + "_" + kind
        print(f"  {b:<10} {med(a, 'op_ms') / med(b, 'op_ms'):5.2f}x / "
              f"{med(a, 'op_cpu_ms') / med(b, 'op_cpu_ms'):5.2f}x")

if growth:
    with open(growth) as f:
        report = json.load(f)
    medians = {b["run_name"]: b for b in report["benchmarks"] if b.get("aggregate_name") == "median"}
    print("Growth of MetaStringToDBI (Google Benchmark medians; times in microseconds)")
    for name in ("BM_MetaStringToDBI", "BM_MetaStringToDBI_WarmHeap"):
        small = medians.get(name + "/10000")
        large = medians.get(name + "/100000")
        if small is None or large is None:
            continue
        for entry in (small, large):
            lines = entry["lines"]
            print(f"  {name}/{int(lines)}: wall {entry['real_time']:.0f} us "
                  f"({entry['real_time'] * 1000 / lines:.1f} ns/line), CPU {entry['cpu_time']:.0f} us "
                  f"({entry['cpu_time'] * 1000 / lines:.1f} ns/line)")
        check(name + " 1e5 / 1e4 (wall)", large["real_time"] / small["real_time"], 12.0)
        check(name + " 1e5 / 1e4 (CPU)", large["cpu_time"] / small["cpu_time"], 12.0)
        check(name + " ns/line at 1e5 (wall)", large["real_time"] * 1000 / large["lines"], 100.0, " ns")
        check(name + " ns/line at 1e5 (CPU)", large["cpu_time"] * 1000 / large["lines"], 100.0, " ns")
