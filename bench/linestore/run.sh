#!/usr/bin/env bash
# Runs the line store benchmarks as whole processes under /usr/bin/time, alternating each
# subject with its floor or peer in every round (the order flips every other round), and prints
# the medians and the ratios that the goals are stated in. Then runs the growth micro-benchmark.
#
# usage: bench/linestore/run.sh [BUILD_DIR]     (default build/bench, made with --preset bench)
# environment: SIZE_MIB (256) size of the short-line and random files, LONG_LINES (256) number of
#              1 MiB lines, ROUNDS (7) rounds per program, BASE_BUILD (none) a bench build of the
#              code before a change, whose FileToDBI, DBIToFile, DBIToMetaString and
#              MetaStringToDBI run beside today's.
set -euo pipefail

here=$(cd "$(dirname "$0")" && pwd)
build=${1:-build/bench}
size_mib=${SIZE_MIB:-256}
long_lines=${LONG_LINES:-256}
rounds=${ROUNDS:-7}
bin=$build/bench/linestore
data=$build/data
mkdir -p "$data"

for program in linestore_gen linestore_floor linestore_driver linestore_getline; do
    if [[ ! -x $bin/$program ]]; then
        echo "missing $bin/$program: cmake --preset bench -B $build && cmake --build $build" >&2
        exit 1
    fi
done

short=$data/short-${size_mib}.txt
long=$data/long-${long_lines}.txt
random=$data/random-${size_mib}.bin
small_mib=$(((size_mib + 7) / 8))
small=$data/short-${small_mib}.txt
[[ -f $short ]] || "$bin/linestore_gen" short "$size_mib" "$short"
[[ -f $small ]] || "$bin/linestore_gen" short "$small_mib" "$small"
[[ -f $long ]] || "$bin/linestore_gen" long "$long_lines" "$long"
[[ -f $random ]] || "$bin/linestore_gen" random "$size_mib" "$random"

# label|command: each subject sits next to the floor or peer it is compared with.
cases=(
    "read_S|$bin/linestore_floor read $short"
    "load_S|$bin/linestore_driver load $short"
    "getline_S|$bin/linestore_getline $short"
    "python_S|python3 $here/peer_split.py $short"
    "floorrw_S|$bin/linestore_floor readwrite $short $data/out-floor.txt"
    "save_S|$bin/linestore_driver save $short $data/out-save.txt"
    "copy2_S|$bin/linestore_floor copy $short 2"
    "pack_S|$bin/linestore_driver pack $short"
    "unpack_S|$bin/linestore_driver unpack $short"
    "read_L|$bin/linestore_floor read $long"
    "load_L|$bin/linestore_driver load $long"
    "getline_L|$bin/linestore_getline $long"
    "python_L|python3 $here/peer_split.py $long"
    "copy2_L|$bin/linestore_floor copy $long 2"
    "unpack_L|$bin/linestore_driver unpack $long"
    "floorrw_R|$bin/linestore_floor readwrite $random $data/out-floor.bin"
    "ftsstf_R|$bin/linestore_driver ftsstf $random $data/out-stf.bin"
    "loadsmall_S|$bin/linestore_driver load $small"
)
# With a build of the earlier code, its load, save, pack and unpack sit next to today's: the
# same driver command, labelled OPbase_KIND.
base=${BASE_BUILD:+$BASE_BUILD/bench/linestore}
if [[ -n $base ]]; then
    with_base=()
    for entry in "${cases[@]}"; do
        with_base+=("$entry")
        label=${entry%%|*}
        case $label in
        load_S | load_L | save_S | pack_S | unpack_S | unpack_L)
            command=${entry#*|}
            command=${command/#$bin\/linestore_driver/$base/linestore_driver}
            with_base+=("${label%_*}base_${label##*_}|${command//out-save/out-savebase}")
            ;;
        esac
    done
    cases=("${with_base[@]}")
fi

results=$data/results.txt
: >"$results"
timing=$(mktemp)
trap 'rm -f "$timing" "$data"/out-*' EXIT

echo "machine: $(nproc) cores, $(lscpu | sed -n 's/^Model name: *//p'), load $(cut -d' ' -f1-3 /proc/loadavg)"
echo "files: short $(stat -L -c %s "$short") B, long $(stat -L -c %s "$long") B, random $(stat -L -c %s "$random") B; $rounds rounds"
for ((round = 0; round < rounds; ++round)); do
    order=("${cases[@]}")
    if ((round % 2 == 1)); then
        order=()
        for ((i = ${#cases[@]} - 1; i >= 0; --i)); do order+=("${cases[i]}"); done
    fi
    for entry in "${order[@]}"; do
        label=${entry%%|*}
        read -r -a command <<<"${entry#*|}"
        output=$(/usr/bin/time -f "wall_s=%e maxrss_kib=%M" -o "$timing" "${command[@]}" 2>/dev/null)
        echo "$label $(echo "$output" | tr '\n' ' ') $(cat "$timing")" >>"$results"
    done
    echo "round $((round + 1))/$rounds done, load $(cut -d' ' -f1 /proc/loadavg)"
done

growth=""
if [[ -x $bin/linestore_growth ]]; then
    growth=$data/growth.json
    "$bin/linestore_growth" --benchmark_repetitions="$rounds" \
        --benchmark_report_aggregates_only=true --benchmark_format=json >"$growth" 2>/dev/null
fi

growth_base=""
if [[ -n $base && -x $base/linestore_growth ]]; then
    growth_base=$data/growth-base.json
    "$base/linestore_growth" --benchmark_repetitions="$rounds" --benchmark_filter='BM_MetaStringToDBI/' \
        --benchmark_report_aggregates_only=true --benchmark_format=json >"$growth_base" 2>/dev/null
fi

SMALL_FILE=$small GROWTH_BASE=$growth_base \
    python3 "$here/summarize.py" "$results" "$short" "$long" "$random" "$growth"
echo "load after the run: $(cut -d' ' -f1-3 /proc/loadavg)"
