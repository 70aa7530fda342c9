# SPDX-License-Identifier: MIT
# shellcheck shell=bash
# stage: Python package: pip install, bundled RUNPATHs, tests, mypy, examples, fuzz under valgrind, one abi3 wheel
install -- cmake ninja-build g++ binutils valgrind libc6-dbg python3-dev python3-numpy python3-venv \
    python3-setuptools python3-pip python3-wheel python3-hypothesis python3-mypy
# Debian's packages are for /usr/bin/python3, which need not be the first python3 on PATH.
/usr/bin/python3 -c 'import numpy, hypothesis' || { echo "numpy or hypothesis does not import in /usr/bin/python3"; exit 1; }
work=$(mktemp -d)
rm -rf python/build python/*.egg-info

step "pip install ./python (the README's command): the libraries and the extension module, bundled"
/usr/bin/python3 -m venv --system-site-packages "$work/venv"
quiet python-install "$work/venv/bin/pip" install --no-build-isolation ./python
tail -n 1 build/ci-python-install.log
package=$("$work/venv/bin/python" -c 'import os, tovakwrapper; print(os.path.dirname(tovakwrapper.__file__))')
# Each bundled file finds its neighbours through $ORIGIN and nowhere else.
for file in "$package"/*.so*; do
    paths=$(readelf -d "$file" | sed -nE 's/.*\((RPATH|RUNPATH)\).*\[(.*)\]$/\1 \2/p' | paste -sd' ')
    # shellcheck disable=SC2016  # $ORIGIN is the loader's, not the shell's
    [ "$paths" = 'RUNPATH $ORIGIN' ] || { echo "$file: '$paths', not RUNPATH \$ORIGIN alone"; exit 1; }
done
echo "bundled, each with RUNPATH \$ORIGIN alone: $(cd "$package" && printf '%s ' ./*.so* | sed 's#\./##g')"

step "tests (the property-based test from a fixed seed), mypy, the examples"
TOVAK_FUZZ_EXAMPLES=400 quiet python "$work/venv/bin/python" -m unittest discover -s python/tests -v
grep -E '^Ran |^OK|FAILED' build/ci-python.log
! grep -q 'skipped' build/ci-python.log || { grep 'skipped' build/ci-python.log; echo "some Python tests were skipped"; exit 1; }
quiet python-mypy /usr/bin/python3 -m mypy python/tovakwrapper
tail -n 1 build/ci-python-mypy.log
# The control loop exits with 1 unless its values move as the simulated devices answer.
quiet python-example "$work/venv/bin/python" examples/control_loop.py
cat build/ci-python-example.log
# The own-messages example prints what docs/messages.md shows, the C example's output.
"$work/venv/bin/python" tests/check_examples.py python-output docs/messages.md examples/own_messages.py

step "the property-based test under valgrind"
# PYTHONMALLOC=malloc lets memcheck see every Python allocation (array
# buffers included) instead of the interpreter's own arenas. valgrind reads
# the suppressions of .ci/valgrind.supp through the root's .valgrindrc.
TOVAK_FUZZ_EXAMPLES=15 TOVAK_FUZZ_NO_SHRINK=1 PYTHONMALLOC=malloc quiet python-valgrind \
    valgrind -q --error-exitcode=1 \
    "$work/venv/bin/python" -m unittest python/tests/test_fuzz.py
grep -E '^Ran |^OK' build/ci-python-valgrind.log

step "pip wheel: one abi3 wheel, installed into an environment elsewhere"
quiet python-wheel /usr/bin/python3 -m pip wheel --no-build-isolation --no-deps ./python -w "$work/wheels"
wheels=("$work"/wheels/*.whl)
if [ "${#wheels[@]}" != 1 ] || [[ "${wheels[0]}" != *-cp311-abi3-linux_*.whl ]]; then
    echo "expected one cp311-abi3 wheel, got: ${wheels[*]}"; exit 1
fi
echo "wheel: $(basename "${wheels[0]}"), holding" \
    "$(/usr/bin/python3 -m zipfile -l "${wheels[0]}" | grep -oE '[A-Za-z0-9_.]+\.so[.0-9]*' | paste -sd' ')"
/usr/bin/python3 -m venv --system-site-packages "$work/elsewhere/env"
quiet python-wheel-install "$work/elsewhere/env/bin/pip" install --no-index "${wheels[0]}"
for env in venv elsewhere/env; do
    (cd "$work" && env -u PYTHONPATH "$env/bin/python" "$OLDPWD/python/tests/check_installed.py" "$env" \
        "$OLDPWD/README.md" "$OLDPWD/docs/python.md") || { echo "the Python package installed in $env failed"; exit 1; }
done
rm -rf "$work" python/build python/*.egg-info
