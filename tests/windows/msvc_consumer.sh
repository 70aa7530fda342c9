#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Builds MsvcConsumer.c as MSVC's tools would build a program that uses the
# DLLs: compiled for the MSVC ABI by clang, linked by lld-link against
# tovakWrapper.lib and tovakWrapperCalls.lib (the build's MSVC import
# libraries), then runs it beside the MinGW-built DLLs. A missing tool is a
# failure that names the packages to install, never a skip.
# Usage: msvc_consumer.sh BIN_DIR INCLUDE_DIR SOURCE EMULATOR...
set -euo pipefail
bin=$1 include=$2 source=$3
shift 3

missing=()
for tool in clang lld-link llvm-dlltool; do
    command -v "$tool" >/dev/null || missing+=("$tool")
done
if ((${#missing[@]})); then
    echo "not found: ${missing[*]}. An MSVC-style consumer is built with clang, lld-link and"
    echo "llvm-dlltool (Debian: apt-get install clang lld llvm)."
    exit 1
fi
for library in tovakWrapper tovakWrapperCalls; do
    [ -f "$bin/$library.lib" ] || { echo "the build made no $bin/$library.lib"; exit 1; }
done

work=$bin/msvc-consumer
mkdir -p "$work"
# No Windows SDK here: an MSVC import library for the three kernel32 functions it calls.
printf 'LIBRARY kernel32.dll\nEXPORTS\n    GetStdHandle\n    WriteFile\n    ExitProcess\n' >"$work/kernel32.def"
llvm-dlltool -m i386:x86-64 -d "$work/kernel32.def" -l "$work/kernel32.lib"
clang --target=x86_64-pc-windows-msvc -ffreestanding -O2 -Wall -Wextra -Werror -I "$include" \
    -c "$source" -o "$work/consumer.obj"
# In the DLLs' folder, where Windows looks for a program's DLLs first.
lld-link /nologo /machine:x64 /subsystem:console /entry:start /nodefaultlib "$work/consumer.obj" \
    "$bin/tovakWrapper.lib" "$bin/tovakWrapperCalls.lib" "$work/kernel32.lib" \
    /out:"$bin/tovakMsvcConsumer.exe"
"$@" "$bin/tovakMsvcConsumer.exe"
