/* SPDX-License-Identifier: MIT */
/* The public headers as C89, C99 and C11: HeaderCheck.inc. */
#include "HeaderCheck.inc"
