# SPDX-License-Identifier: MIT
# shellcheck shell=bash
# stage: Python host: tests, the property-based test under valgrind, pip install and pip wheel
install -- cmake ninja-build g++ libgtest-dev binutils pkgconf valgrind python3-numpy python3-venv python3-setuptools \
    python3-pip python3-wheel python3-hypothesis python3-mypy
quiet python-library cmake --workflow --preset release
# Debian's numpy is for /usr/bin/python3, which need not be the first python3 on PATH.
/usr/bin/python3 -c 'import numpy, hypothesis' || { echo "numpy or hypothesis does not import in /usr/bin/python3"; exit 1; }
# The property-based test runs a fixed number of examples from a fixed seed.
TOVAK_FUZZ_EXAMPLES=400 TOVAK_WRAPPER_LIBRARY="$PWD/build/release/libtovakWrapper.so" PYTHONPATH="$PWD/python" \
    quiet python /usr/bin/python3 -m unittest discover -s python/tests -v
grep -E ' \.\.\. |^Ran |^OK|FAILED' build/ci-python.log
! grep -q 'skipped' build/ci-python.log || { echo "some Python tests were skipped"; exit 1; }
quiet python-mypy /usr/bin/python3 -m mypy python/tovakwrapper
tail -n 1 build/ci-python-mypy.log
# The control-loop example: separate prepared calls and one call list.
TOVAK_WRAPPER_LIBRARY="$PWD/build/release/libtovakWrapper.so" PYTHONPATH="$PWD/python" \
    quiet python-example /usr/bin/python3 examples/control_loop.py
cat build/ci-python-example.log

# PYTHONMALLOC=malloc lets memcheck see every Python allocation (array.array
# buffers included) instead of the interpreter's own arenas.
TOVAK_FUZZ_EXAMPLES=15 PYTHONMALLOC=malloc TOVAK_WRAPPER_LIBRARY="$PWD/build/release/libtovakWrapper.so" \
    PYTHONPATH="$PWD/python" quiet python-valgrind valgrind -q --error-exitcode=1 \
    /usr/bin/python3 -m unittest python/tests/test_fuzz.py
grep -E '^Ran |^OK' build/ci-python-valgrind.log

work=$(mktemp -d)
rm -rf python/build python/*.egg-info
# The README's command, from the root of the tree: the package builds and bundles the library.
/usr/bin/python3 -m venv --system-site-packages "$work/venv"
quiet python-install "$work/venv/bin/pip" install --no-build-isolation ./python
tail -n 1 build/ci-python-install.log
# docs/python.md's wheel, installed into an environment on another path.
quiet python-wheel /usr/bin/python3 -m pip wheel --no-build-isolation --no-deps ./python -w "$work/wheels"
wheel=$(ls "$work"/wheels/*.whl)
echo "wheel: $(basename "$wheel"), holding $(/usr/bin/python3 -m zipfile -l "$wheel" | grep -o 'libtovakWrapper[^ ]*' | paste -sd' ')"
[[ "$wheel" == *-py3-none-linux_*.whl ]] || { echo "not a platform wheel"; exit 1; }
/usr/bin/python3 -m venv --system-site-packages "$work/elsewhere/env"
quiet python-wheel-install "$work/elsewhere/env/bin/pip" install --no-index "$wheel"
for env in venv elsewhere/env; do
    (cd "$work" && env -u TOVAK_WRAPPER_LIBRARY -u PYTHONPATH "$env/bin/python" - "$env" "$OLDPWD/README.md" \
        "$OLDPWD/docs/python.md" <<'EOF'
import contextlib, io, os, re, sys
import tovakwrapper as tw
env = os.path.realpath(sys.argv[1])
package = os.path.dirname(os.path.realpath(tw.__file__))
assert package.startswith(env + os.sep), f'imported {tw.__file__}'
assert os.path.dirname(os.path.realpath(tw.load().path)) == package, f'loaded {tw.load().path}'
print(f'{sys.argv[1]}: tovakwrapper and its library from {package}')
for name in sys.argv[2:]:
    with open(name) as text:
        snippets = re.findall(r'```python\n(.*?)```', text.read(), re.S)
    assert snippets, name
    for snippet in snippets:
        output = io.StringIO()
        with contextlib.redirect_stdout(output):
            exec(compile(snippet, name, 'exec'), {})
    print(f'  {len(snippets)} snippets of {os.path.basename(name)} ran; the last printed:',
          output.getvalue().strip().replace('\n', ' | '))
EOF
    ) || { echo "the Python package installed in $env failed"; exit 1; }
done
rm -rf "$work" python/build python/*.egg-info
