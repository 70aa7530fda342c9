#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# The ABI of both libraries against their committed baselines:
# abi/tovakWrapper.abi (the 49 exported functions) and abi/tovakWrapperCalls.abi
# (miRunCalls), each with the functions' parameter types, every type they reach
# (MessageRecord, MessageMetadata, HighResAngleEntry, IoPinEntry, MiCall, ...:
# sizes, member offsets and types), the SONAME and the needed libraries. Any
# difference abidiff reports fails the check.
#
#   abi/check.sh              build the abi preset (GCC, debug information), compare
#   abi/check.sh --update     rewrite the baselines (a deliberate, versioned change)
#   abi/check.sh --self-test  show that the check fails on a scratch copy whose
#                             miCommandSetLed takes a 64-bit field, whose four
#                             record layouts each have one member moved, whose
#                             miRunCalls takes a 64-bit n and whose MiCall has
#                             two members swapped
# Needs abigail-tools (abidw, abidiff).
set -euo pipefail
cd "$(dirname "$0")/.."
libraries=(tovakWrapper tovakWrapperCalls)

# Builds the libraries from source tree $1 with the abi preset.
build() {
    (cd "$1" && cmake --preset abi >/dev/null && cmake --build --preset abi >/dev/null)
}
# Path of library $2 (a name of $libraries) built from tree $1.
built() {
    readlink -f "$1/build/abi/lib$2.so"
}

# ABI of library $2 (built from tree $1) as XML on stdout: public types only
# (those of include/), no source locations and no build paths, so that
# comments, line numbers and the checkout's place do not show.
dump() {
    abidw --no-show-locs --no-comp-dir-path --no-corpus-path --drop-private-types \
        --exported-interfaces-only --type-id-style hash --headers-dir "$1/include" "$2" \
        | sed "s|path='$1/|path='|"
}

# Compares the ABI of library $2 (a name of $libraries, built from tree $1)
# with its baseline; report in $3.
compare() {
    local current library
    current=$(mktemp --suffix=.abi)
    library=$(built "$1" "$2")
    dump "$1" "$library" >"$current" || { echo "abidw failed on $library" >"$3"; rm -f "$current"; return 1; }
    local status=0
    abidiff "abi/$2.abi" "$current" >"$3" 2>&1 || status=$?
    echo "abidiff exit status $status" >>"$3"
    rm -f "$current"
    return $status
}

case "${1:-}" in
--update)
    build "$PWD"
    for name in "${libraries[@]}"; do
        dump "$PWD" "$(built "$PWD" "$name")" >"abi/$name.abi"
        echo "wrote abi/$name.abi from $(built "$PWD" "$name") ($(grep -c '<elf-symbol ' "abi/$name.abi") functions)"
    done
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
calls = root + '/include/tovakWrapperCalls.h'
# The headers' own compile-time layout checks would stop these builds first.
edit(header, r'(#ifdef __cplusplus\nextern "C" \{)',
     r'#undef MI_LAYOUT_CHECK\n#define MI_LAYOUT_CHECK(cond, name) struct mi_unchecked_##name\n\1')
for path in (calls, root + '/src/MessageCalls.cpp'):
    edit(path, r'(miRunCalls\([^)]*?)uint32_t(\s+n\))', r'\1uint64_t\2')
edit(root + '/src/MessageCalls.cpp', r'std::uint32_t i = 0; i < n;', 'std::uint64_t i = 0; i < n;')
swap_members(calls, 'MiCall', 'count', r'\*records')
for path in (header, root + '/src/MessageInterface.cpp'):
    edit(path, r'(miCommandSetLed\([^)]*?)uint32_t(\s+field\))', r'\1uint64_t\2')
swap_members(header, 'HighResAngleEntry', 'offset', 'padding')
swap_members(header, 'IoPinEntry', 'tag', 'padding')
swap_members(header, 'MessageRecord', r'\*leds', r'\*reserved')
swap_members(header, 'MessageMetadata', r'\*numberedFloatTable', 'opaque1')
PY
    build "$scratch"
    missing=
    for name in "${libraries[@]}"; do
        report=$scratch/abidiff-$name.txt
        if compare "$scratch" "$name" "$report"; then
            echo "self-test FAILED: abidiff found no change in the altered copy of lib$name"; exit 1
        fi
        echo "lib$name:"
        grep -E "^Functions changes summary|offset changed|parameter [0-9] of type|exit status" "$report" | sort | uniq -c
    done
    for name in miCommandSetLed HighResAngleEntry IoPinEntry MessageRecord MessageMetadata; do
        grep -q "$name" "$scratch/abidiff-tovakWrapper.txt" || missing+=" $name"
    done
    for name in miRunCalls MiCall; do
        grep -q "$name" "$scratch/abidiff-tovakWrapperCalls.txt" || missing+=" $name"
    done
    if [ -n "$missing" ]; then
        cat "$scratch"/abidiff-*.txt; echo "self-test FAILED: abidiff's reports do not name:$missing"; exit 1
    fi
    echo "self-test passed: the altered copies fail the check, naming all seven changes"
    ;;
"")
    build "$PWD"
    for name in "${libraries[@]}"; do
        report=build/abi/abidiff-$name.txt
        if ! compare "$PWD" "$name" "$report"; then
            cat "$report"
            echo "ABI differs from abi/$name.abi. If the change is deliberate, raise the version"
            echo "(the minor one while on 0.x) and refresh the baselines: abi/check.sh --update"
            exit 1
        fi
        echo "ABI of $(built "$PWD" "$name") matches abi/$name.abi ($(grep -c '<elf-symbol ' "abi/$name.abi") functions)"
    done
    ;;
*)
    echo "usage: $0 [--update | --self-test]" >&2; exit 2
    ;;
esac
