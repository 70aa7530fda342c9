# SPDX-License-Identifier: MIT
# shellcheck shell=bash
# stage: the README's test command (the release preset: build, every test)
install -- cmake ninja-build g++ libgtest-dev binutils pkgconf python3
cmake --workflow --preset release
