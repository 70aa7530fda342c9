// SPDX-License-Identifier: MIT
// The floor of any compiled call from Octave, for bench/octave_bench.m: a
// DEFUN_DLD that takes its arguments and does nothing with them.
#include <octave/oct.h>

DEFUN_DLD(tw_bench_empty, args, nargout, "tw_bench_empty (...): does nothing") {
    static_cast<void>(args);
    static_cast<void>(nargout);
    return octave_value_list();
}
