# SPDX-License-Identifier: MIT
# shellcheck shell=bash
# stage: the README: the demo command (its preset hides GoogleTest), then the C quick start with its command against that build
install -- cmake make g++
rm -rf build/demo build/quickstart
quiet demo cmake --workflow --preset demo
grep -q '^CMAKE_DISABLE_FIND_PACKAGE_GTest:.*=ON' build/demo/CMakeCache.txt || fail "the demo preset does not hide GoogleTest"
built=$(grep -oE 'Built target [A-Za-z-]+' build/ci-demo.log | cut -d' ' -f3 | sort | paste -sd' ')
[ "$built" = "run-demo tovakDemo tovakSim tovakWrapper" ] || fail "the demo preset built: $built"
grep -A 16 '^device ' build/ci-demo.log
grep -q 'one call per device would have taken' build/ci-demo.log || fail "the demo did not say what it did"
# The README's command for its C block (which the suite checks is examples/quickstart.c).
command=$(grep -E '^    cc examples/quickstart\.c ' README.md | sed 's/^    //')
[ -n "$command" ] || fail "no quick start command in the README"
echo "\$ $command"
quiet quickstart bash -c "$command"
cat build/ci-quickstart.log
grep -q ' 0.00 0.25 0.50 .* 2.75$' build/ci-quickstart.log || fail "unexpected quick start output"
