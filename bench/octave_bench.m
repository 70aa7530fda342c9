## SPDX-License-Identifier: MIT
## The Octave package's call costs, side by side in one run, at 12 and 1,000
## devices: one batched call against one call per message and against an
## empty compiled call (the floor of any call), and a control-loop step of 10
## accessors as one call list against 10 separate calls.
##
##   octave-cli bench/octave_bench.m [PREFIX] [--quick]
##
## PREFIX: a pkg prefix where tovakwrapper is installed (cmake --workflow
## --preset octave leaves one in build/octave/prefix); without it, the
## package Octave finds. Prints Markdown (docs/performance.md's Octave
## section; bench/report.py --octave-only puts it there). Each figure is the
## best of interleaved rounds, each round running every variant once in a
## random order, each variant a loop of direct calls timed as a whole in
## this process's CPU time.
## --quick: a few short rounds, to see that it runs.

1;

## ---- the variants: each a loop of direct calls, µs per call ----------------

function us = empty_call (C, v, k)
  t0 = cputime ();
  for i = 1:k
    tw_bench_empty (C, v, 2);
  endfor
  us = (cputime () - t0) / k * 1e6;
endfunction

function us = batched_set (C, v, k)
  t0 = cputime ();
  for i = 1:k
    tw_command_set_float (C, v, 2);
  endfor
  us = (cputime () - t0) / k * 1e6;
endfunction

function us = batched_get (C, v, k)
  t0 = cputime ();
  for i = 1:k
    x = tw_command_get_float (C, 2);
  endfor
  us = (cputime () - t0) / k * 1e6;
endfunction

function us = each_set (C, v, k)
  n = columns (C);
  t0 = cputime ();
  for i = 1:k
    for j = 1:n
      tw_command_set_float (C(:, j), v(j), 2);
    endfor
  endfor
  us = (cputime () - t0) / k * 1e6;
endfunction

function us = each_get (C, v, k)
  n = columns (C);
  x = zeros (1, n, "single");
  t0 = cputime ();
  for i = 1:k
    for j = 1:n
      x(j) = tw_command_get_float (C(:, j), 2);
    endfor
  endfor
  us = (cputime () - t0) / k * 1e6;
endfunction

function us = copy_records (C, v, k)
  ## What passing the records by copy would add: a copy of the 12xN matrix.
  t0 = cputime ();
  for i = 1:k
    D = C;
    D(1) = C(1);
  endfor
  us = (cputime () - t0) / k * 1e6;
endfunction

## One control-loop step: 3 Command setters, 7 Feedback getters and queries.
function us = separate_calls (s, k)
  [C, F, speed, torque, leds, bit] = deal (s.C, s.F, s.speed, s.torque, s.leds, s.bit);
  t0 = cputime ();
  for i = 1:k
    tw_command_set_float (C, speed, 0);
    tw_command_set_float (C, torque, 1);
    tw_command_set_led (C, leds, 0);
    a = tw_feedback_get_float (F, 0);
    b = tw_feedback_get_float (F, 1);
    c = tw_feedback_get_high_res_angle (F, 0);
    d = tw_feedback_get_vector3f (F, 0);
    e = tw_feedback_get_quaternionf (F, 0);
    f = tw_feedback_get_io_pin_int (F, 0, 0);
    g = tw_feedback_has_field (F, bit);
  endfor
  us = (cputime () - t0) / k * 1e6;
endfunction

function us = call_list (s, k)
  [L, speed, torque, leds] = deal (s.L, s.speed, s.torque, s.leds);
  t0 = cputime ();
  for i = 1:k
    [a, b, c, d, e, f, g] = tw_run_calls (L, speed, torque, leds);
  endfor
  us = (cputime () - t0) / k * 1e6;
endfunction

## The same list, its outputs not assigned: what Octave's assignment of
## seven outputs takes is the difference.
function us = call_list_unassigned (s, k)
  [L, speed, torque, leds] = deal (s.L, s.speed, s.torque, s.leds);
  t0 = cputime ();
  for i = 1:k
    tw_run_calls (L, speed, torque, leds);
  endfor
  us = (cputime () - t0) / k * 1e6;
endfunction

## ---- running them ------------------------------------------------------------

## The best µs of each variant over `rounds` interleaved rounds, in this
## process's CPU time (what other processes on the machine take does not
## count); each sample runs about `budget` seconds.
function best = interleaved (variants, rounds, budget)
  n = numel (variants);
  reps = ones (1, n);
  for v = 1:n
    variants{v}(1);  # the first call loads what it calls
    ## Loops of 1, 4, 16 ... calls until one takes a quarter of the budget
    ## size the variant's loop.
    k = 1;
    while ((us = variants{v}(k)) * k * 1e-6 < budget / 4)
      k *= 4;
    endwhile
    reps(v) = max (1, round (budget / (us * 1e-6)));
  endfor
  samples = zeros (rounds, n);
  for r = 1:rounds
    for v = randperm (n)
      samples(r, v) = variants{v}(reps(v));
    endfor
  endfor
  best = min (samples, [], 1);
endfunction

args = argv ();
quick = any (strcmp (args, "--quick"));
args = args(! strcmp (args, "--quick"));
if (! isempty (args))
  pkg ("local_list", fullfile (args{1}, "octave_packages"));
  pkg ("global_list", fullfile (args{1}, "global_packages"));
endif
pkg load tovakwrapper
[rounds, budget] = deal (ifelse (quick, 3, 21), ifelse (quick, 0.5e-3, 5e-3));

## The empty call, built here.
work = tempname ();
mkdir (work);
unwind_protect
  here = fileparts (mfilename ("fullpath"));
  [~, status] = mkoctfile ("-o", fullfile (work, "tw_bench_empty.oct"), fullfile (here, "octave_empty.cc"));
  if (status != 0)
    error ("octave_bench: could not build the empty call");
  endif
  ## Autoloaded from its file, as the package's functions are.
  autoload ("tw_bench_empty", fullfile (work, "tw_bench_empty.oct"));

  rand ("seed", 1);
  single_rows = {};
  step_rows = {};
  verdicts = {};
  for n = [12 1000]
    sim = tw_sim (n);
    tw_initialize (sim.meta.command, sim.meta.feedback, sim.meta.info);
    [C, F] = deal (sim.command, sim.feedback);
    v = single (1:n);
    s = struct ("C", C, "F", F, "speed", v, "torque", -v, "leds", uint32 (1:n), ...
                "bit", tw_presence_bit ("feedback", "float", 0));
    s.L = tw_call_list ({@tw_command_set_float, C, 0}, {@tw_command_set_float, C, 1}, ...
                        {@tw_command_set_led, C, 0}, {@tw_feedback_get_float, F, 0}, ...
                        {@tw_feedback_get_float, F, 1}, {@tw_feedback_get_high_res_angle, F, 0}, ...
                        {@tw_feedback_get_vector3f, F, 0}, {@tw_feedback_get_quaternionf, F, 0}, ...
                        {@tw_feedback_get_io_pin_int, F, 0, 0}, {@tw_feedback_has_field, F, s.bit});
    t = interleaved ({@(k) empty_call(C, v, k), @(k) batched_set(C, v, k), @(k) batched_get(C, v, k), ...
                      @(k) each_set(C, v, k), @(k) each_get(C, v, k), @(k) copy_records(C, v, k), ...
                      @(k) separate_calls(s, k), @(k) call_list(s, k), ...
                      @(k) call_list_unassigned(s, k)}, rounds, budget);
    [empty, set, get, set_each, get_each, copy, separate, list, unassigned] = num2cell (t){:};
    single_rows{end+1} = sprintf ("| %d | %.2f | %.2f | %.2f | %.2f | %.2f | %.1f | %.1f | %.1f | %.1f | %.2f |", ...
                                  n, empty, set, get, set / empty, get / empty, set_each, get_each, ...
                                  set_each / set, get_each / get, copy);
    step_rows{end+1} = sprintf ("| %d | %.2f | %.2f | %.1f | %.2f |", n, separate, list, ...
                                separate / list, unassigned);
    if (n == 12)
      verdicts = {
        sprintf("- batched set and get at 12 devices ≤ 2.5× the empty call: %s (%.2f×, %.2f×)", ...
                ifelse (max (set, get) / empty <= 2.5, "met", "missed"), set / empty, get / empty)
        sprintf("- batched set and get at 12 devices ≥ 15× faster than one call per message: %s (%.1f×, %.1f×)", ...
                ifelse (min (set_each / set, get_each / get) >= 15, "met", "missed"), set_each / set, get_each / get)
        sprintf("- a call list of 10 accessors ≥ 4× faster than 10 separate calls at 12 devices: %s (%.1f×)", ...
                ifelse (separate / list >= 4, "met", "missed"), separate / list)
        sprintf("- of the call list's %.2f µs at 12 devices, Octave's assignment of its seven outputs takes %.2f µs; without it the list would be %.1f× faster than the separate calls", ...
                list, list - unassigned, separate / unassigned)};
    endif
    tw_sim_free (sim);
  endfor
unwind_protect_cleanup
  confirm_recursive_rmdir (false, "local");
  rmdir (work, "s");
end_unwind_protect

printf ("%s; best of %d interleaved rounds of CPU time; µs per call\n\n", ...
        ["Octave " version()], rounds);
printf ("| devices | empty call | batched set | batched get | set ÷ empty | get ÷ empty | set, one call per message | get, one call per message | per message ÷ batched, set | per message ÷ batched, get | copying the records |\n");
printf ("|---:|---:|---:|---:|---:|---:|---:|---:|---:|---:|---:|\n");
printf ("%s\n", single_rows{:});
printf ("\nA control-loop step of 10 accessors; µs per step\n\n");
printf ("| devices | 10 separate calls | one call list | separate ÷ list | the list, its 7 outputs not assigned |\n");
printf ("|---:|---:|---:|---:|---:|\n");
printf ("%s\n", step_rows{:});
printf ("\n");
printf ("%s\n", verdicts{:});
