# SPDX-License-Identifier: MIT
# shellcheck shell=bash
# stage: ABI: abidiff against abi/*.abi, and the check failing on scratch ABI changes
install -- cmake ninja-build g++ abigail-tools
bash abi/check.sh
bash abi/check.sh --self-test
