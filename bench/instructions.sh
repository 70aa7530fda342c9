#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Instructions per message of one accessor per family, counted by callgrind
# (independent of machine load).   Usage: instructions.sh BUILD_DIR [COUNT]
set -euo pipefail
build=$1
count=${2:-4096}
out=$(mktemp)
trap 'rm -f "$out"' EXIT
valgrind --tool=callgrind --callgrind-out-file="$out" "$build/bench/tovakInstructionCount" "$count" 2>/dev/null
# The accessors the driver calls (identical functions may share code, and
# then callgrind names both).
called=$(grep -oE '\bmi[A-Z][A-Za-z0-9]+\(' "$(dirname "$0")/InstructionCount.cpp" | tr -d '(' | grep -v miInitialize | sort -u)
echo "| accessor | instructions per message (count $count) |"
echo "|---|---:|"
callgrind_annotate --inclusive=yes --threshold=100 "$out" 2>/dev/null |
    sed -nE 's/^ *([0-9,]+) .*:(mi[A-Za-z0-9]+) .*/\1 \2/p' |
    grep -wF "$called" | awk -v n="$count" '{ gsub(",", "", $1); printf "| %s | %.2f |\n", $2, $1 / n }' | sort
