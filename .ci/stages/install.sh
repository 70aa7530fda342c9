# SPDX-License-Identifier: MIT
# shellcheck shell=bash
# stage: install with only CMake and a compiler: no GoogleTest, build tree as tovakWrapper_DIR, uninstall
# (What each install component holds is a test of the suite: install_components.)
install -- cmake ninja-build g++ binutils pkgconf
work=build/ci-install
rm -rf "$work" && mkdir -p "$work"
# With the tests on and GoogleTest hidden, configuring stops and says what to do.
if cmake -S . -B "$work/tests-on" -DCMAKE_DISABLE_FIND_PACKAGE_GTest=ON >"$work/tests-on.log" 2>&1; then
    fail "configured the tests without GoogleTest"
fi
tr -s ' \n' ' ' <"$work/tests-on.log" | grep "apt-get install libgtest-dev.*-DTOVAK_BUILD_TESTS=OFF" >/dev/null \
    || { cat "$work/tests-on.log"; fail "no hint how to get GoogleTest or turn the tests off"; }
# docs/install.md's build commands, with GoogleTest out of reach.
quiet install-configure cmake -S . -B "$work/build" -DCMAKE_BUILD_TYPE=Release -DTOVAK_BUILD_TESTS=OFF \
    -DTOVAK_BUILD_EXAMPLES=OFF -DCMAKE_DISABLE_FIND_PACKAGE_GTest=ON
quiet install-build cmake --build "$work/build" -j2
# Into a prefix whose path has a space and which already holds something.
prefix="$PWD/$work/a prefix"
mkdir -p "$prefix/lib/other" "$prefix/share" "$prefix/include"  # include: empty, and must stay
touch "$prefix/lib/other/keep" "$prefix/share/.keep"
before=$(cd "$prefix" && find . | sort)
quiet install-prefix cmake --install "$work/build" --prefix "$prefix"
cp "$work/build/install_manifest.txt" "$work/manifest.txt"  # the consumer's install rewrites it
# A consumer against that build: installed (find_package, pkg-config), and the build tree itself.
bash tests/consumer/run.sh "$work/build"
cmake -S tests/consumer -B "$work/consumer-buildtree" -G Ninja -DtovakWrapper_DIR="$PWD/$work/build" >/dev/null
cmake --build "$work/consumer-buildtree" >/dev/null
"$work/consumer-buildtree/consumer"
"$work/consumer-buildtree/calls_consumer"
# docs/install.md's uninstall leaves exactly what was there before: no file, no empty directory.
cp "$work/manifest.txt" "$work/build/install_manifest.txt"
quiet uninstall cmake -P cmake/uninstall.cmake "$work/build"
after=$(cd "$prefix" && find . | sort)
[ "$after" = "$before" ] || { diff <(echo "$before") <(echo "$after"); fail "uninstall left the differences above"; }
echo "uninstall: $(grep -c '^-- Removing' build/ci-uninstall.log) files and directories removed, the prefix as before"
