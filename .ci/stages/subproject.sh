# SPDX-License-Identifier: MIT
# shellcheck shell=bash
# stage: subproject: a parent built with -O3 -ffast-math -march=native and -Ofast (GCC, Clang); FetchContent
install -- cmake ninja-build g++ clang python3 git
for compiler in gcc:g++ clang:clang++; do
  for flags in "-O3 -ffast-math -march=native" "-Ofast -march=native"; do
    dir=build/ci-subproject-${compiler%%:*}${flags%% *}
    rm -rf "$dir"
    quiet "${dir#build/ci-}" cmake -S tests/subproject -B "$dir" -G Ninja -DCMAKE_C_COMPILER="${compiler%%:*}" \
        -DCMAKE_CXX_COMPILER="${compiler##*:}" -DCMAKE_C_FLAGS="$flags" -DCMAKE_CXX_FLAGS="$flags"
    quiet "${dir#build/ci-}-build" cmake --build "$dir" -j2
    result=$("$dir/tovakParentAngles") || fail "$result"
    echo "${compiler%%:*} $flags: $result"
    # Below top level the library adds no install rules.
    cmake --install "$dir" --prefix "$PWD/$dir/prefix" >/dev/null
    [ -z "$(find "$dir/prefix" ! -type d 2>/dev/null)" ] \
        || { find "$dir/prefix"; fail "a parent's install installed tovakWrapper files"; }
  done
done
# docs/install.md's FetchContent and INSTALL_RPATH snippets, in a parent that installs its program
# and the library beside it; the installed program must start from there.
dir=build/ci-fetchcontent
rm -rf "$dir" && mkdir -p "$dir/src"
/usr/bin/python3 - docs/install.md "$PWD" "$(git rev-parse HEAD)" >"$dir/src/CMakeLists.txt" <<'EOF'
import re, sys
text, source, commit = open(sys.argv[1]).read(), sys.argv[2], sys.argv[3]
fetch, rpath = [b for b in re.findall(r'```cmake\n(.*?)```', text, re.S) if 'FetchContent' in b or 'INSTALL_RPATH' in b]
fetch = re.sub(r'GIT_REPOSITORY +\S+', f'GIT_REPOSITORY "{source}"', fetch)
fetch = re.sub(r'GIT_TAG +\S+\)', f'GIT_TAG {commit})', fetch)
fetch = fetch.replace('target_link_libraries', 'add_executable(app app.c)\ntarget_link_libraries', 1)
print('cmake_minimum_required(VERSION 3.25)\nproject(app LANGUAGES C CXX)\n' + fetch + rpath)
EOF
cp examples/quickstart.c "$dir/src/app.c"
quiet fetchcontent-configure cmake -S "$dir/src" -B "$dir/build" -G Ninja -DCMAKE_BUILD_TYPE=Release \
    || { cat "$dir/src/CMakeLists.txt"; fail "the FetchContent parent does not configure"; }
quiet fetchcontent-build cmake --build "$dir/build" -j2
quiet fetchcontent-install cmake --install "$dir/build" --prefix "$PWD/$dir/prefix"
echo "FetchContent parent, installed: $(cd "$dir/prefix" && find . ! -type d | sort | paste -sd' ')"
env -u LD_LIBRARY_PATH "$dir/prefix/bin/app" | tail -n 1
