# SPDX-License-Identifier: MIT
# shellcheck shell=bash
# stage: benchmarks: build, short smoke runs (accessors, the call-list step), instruction counts
install -- cmake ninja-build g++ libbenchmark-dev valgrind
quiet bench-configure cmake --preset bench
quiet bench-build cmake --build --preset bench
build/bench/bench/tovakBench --benchmark_filter='/12$' --benchmark_min_time=0.01 2>&1 | tail -n 5
build/bench/bench/tovakCallsBench --benchmark_min_time=0.01 2>&1 | tail -n 4
bash bench/instructions.sh build/bench
