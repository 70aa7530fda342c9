# SPDX-License-Identifier: MIT
# shellcheck shell=bash
# stage: the README: the demo command (its preset hides GoogleTest), then the C quick start against that build
install -- cmake make g++ python3
rm -rf build/demo build/quickstart
quiet demo cmake --workflow --preset demo
grep -q '^CMAKE_DISABLE_FIND_PACKAGE_GTest:.*=ON' build/demo/CMakeCache.txt \
    || { echo "the demo preset does not hide GoogleTest"; exit 1; }
built=$(grep -oE 'Built target [A-Za-z-]+' build/ci-demo.log | cut -d' ' -f3 | sort | paste -sd' ')
[ "$built" = "run-demo tovakDemo tovakSim tovakWrapper" ] || { echo "the demo preset built: $built"; exit 1; }
grep -A 16 '^device ' build/ci-demo.log
grep -q 'one call per device would have taken' build/ci-demo.log || { echo "the demo did not say what it did"; exit 1; }
# The README shows examples/quickstart.c whole, then the one command that builds and runs it.
/usr/bin/python3 - README.md examples/quickstart.c <<'EOF' || exit 1
import re, sys
readme, source = (open(name).read() for name in sys.argv[1:])
if re.findall(r'```c\n(.*?)```', readme, re.S) != [source]:
    sys.exit("the README's C block is not examples/quickstart.c")
EOF
command=$(grep -E '^    cc examples/quickstart\.c ' README.md | sed 's/^    //')
[ -n "$command" ] || { echo "no quick start command in the README"; exit 1; }
echo "\$ $command"
quiet quickstart bash -c "$command"
cat build/ci-quickstart.log
grep -q ' 0.00 0.25 0.50 .* 2.75$' build/ci-quickstart.log || { echo "unexpected quick start output"; exit 1; }
