#!/usr/bin/env bash
# Builds the fuzz targets of the receive paths (clang, libFuzzer, AddressSanitizer and
# UndefinedBehaviorSanitizer) and runs each for the given number of seconds, side by side (one a core):
#
#     tools/fuzz.sh [update_receive|discovery|all] [SECONDS]      (defaults: all, 60)
#
# Each target starts from its committed seeds (tests/fuzz/corpus/<target>) and from what earlier runs found
# (fuzz-out/<target>/corpus, where new inputs go). An input that crashes, hangs for 10 s or breaks a
# checked property is left in fuzz-out/<target>/ and makes the script fail; turn it into a unit test.
set -euo pipefail
cd "$(dirname "$0")/.."

all=(update_receive discovery)
which=${1:-all}
seconds=${2:-60}
case "$which" in
    all) targets=("${all[@]}") ;;
    update_receive | discovery) targets=("$which") ;;
    *)
        echo "usage: tools/fuzz.sh [update_receive|discovery|all] [SECONDS]" >&2
        exit 2
        ;;
esac
if ! [[ "$seconds" =~ ^[1-9][0-9]*$ ]]; then
    echo "SECONDS must be a positive whole number, not '$seconds'" >&2
    exit 2
fi

tools/deps.sh
cmake --preset fuzz >/dev/null
cmake --build --preset fuzz -j 2 --target "${targets[@]/%/_fuzz}"

echo "== ${targets[*]}: $seconds s"
fuzzers=()
for target in "${targets[@]}"; do
    out="fuzz-out/$target"
    mkdir -p "$out/corpus"
    build-fuzz/bin/"${target}"_fuzz -max_total_time="$seconds" -timeout=10 -print_final_stats=1 \
        -dict=tests/fuzz/"$target".dict -artifact_prefix="$out/" \
        "$out/corpus" tests/fuzz/corpus/"$target" >"$out/log" 2>&1 &
    fuzzers+=($!)
done
failed=0
for i in "${!targets[@]}"; do
    target=${targets[$i]}
    out="fuzz-out/$target"
    echo "== $target"
    if ! wait "${fuzzers[$i]}"; then
        failed=1
        grep -E "^(broken|==[0-9]+==|SUMMARY|artifact_prefix)" "$out/log" >&2 || true
        echo "== $target FAILED: see $out/log" >&2
    fi
    grep -E "^stat::(number_of_executed_units|average_exec_per_sec|peak_rss_mb)" "$out/log"
done
exit "$failed"
