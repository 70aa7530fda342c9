# SPDX-License-Identifier: MIT
# shellcheck shell=bash
# stage: API reference (Doxygen, any warning fails)
install -- cmake g++ doxygen
# The README's command.
quiet docs-configure cmake -S . -B build/docs -DTOVAK_BUILD_DOCS=ON -DTOVAK_BUILD_TESTS=OFF
quiet docs cmake --build build/docs --target docs || { cat build/docs/docs/warnings.log 2>/dev/null; fail "Doxygen failed"; }
echo "Doxygen warnings: $(wc -l <build/docs/docs/warnings.log); reference in build/docs/docs/html"
for text in "Quick start" "Rules every function shares" "(records, speeds, DEVICES, 2)" group__pins.html; do
    grep -qF "$text" build/docs/docs/html/index.html || fail "the front page lacks: $text"
done
echo "front page: overview, family links, quick start, shared rules"
