# SPDX-License-Identifier: MIT
# shellcheck shell=bash
# stage: one style: clang-format over every C and C++ file, shellcheck over every shell script, mypy over the Python package
install -- git clang-format-14 shellcheck python3-mypy
# The files of the tree: committed, and new ones not ignored.
mapfile -t files < <(git ls-files --cached --others --exclude-standard | sort -u | while read -r f; do [ -f "$f" ] && echo "$f"; done)

step "clang-format 14, the style of .clang-format"
mapfile -t sources < <(printf '%s\n' "${files[@]}" | grep -E '\.(c|cc|cpp|h|hpp|inc)$')
quiet lint-clang-format clang-format-14 --dry-run --Werror "${sources[@]}"
echo "${#sources[@]} C and C++ files formatted"

step "shellcheck"
# Shell scripts: *.sh, and files whose first line starts a shell (.ci/run).
mapfile -t scripts < <(for f in "${files[@]}"; do
    case $f in
        *.sh) echo "$f" ;;
        *) head -n 1 "$f" | grep -qE '^#!(/usr/bin/env )?/?(usr/)?(bin/)?(ba)?sh\b' && echo "$f" ;;
    esac
done)
quiet lint-shellcheck shellcheck "${scripts[@]}"
echo "${#scripts[@]} shell scripts pass: ${scripts[*]}"

step "mypy"
if [ -d python/tovakwrapper ]; then
    quiet lint-mypy /usr/bin/python3 -m mypy python/tovakwrapper
    tail -n 1 build/ci-lint-mypy.log
else
    echo "no python/tovakwrapper: nothing to check"
fi
