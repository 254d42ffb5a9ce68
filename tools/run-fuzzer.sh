#!/usr/bin/env bash
# Runs one libFuzzer target for a fixed time on a scratch corpus seeded from read-only folders.
#   run-fuzzer.sh TARGET SECONDS [SEED_DIR...]
set -euo pipefail
target=$1
seconds=$2
shift 2
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
seeds=()
for d in "$@"; do
    [ -d "$d" ] && seeds+=("$d")
done
# Findings (crash-*, timeout-*, oom-*) land in the scratch folder; libFuzzer exits non-zero.
exec "$target" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 -print_final_stats=1 \
    -artifact_prefix="$work/" "$work" "${seeds[@]}"
