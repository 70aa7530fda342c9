# SPDX-License-Identifier: MIT
# shellcheck shell=bash
# stage: Debian packages: build, versions, lintian, dpkg -i, consumers, purge
install -- cmake ninja-build g++ binutils pkgconf lintian dpkg-dev file python3
rm -rf build/deb
quiet deb cmake --workflow --preset deb
bash cmake/check-versions.sh build/deb
debs=(build/deb/libtovakwrapper*.deb)
quiet lintian lintian --fail-on error --display-info "${debs[@]}"
echo "lintian (no errors):"; grep -v 'root privileges' build/ci-lintian.log || true
packages=$(for deb in "${debs[@]}"; do dpkg-deb -f "$deb" Package; done | paste -sd' ')
# Both libraries in the runtime package; their headers, links and .pc files in -dev.
runtime_list=$(dpkg-deb -c build/deb/libtovakwrapper[0-9]*.deb)
dev_list=$(dpkg-deb -c build/deb/libtovakwrapper-dev_*.deb)
for f in 'libtovakWrapper\.so\.[0-9.]+' 'libtovakWrapperCalls\.so\.[0-9.]+'; do
    grep -qE "/$f\$" <<<"$runtime_list" || fail "$runtime_list"$'\n'"the runtime package lacks $f"
done
for f in include/tovakWrapper.h include/tovakWrapperCalls.h libtovakWrapper.so libtovakWrapperCalls.so \
         pkgconfig/tovakWrapper.pc pkgconfig/tovakWrapperCalls.pc; do
    grep -qE "/$f( |\$)" <<<"$dev_list" || fail "$dev_list"$'\n'"the -dev package lacks $f"
done
echo "runtime package: $(grep -oE 'lib[A-Za-z]+\.so\.[0-9.]+$' <<<"$runtime_list" | sort -u | paste -sd' ')"
# In a subshell whose exit purges the packages, so nothing stays installed
# (and masks another check) whether this passes or not.
(
    work=$(mktemp -d)
    trap 'dpkg --purge $packages >/dev/null; rm -rf "$work"' EXIT
    dpkg -i "${debs[@]}" >/dev/null
    libdir=$(pkg-config --variable=libdir tovakWrapper)
    [ "$(realpath "$libdir")" = "/usr/lib/$(dpkg-architecture -qDEB_HOST_MULTIARCH)" ] \
        || fail "pkg-config finds tovakWrapper in $libdir, not in the package"
    ldconfig -p | grep libtovakWrapper.so. >/dev/null || fail "the ldconfig trigger did not run"
    # Plain pkg-config, no rpath: the loader must find the library by itself.
    read -ra flags <<<"$(pkg-config --cflags --libs tovakWrapper)"
    cc tests/consumer/consumer.c -o "$work/consumer-pc" "${flags[@]}"
    ! readelf -d "$work/consumer-pc" | grep -E 'RPATH|RUNPATH' >/dev/null || fail "consumer has an rpath"
    "$work/consumer-pc"
    read -ra flags <<<"$(pkg-config --cflags --libs tovakWrapperCalls)"
    cc tests/consumer/calls_consumer.c -o "$work/calls-consumer-pc" "${flags[@]}"
    "$work/calls-consumer-pc"
    cmake -S tests/consumer -B "$work/consumer-cmake" -G Ninja >/dev/null
    cmake --build "$work/consumer-cmake" >/dev/null
    "$work/consumer-cmake/consumer"
    "$work/consumer-cmake/calls_consumer"
)
for p in $packages; do
    ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep "ok installed" >/dev/null || fail "$p still installed"
done
echo "installed, used and purged: $packages"
