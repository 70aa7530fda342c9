# SPDX-License-Identifier: MIT
# shellcheck shell=bash
# stage: Octave package: tarball, pkg install into a scratch prefix, its tests and the guide's example; benchmark smoke run
install --no-install-recommends -- cmake ninja-build make g++ octave liboctave-dev
# Warnings are errors in the package's build here (make check sets WERROR=1).
quiet octave cmake --workflow --preset octave
grep -E 'tests passed|example [0-9]|all passed' build/ci-octave.log | sed 's/^[0-9]*: *//'
quiet octave-bench octave-cli --norc --quiet bench/octave_bench.m build/octave/prefix --quick
grep -E '^\| (12|1000) ' build/ci-octave-bench.log
