#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# The version is written once, in the header's TOVAKWRAPPER_VERSION_* macros;
# this checks that everything built from it says the same: the CMake package
# version file and its compatibility rule, the two .pc files, the SONAMEs of
# libtovakWrapper and libtovakWrapperCalls, the Debian packages (names,
# versions, the -dev package's dependency, shlibs) and their changelog, the
# latest release in CHANGELOG.md, and that the Python package states none.
#   Usage: cmake/check-versions.sh BUILD_DIR   (a build of the deb preset, packaged)
set -euo pipefail
cd "$(dirname "$0")/.."
build=$1
failed=0
check() {  # check WHAT ACTUAL EXPECTED
    if [ "$2" = "$3" ]; then
        printf '  %-34s %s\n' "$1" "$2"
    else
        printf '  %-34s %s, expected %s  <-- MISMATCH\n' "$1" "$2" "$3"; failed=1
    fi
}

version=$(for part in MAJOR MINOR PATCH; do
    sed -nE "s/^#define TOVAKWRAPPER_VERSION_$part ([0-9]+)$/\1/p" include/tovakWrapper.h; done | paste -sd.)
IFS=. read -r major minor _ <<<"$version"
# The compatibility rule (CMakeLists.txt): 0.x releases are compatible only
# within one minor version, 1.0 and later within one major version.
if [ "$major" = 0 ]; then soversion=$major.$minor compatibility=SameMinorVersion
else soversion=$major compatibility=SameMajorVersion; fi
echo "version $version: SONAME libtovakWrapper.so.$soversion, CMake package $compatibility"

check "project(VERSION) of the build" "$(sed -nE 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$build/CMakeCache.txt")" "$version"
check "CMake package version file" \
    "$(sed -nE 's/^set\(PACKAGE_VERSION "(.*)"\)$/\1/p' "$build/tovakWrapperConfigVersion.cmake")" "$version"
rule=$(grep -q 'CVF_VERSION_MINOR' "$build/tovakWrapperConfigVersion.cmake" && echo SameMinorVersion || echo SameMajorVersion)
check "CMake package compatibility" "$rule" "$compatibility"
for library in tovakWrapper tovakWrapperCalls; do
    check "$library.pc" "$(sed -n 's/^Version: //p' "$build/$library.pc")" "$version"
    check "SONAME of lib$library" \
        "$(readelf -d "$build/lib$library.so" | sed -nE 's/.*Library soname: \[(.*)\]/\1/p')" \
        "lib$library.so.$soversion"
done
check "tovakWrapperCalls.pc requires" "$(sed -n 's/^Requires: //p' "$build/tovakWrapperCalls.pc")" \
    "tovakWrapper = $version"

runtime=("$build"/libtovakwrapper"$soversion"_*.deb); dev=("$build"/libtovakwrapper-dev_*.deb)
if [ ! -f "${runtime[0]}" ] || [ ! -f "${dev[0]}" ]; then
    echo "no packages libtovakwrapper$soversion and -dev in $build"; exit 1
fi
debversion=$(dpkg-deb -f "${runtime[0]}" Version)
check "Debian runtime package" "$(dpkg-deb -f "${runtime[0]}" Package) ${debversion%-*}" \
    "libtovakwrapper$soversion $version"
check "Debian -dev package" "$(dpkg-deb -f "${dev[0]}" Version)" "$debversion"
check "Debian -dev dependency" "$(dpkg-deb -f "${dev[0]}" Depends)" "libtovakwrapper$soversion (= $debversion)"
shlibs=$(dpkg-deb --info "${runtime[0]}" shlibs)
check "Debian shlibs" "$(sed -n 1p <<<"$shlibs")" "libtovakWrapper $soversion libtovakwrapper$soversion (>= $debversion)"
check "Debian shlibs, call lists" "$(sed -n '2,$p' <<<"$shlibs")" \
    "libtovakWrapperCalls $soversion libtovakwrapper$soversion (>= $debversion)"
check "Debian changelog" "$(sed -nE '1s/^[a-z0-9.+-]+ \(([^)]*)\).*/\1/p' "$build/debian/changelog")" "$debversion"
check "CHANGELOG.md (latest release)" "$(sed -nE 's/^## ([0-9][^ ]*).*/\1/p' CHANGELOG.md | head -n 1)" "$version"
# The Python package states no version: setup.py gives the distribution the
# header's (pyproject.toml's version is dynamic), the extension module compiles
# in the header's macros (tw.__version__), and the libraries it bundles are
# found by the SONAME links the CMake build made.
check "Python distribution (setup.py)" \
    "$(/usr/bin/python3 -c 'import runpy; print(runpy.run_path("python/setup.py")["header_version"]())')" "$version"
check "python/pyproject.toml version" \
    "$(sed -nE 's/^(dynamic = \["version"\]|version *=[^#]*).*/\1/p' python/pyproject.toml)" 'dynamic = ["version"]'
check "Python version, SONAME literals" \
    "$(grep -rEl --include='*.py' --include='*.pyi' --include='*.toml' \
        "(__version__|version|SONAME) *= *['\"]([0-9]|lib)" python/setup.py python/pyproject.toml \
        python/tovakwrapper || echo none)" none
# The guides name the files a build makes; each name must be this release's
# (CHANGELOG.md is history and keeps the names of its time).
stale=$(grep -noE 'libtovakWrapper(Calls)?\.so\.[0-9][0-9.]*[0-9]|libtovakwrapper[0-9][0-9.]*[0-9]|tovakwrapper-[0-9][0-9.]*[0-9]|find_package\(tovakWrapper [0-9.]+' \
        README.md docs/*.md | grep -vE "(\.so\.|libtovakwrapper|tovakwrapper-|tovakWrapper )($version|$soversion)\$" || true)
check "file names in README.md, docs/" "$(echo "${stale:-all $version}" | paste -sd' ')" "all $version"
exit $failed
