// SPDX-License-Identifier: MIT
// Call lists: tw_call_list checks a list of accessor calls once, as each
// call alone would be checked, and tw_run_calls runs it through miRunCalls
// (src/MessageCalls.cpp, compiled into this .oct against the package's own
// copy of the library) in one compiled call, the setters' values passed
// then, the getters' outputs returned in order.
//
// A list is the struct tw_call_list returns: the package holds it and knows
// it by the value itself, so a changed copy is refused. Before a run it
// checks the values and that every record set is still known, and, when
// tw_initialize was called since the list was checked, every call again.

#include <octave/interpreter.h>
#include <octave/oct.h>

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

#include "gateway.h"
#include "tovakWrapperCalls.h"

namespace tw {
namespace {

struct Entry {
    std::uint32_t accessor;
    const AccessorOps* ops;
    std::shared_ptr<RecordSet> set;  // kept known while the list holds it
    octave_value records;            // keeps the records argument's memory
    Records view;
    std::int64_t index[2];
    std::string label;   // "call 3 (tw_feedback_get_float)"
    std::string values;  // "values 2 (for call 3, tw_command_set_led)"
};

// Each getter's output arrays, two used by turns. The value a run returns
// shares its array with the list; when a later run begins, the caller
// usually still holds the outputs of the run before (they are assigned after
// it returns) but no longer those of the run before that, whose array is
// then written again instead of a new one being made. An array the caller
// still shares is copied before it is written (Octave's copy on write),
// never overwritten.
using Outputs = std::array<Held, 2>;

struct List {
    octave_value held;  // the struct returned; its rep is the list's key
    std::vector<Entry> entries;
    std::vector<MiCall> calls;
    std::vector<std::size_t> setters, getters;  // entries taking values, returning outputs
    std::vector<Held> values;                   // the setters' values, during a run
    std::vector<Outputs> outputs;               // per getter
    std::uint64_t runs = 0;
    std::uint64_t epoch = 0;  // of the metadata the calls were checked with
};

std::unordered_map<const octave_base_value*, std::unique_ptr<List>> lists;
List* last = nullptr;

// Lists no Octave value holds any more go.
void sweep() {
    for (auto it = lists.begin(); it != lists.end();) {
        if (it->second->held.get_count() == 1) {
            if (last == it->second.get()) last = nullptr;
            it = lists.erase(it);
        } else {
            ++it;
        }
    }
}

void checkAll(List& list) {
    for (std::size_t i = 0; i < list.entries.size(); ++i) {
        Entry& e = list.entries[i];
        const std::string where = "tw_call_list: " + e.label;
        e.ops->check(e.view, e.index, where.c_str(), list.calls[i]);
    }
    list.epoch = known().epoch;
}

List& listArg(const octave_value& v) {
    const octave_base_value* rep = v.internal_rep();
    if (last != nullptr && last->held.internal_rep() == rep) return *last;
    const auto it = lists.find(rep);
    if (it == lists.end())
        fail(kHandle, "tw_run_calls",
             "L must be a call list made by tw_call_list (a changed copy of one is not one); got " +
                 describe(v));
    last = it->second.get();
    return *last;
}

}  // namespace
}  // namespace tw

DEFMETHOD_DLD(tw_call_list, interp, args, nargout, R"(-*- texinfo -*-
@deftypefn {} {@var{L} =} tw_call_list (@var{call1}, @var{call2}, @dots{})
Check a list of accessor calls once and return it as @var{L}, to be run by
@code{tw_run_calls} in one compiled call (@code{miRunCalls}).

Each call is a cell: the accessor (a handle, @code{@@tw_feedback_get_float},
or its name) and its arguments without the values,
@code{@{@@tw_command_set_float, C, 1@}},
@code{@{@@tw_feedback_get_io_pin_int, F, 0, 1@}}. Each is checked as the
call alone would be, against the metadata of now; when @code{tw_initialize}
is called again the list is checked again at its next run.

@var{L} is a struct: @code{calls} (the accessors' names), @code{values} (how
many values arguments @code{tw_run_calls} takes: one per setter but
@code{tw_command_set_flag}, in order) and @code{outputs} (one per getter or
query, in order). The package keeps the list, and the record sets it uses,
while a value holds @var{L}; a changed copy of @var{L} is not a list.
@seealso{tw_run_calls}
@end deftypefn)") {
    const char* function = "tw_call_list";
    if (args.length() < 1 || nargout > 1)
        tw::fail(tw::kNargin, function, "usage: L = tw_call_list (call1, call2, ...)");
    tw::sweep();
    auto list = std::make_unique<tw::List>();
    Cell names(1, args.length());
    for (octave_idx_type i = 0; i < args.length(); ++i) {
        const std::string position = "call " + std::to_string(i + 1);
        const octave_value& given = args(i);
        if (!given.iscell() || given.ndims() != 2 || (given.rows() != 1 && !given.isempty()))
            tw::fail(tw::kClass, function,
                     position + " must be a cell row {accessor, records, indices...}; got " +
                         tw::describe(given));
        const Cell cell = given.cell_value();
        if (cell.numel() < 1)
            tw::fail(tw::kNargin, function, position + " is empty; it needs an accessor");
        std::string name;
        const octave_value& head = cell(0);
        if (head.is_function_handle())
            name = head.fcn_handle_value()->fcn_name();
        else if (head.is_string())
            name = head.string_value();
        const std::uint32_t accessor = tw::accessorNamed(name);
        if (accessor == 0)
            tw::fail(tw::kAccessor, function,
                     position +
                         " must start with an accessor (a handle to one of the 48 "
                         "tw_ functions of tw_accessors, or its name); got " +
                         (name.empty() ? tw::describe(head) : "'" + name + "'"));
        const tw::AccessorOps& ops = tw::accessorOps(accessor);
        tw::Entry e;
        e.accessor = accessor;
        e.ops = &ops;
        e.label = position + " (" + ops.name + ")";
        const std::string where = std::string(function) + ": " + e.label;
        if (cell.numel() != 2 + ops.indices)
            tw::fail(tw::kNargin, function,
                     e.label + " has " + std::to_string(cell.numel() - 1) + " arguments; " +
                         ops.name + " takes records and " + std::to_string(ops.indices) +
                         (ops.indices == 1 ? " index" : " indices") +
                         " in a call list (its values, if any, are given to tw_run_calls)");
        e.records = cell(1);
        e.view = tw::records(e.records, where.c_str(), e.set);
        for (int k = 0; k < ops.indices; ++k)
            e.index[k] = tw::integer(cell(2 + k), where.c_str(), k == 0 ? "index 1" : "index 2");
        if (ops.takesValues) {
            list->setters.push_back(static_cast<std::size_t>(i));
            e.values = "values " + std::to_string(list->setters.size()) + " (for " + e.label + ")";
        }
        if (ops.returnsValues) list->getters.push_back(static_cast<std::size_t>(i));
        MiCall call{};
        call.accessor = accessor;
        call.count = e.view.count;
        call.records = e.view.data;
        list->calls.push_back(call);
        list->entries.push_back(std::move(e));
        names(i) = ops.name;
    }
    tw::checkAll(*list);
    list->values.resize(list->setters.size());
    list->outputs.resize(list->getters.size());
    octave_scalar_map s;
    s.setfield("calls", names);
    s.setfield("values", static_cast<double>(list->setters.size()));
    s.setfield("outputs", static_cast<double>(list->getters.size()));
    list->held = octave_value(s);
    const octave_base_value* key = list->held.internal_rep();
    const octave_value result = list->held;
    tw::lists.emplace(key, std::move(list));
    interp.mlock();
    return octave_value_list(result);
}

DEFUN_DLD(tw_run_calls, args, nargout, R"(-*- texinfo -*-
@deftypefn {} {[@var{out1}, @dots{}] =} tw_run_calls (@var{L}, @var{values1}, @dots{})
Run the call list @var{L} (from @code{tw_call_list}) in one compiled call:
every call in order, each finished before the next begins.

Pass one values argument per setter of the list (but
@code{tw_command_set_flag}), in order, each as that setter alone takes it
(@code{[]}: presence bits only); the outputs are the getters' and queries'
results, in order. Everything is checked before anything runs: a refused
call list writes nothing.
@seealso{tw_call_list}
@end deftypefn)") {
    const char* function = "tw_run_calls";
    if (args.length() < 1)
        tw::fail(tw::kNargin, function, "usage: [out1, ...] = tw_run_calls (L, values1, ...)");
    tw::List& list = tw::listArg(args(0));
    const std::size_t setters = list.setters.size(), getters = list.getters.size();
    if (static_cast<std::size_t>(args.length()) != 1 + setters ||
        static_cast<std::size_t>(nargout) > getters)
        tw::fail(tw::kNargin, function,
                 "this list takes " + std::to_string(setters) + " values arguments and returns " +
                     std::to_string(getters) + " outputs; called with " +
                     std::to_string(args.length() - 1) + " and " + std::to_string(nargout));
    for (const tw::Entry& e : list.entries)
        if (!e.set->alive)
            tw::fail(tw::kRecords, function,
                     "the records of " + e.label +
                         " are no longer known (forgotten, or their simulated group freed)");
    if (list.epoch != tw::known().epoch) tw::checkAll(list);
    try {
        for (std::size_t s = 0; s < setters; ++s) {
            const std::size_t i = list.setters[s];
            const tw::Entry& e = list.entries[i];
            list.calls[i].buffer = const_cast<void*>(
                e.ops->values(args(static_cast<octave_idx_type>(1 + s)), e.view.count,
                              list.values[s], function, e.values.c_str()));
        }
    } catch (...) {
        for (tw::Held& h : list.values) h = std::monostate{};
        throw;
    }
    const std::size_t turn = list.runs++ & 1;
    for (std::size_t g = 0; g < getters; ++g) {
        const std::size_t i = list.getters[g];
        list.calls[i].buffer =
            list.entries[i].ops->output(list.entries[i].view.count, list.outputs[g][turn]);
    }
    miRunCalls(list.calls.data(), static_cast<std::uint32_t>(list.calls.size()));
    for (tw::Held& h : list.values) h = std::monostate{};
    octave_value_list out(static_cast<octave_idx_type>(getters));
    for (std::size_t g = 0; g < getters; ++g)
        out.xelem(static_cast<octave_idx_type>(g)) =
            list.entries[list.getters[g]].ops->result(list.outputs[g][turn]);
    return out;
}

// clang-format off
/*
%!shared sim, twin
%! [sim, twin] = deal (tw_sim (3), tw_sim (3));

%!function b = bytes (records)
%!  ## Every byte of the messages' storage.
%!  b = [];
%!  for i = 1:columns (records)
%!    m = tw_sim_message (records, i);
%!    for f = fieldnames (m)'
%!      b = [b, typecast(m.(f{1})(:)', "uint8")];
%!    endfor
%!  endfor
%!endfunction

%!function same (x, y)
%!  assert (class (x), class (y));
%!  assert (size (x), size (y));
%!  if (! islogical (x))
%!    [x, y] = deal (typecast (x(:), "uint8"), typecast (y(:), "uint8"));
%!  endif
%!  assert (isequal (x, y));
%!endfunction

%!test
%! ## A list does what its calls do one after the other: the same outputs,
%! ## the same messages (twin groups, scrambled alike).
%! tw_initialize (sim.meta.command, sim.meta.feedback, sim.meta.info);
%! tw_sim_scramble (sim, 9);
%! tw_sim_scramble (twin, 9);
%! speeds = single ([1 NaN 3]);
%! leds = uint32 ([4 5 6]);
%! pins = int64 ([-1 0 2^40]);
%! L = tw_call_list ({@tw_command_set_float, sim.command, 1}, {"tw_command_set_led", sim.command, 2}, ...
%!                   {@tw_command_set_io_pin_int, sim.command, 1, 2}, {@tw_command_set_flag, sim.command, 0}, ...
%!                   {@tw_command_get_float, sim.command, 1}, {@tw_feedback_get_high_res_angle, sim.feedback, 0}, ...
%!                   {@tw_feedback_get_vector3f, sim.feedback, 3}, {@tw_command_get_io_pin_int, sim.command, 1, 2}, ...
%!                   {@tw_command_has_field, sim.command, 5}, {@tw_feedback_get_numbered_float, sim.feedback, -1, 3});
%! assert ([L.values, L.outputs], [3 6]);
%! out = cell (1, 6);
%! [out{:}] = tw_run_calls (L, speeds, leds, pins);
%! [C, F] = deal (twin.command, twin.feedback);
%! tw_command_set_float (C, speeds, 1);
%! tw_command_set_led (C, leds, 2);
%! tw_command_set_io_pin_int (C, pins, 1, 2);
%! tw_command_set_flag (C, 0);
%! want = {tw_command_get_float(C, 1), tw_feedback_get_high_res_angle(F, 0), ...
%!         tw_feedback_get_vector3f(F, 3), tw_command_get_io_pin_int(C, 1, 2), ...
%!         tw_command_has_field(C, 5), tw_feedback_get_numbered_float(F, -1, 3)};
%! for k = 1:6
%!   same (out{k}, want{k});
%! endfor
%! same (bytes (sim.command), bytes (C));
%! same (bytes (sim.feedback), bytes (F));

%!test
%! ## Every values argument is checked before anything runs: a refused run
%! ## writes nothing. [] sets presence bits only, as in a single call.
%! tw_initialize (sim.meta.command, sim.meta.feedback, sim.meta.info);
%! C = sim.command;
%! L = tw_call_list ({@tw_command_set_float, C, 0}, {@tw_command_set_enum, C, 0});
%! tw_sim_scramble (sim, 2);
%! before = bytes (C);
%! fail ("tw_run_calls (L, single ([1 2 3]), [1 2 3])", "values 2 \\(for call 2 \\(tw_command_set_enum\\)\\) must be int32");
%! fail ("tw_run_calls (L, single ([1 2 3]), int32 ([1 2 3])')", "its transpose");
%! fail ("tw_run_calls (L, single ([1 2 3]))", "takes 2 values arguments");
%! fail ("x = tw_run_calls (L, single ([1 2 3]), int32 ([1 2 3]))", "returns 0 outputs");
%! M = L;
%! M.values = 5;
%! fail ("tw_run_calls (M, single ([1 2 3]), int32 ([1 2 3]))", "a changed copy of one is not one");
%! assert (bytes (C), before);
%! tw_run_calls (L, [], int32 ([7 8 9]));
%! assert (tw_command_get_enum (C, 0), int32 ([7 8 9]));

%!test
%! ## The outputs of successive runs are values of their own, whatever the
%! ## caller keeps of earlier ones (a list writes its arrays again).
%! tw_initialize (sim.meta.command, sim.meta.feedback, sim.meta.info);
%! L = tw_call_list ({@tw_command_set_float, sim.command, 0}, {@tw_command_get_float, sim.command, 0});
%! kept = cell (5, 1);
%! for k = 1:5
%!   kept{k} = tw_run_calls (L, single ([k k k]));
%!   part = kept{k}(2:3);
%!   scalar = tw_run_calls (tw_call_list ({@tw_command_get_float, sim.command(:, 1), 0}));
%! endfor
%! assert (cell2mat (kept), single (repmat ((1:5)', 1, 3)));
%! assert ([part, scalar], single ([5 5 5]));

%!test
%! ## A list is checked again after tw_initialize; a list whose records were
%! ## freed is refused.
%! tw_initialize (sim.meta.command, sim.meta.feedback, sim.meta.info);
%! other = tw_sim (2);
%! L = tw_call_list ({@tw_command_get_io_pin, other.command, 1, 3});
%! assert (size (tw_run_calls (L)), [4 2]);
%! meta = sim.meta.feedback;
%! meta.pin_bank_table(4) = 15;  # bank 3 now starts at 15: pin 1 is element 16
%! tw_initialize (sim.meta.command, meta, sim.meta.info);
%! fail ("tw_run_calls (L)", "call 1 \\(tw_command_get_io_pin\\): pin 1 .* = 16");
%! tw_initialize (sim.meta.command, sim.meta.feedback, sim.meta.info);
%! assert (size (tw_run_calls (L)), [4 2]);
%! tw_sim_free (other);
%! fail ("tw_run_calls (L)", "no longer known");

## Each call is checked as the call alone would be.
%!error id=tovakwrapper:nargin tw_call_list ()
%!error id=tovakwrapper:class tw_call_list (1)
%!error id=tovakwrapper:accessor tw_call_list ({@sin, sim.command, 0})
%!error id=tovakwrapper:accessor tw_call_list ({"tw_initialize", sim.command, 0})
%!error id=tovakwrapper:nargin tw_call_list ({@tw_command_get_float, sim.command})
%!error id=tovakwrapper:nargin tw_call_list ({@tw_command_set_float, sim.command, single([1 2 3]), 0})
%!error id=tovakwrapper:range tw_call_list ({@tw_command_get_float, sim.command, 4})
%!error id=tovakwrapper:integer tw_call_list ({@tw_command_get_io_pin, sim.command, 0, 0.5})
%!error id=tovakwrapper:records tw_call_list ({@tw_command_get_float, sim.command + 0, 0})
%!error id=tovakwrapper:handle tw_run_calls (struct ("calls", {{}}, "values", 0, "outputs", 0))
*/
// clang-format on
