# SPDX-License-Identifier: MIT
# shellcheck shell=bash
# stage: valgrind memcheck over the release build's test programs
# libc6-dbg names the loader's functions, which .ci/valgrind.supp (read through
# the .valgrindrc at the root) needs to match its one suppression exactly.
install -- cmake ninja-build g++ libgtest-dev binutils pkgconf python3 valgrind libc6-dbg
workflow release
for program in tovakTests tovakUninitializedTests tovakCHost; do
    quiet "valgrind-$program" valgrind -q --error-exitcode=1 --leak-check=full "build/release/tests/$program"
    tail -n 1 "build/ci-valgrind-$program.log"
done
