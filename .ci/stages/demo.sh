# SPDX-License-Identifier: MIT
# shellcheck shell=bash
# stage: the documented commands: the README's demo (its preset hides GoogleTest) and C quick start, docs/messages.md's example
install -- cmake make g++
rm -rf build/demo build/quickstart build/own_messages
quiet demo cmake --workflow --preset demo
grep -q '^CMAKE_DISABLE_FIND_PACKAGE_GTest:.*=ON' build/demo/CMakeCache.txt || fail "the demo preset does not hide GoogleTest"
built=$(grep -oE 'Built target [A-Za-z-]+' build/ci-demo.log | cut -d' ' -f3 | sort | paste -sd' ')
[ "$built" = "run-demo tovakDemo tovakSim tovakWrapper" ] || fail "the demo preset built: $built"
sed -n '/simulated devices, /,/would have taken/p' build/ci-demo.log
# (That its values move as documented, and that docs/messages.md shows examples/own_messages.c
# and its output, are tests of the suite: tests/check_examples.py.)
# The README's command for its C block (which the suite checks is examples/quickstart.c).
command=$(grep -E '^    cc examples/quickstart\.c ' README.md | sed 's/^    //')
[ -n "$command" ] || fail "no quick start command in the README"
echo "\$ $command"
quiet quickstart bash -c "$command"
cat build/ci-quickstart.log
grep -q ' 0.00 0.25 0.50 .* 2.75$' build/ci-quickstart.log || fail "unexpected quick start output"
# docs/messages.md's command builds its example, which checks where its values land.
command=$(grep -E '^    cc examples/own_messages\.c ' docs/messages.md | sed 's/^    //')
[ -n "$command" ] || fail "no build command in docs/messages.md"
echo "\$ $command"
quiet own-messages bash -c "$command"
