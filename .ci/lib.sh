# SPDX-License-Identifier: MIT
# shellcheck shell=bash
# Helpers for the CI stages (.ci/stages/*.sh), sourced by each stage; the
# working directory is the root of the tree.

export DEBIAN_FRONTEND=noninteractive
mkdir -p build

# install [apt-get options...] -- PACKAGE...: installs, as root, the Debian
# packages that are not installed yet (apt-get update first, once per stage).
install() {
    local options=() missing=() p
    while [ "$1" != -- ]; do options+=("$1"); shift; done
    shift
    for p in "$@"; do
        dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
    done
    ((${#missing[@]})) || return 0
    echo "installing: ${missing[*]}"
    if [ -z "${TOVAK_CI_APT_UPDATED:-}" ]; then apt-get update -qq; TOVAK_CI_APT_UPDATED=1; fi
    apt-get install -y -qq "${options[@]}" "${missing[@]}" >/dev/null
}

# quiet NAME COMMAND...: runs COMMAND with its output in build/ci-NAME.log,
# which is printed whole only if COMMAND fails (and then the stage fails).
quiet() {
    local log="build/ci-$1.log"
    shift
    "$@" >"$log" 2>&1 || { cat "$log"; echo "failed: $* (log: $log)"; return 1; }
}

# step TEXT: a heading inside a stage's output.
step() { echo "-- $*"; }

# fail TEXT: says why, and fails the stage.
fail() {
    echo "$*" >&2
    exit 1
}

# workflow PRESET: cmake --workflow --preset PRESET (configure, build and, if
# the preset has them, the tests), quiet; then one line: what passed, how long.
workflow() {
    local t=$SECONDS
    quiet "$1" cmake --workflow --preset "$1"
    echo "$1: $(grep -oE '[0-9]+% tests passed.*' "build/ci-$1.log" || echo built) ($((SECONDS - t)) s)"
}
