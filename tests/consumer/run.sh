#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Installs the library from a build tree into a temporary prefix, then builds
# and runs tests/consumer's two programs (the library, the call-list library)
# against it twice: through find_package and through pkg-config.
#   Usage: run.sh BUILD_DIR
set -euo pipefail
build=$(cd "$1" && pwd)
here=$(cd "$(dirname "$0")" && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

cmake --install "$build" --prefix "$work/prefix" >/dev/null

# find_package
cmake -S "$here" -B "$work/cmake-build" -G Ninja -DCMAKE_PREFIX_PATH="$work/prefix" >/dev/null
cmake --build "$work/cmake-build" >/dev/null
"$work/cmake-build/consumer"
"$work/cmake-build/calls_consumer"

# pkg-config
export PKG_CONFIG_PATH="$work/prefix/lib/pkgconfig"
read -ra flags <<<"$(pkg-config --cflags --libs tovakWrapper)"
cc -std=c99 -Wall -Wextra -pedantic -Werror "$here/consumer.c" -o "$work/consumer-pc" \
    "${flags[@]}" -Wl,-rpath,"$(pkg-config --variable=libdir tovakWrapper)"
"$work/consumer-pc"
read -ra flags <<<"$(pkg-config --cflags --libs tovakWrapperCalls)"
cc -std=c89 -Wall -Wextra -pedantic -Werror "$here/calls_consumer.c" -o "$work/calls-consumer-pc" \
    "${flags[@]}" -Wl,-rpath,"$(pkg-config --variable=libdir tovakWrapperCalls)"
"$work/calls-consumer-pc"
echo "installed package: find_package and pkg-config consumers pass"
