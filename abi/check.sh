#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# The library's ABI against the committed baseline abi/tovakWrapper.abi:
# the 49 exported functions with their parameter types, every type they reach
# (MessageRecord, MessageMetadata, HighResAngleEntry, IoPinEntry, ...: sizes,
# member offsets and types), the SONAME and the needed libraries. Any
# difference abidiff reports fails the check.
#
#   abi/check.sh              build the abi preset (GCC, debug information), compare
#   abi/check.sh --update     rewrite the baseline (a deliberate, versioned change)
#   abi/check.sh --self-test  show that the check fails on a scratch copy whose
#                             miCommandSetLed takes a 64-bit field and whose four
#                             record layouts each have one member moved
# Needs abigail-tools (abidw, abidiff).
set -euo pipefail
cd "$(dirname "$0")/.."
baseline=abi/tovakWrapper.abi

# Builds the library from source tree $1 with the abi preset; prints its path.
build() {
    (cd "$1" && cmake --preset abi >/dev/null && cmake --build --preset abi >/dev/null) || return 1
    readlink -f "$1/build/abi/libtovakWrapper.so"
}

# ABI of library $2 (built from tree $1) as XML on stdout: public types only
# (those of include/), no source locations and no build paths, so that
# comments, line numbers and the checkout's place do not show.
dump() {
    abidw --no-show-locs --no-comp-dir-path --no-corpus-path --drop-private-types \
        --exported-interfaces-only --type-id-style hash --headers-dir "$1/include" "$2" \
        | sed "s|path='$1/|path='|"
}

# Compares the ABI of library $2 (from tree $1) with the baseline; report in $3.
compare() {
    local current
    current=$(mktemp --suffix=.abi)
    dump "$1" "$2" >"$current" || { echo "abidw failed on $2" >"$3"; rm -f "$current"; return 1; }
    local status=0
    abidiff "$baseline" "$current" >"$3" 2>&1 || status=$?
    echo "abidiff exit status $status" >>"$3"
    rm -f "$current"
    return $status
}

case "${1:-}" in
--update)
    library=$(build "$PWD")
    dump "$PWD" "$library" >"$baseline"
    echo "wrote $baseline from $library ($(grep -c '<elf-symbol ' "$baseline") functions)"
    ;;
--self-test)
    scratch=$(mktemp -d)
    trap 'rm -rf "$scratch"' EXIT
    git ls-files -z | xargs -0 cp --parents -t "$scratch"
    python3 - "$scratch" <<'PY'
import re, sys
root = sys.argv[1]

def edit(path, pattern, replacement):
    text = open(path).read()
    new, n = re.subn(pattern, replacement, text, flags=re.S)
    if n != 1:
        sys.exit(f"self-test: {pattern!r} matched {n} times in {path}")
    open(path, 'w').write(new)

def swap_members(header, struct, first, second):
    # Swap the declaration lines of two members of `typedef struct struct {...}`.
    text = open(header).read()
    m = re.search(r'typedef struct %s \{\n(.*?)\n\} %s;' % (struct, struct), text, re.S)
    if not m:
        sys.exit(f"self-test: struct {struct} not found")
    lines = m.group(1).split('\n')
    index = lambda name: next(i for i, l in enumerate(lines) if re.search(r'(?<![A-Za-z0-9_])%s;' % name, l))
    i, j = index(first), index(second)
    lines[i], lines[j] = lines[j], lines[i]
    open(header, 'w').write(text[:m.start(1)] + '\n'.join(lines) + text[m.end(1):])

header = root + '/include/tovakWrapper.h'
# The header's own compile-time layout checks would stop these builds first.
edit(header, r'(#ifdef __cplusplus\nextern "C" \{)',
     r'#undef MI_LAYOUT_CHECK\n#define MI_LAYOUT_CHECK(cond, name) struct mi_unchecked_##name\n\1')
for path in (header, root + '/src/MessageInterface.cpp'):
    edit(path, r'(miCommandSetLed\([^)]*?)uint32_t(\s+field\))', r'\1uint64_t\2')
swap_members(header, 'HighResAngleEntry', 'offset', 'padding')
swap_members(header, 'IoPinEntry', 'tag', 'padding')
swap_members(header, 'MessageRecord', r'\*leds', r'\*reserved')
swap_members(header, 'MessageMetadata', r'\*numberedFloatTable', 'opaque1')
PY
    library=$(build "$scratch")
    report=$scratch/abidiff.txt
    if compare "$scratch" "$library" "$report"; then
        echo "self-test FAILED: abidiff found no change in the altered copy"; exit 1
    fi
    missing=
    for name in miCommandSetLed HighResAngleEntry IoPinEntry MessageRecord MessageMetadata; do
        grep -q "$name" "$report" || missing+=" $name"
    done
    grep -E "^Functions changes summary|offset changed|parameter 4 of type|exit status" "$report" | sort | uniq -c
    if [ -n "$missing" ]; then
        cat "$report"; echo "self-test FAILED: abidiff's report does not name:$missing"; exit 1
    fi
    echo "self-test passed: the altered copy fails the check, naming all five changes"
    ;;
"")
    library=$(build "$PWD")
    report=build/abi/abidiff.txt
    if ! compare "$PWD" "$library" "$report"; then
        cat "$report"
        echo "ABI differs from $baseline. If the change is deliberate, raise the version"
        echo "(the minor one while on 0.x) and refresh the baseline: abi/check.sh --update"
        exit 1
    fi
    echo "ABI of $library matches $baseline ($(grep -c '<elf-symbol ' "$baseline") functions)"
    ;;
*)
    echo "usage: $0 [--update | --self-test]" >&2; exit 2
    ;;
esac
