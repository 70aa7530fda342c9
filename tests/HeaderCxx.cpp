// SPDX-License-Identifier: MIT
// The public headers as C++98 to C++20: HeaderCheck.inc.
#include "HeaderCheck.inc"
