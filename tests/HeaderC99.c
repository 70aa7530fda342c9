/* SPDX-License-Identifier: MIT */
/* The public header alone must be valid, warning-free C99. */
#include "tovakWrapper.h"
