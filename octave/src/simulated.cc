// SPDX-License-Identifier: MIT
// Simulated messages for trying the package without a message library of
// one's own: tw_sim makes Command, Feedback and Info messages with the
// simulated message library (sim/MessageSim.hpp), each message allocated in
// native memory, and the package owns them until tw_sim_free.
//
// Octave values never own message storage: the records tw_sim returns are
// Octave matrices of pointers into that native memory, and freeing the
// group forgets them, so that no call can reach freed messages.

#include <octave/interpreter.h>
#include <octave/oct.h>

#include <array>
#include <cstdint>
#include <cstring>
#include <map>
#include <memory>
#include <string>

#include "MessageSim.hpp"
#include "gateway.h"
#include "tovakwrapper_octave.h"

namespace tw {
namespace {

// A group of `count` devices: their Command, Feedback and Info messages, with
// the layouts the simulated message library gives each kind. A simulated
// device step would work on these three groups.
struct Group {
    std::array<std::unique_ptr<sim::KindLayout>, 3> layouts;
    std::array<std::unique_ptr<sim::MessageGroup>, 3> messages;
    std::array<std::shared_ptr<RecordSet>, 3> sets;
};

std::map<std::uint64_t, std::unique_ptr<Group>> groups;
std::uint64_t nextId = 1;

// Presence bits of each kind start at a different bit, so that a base read
// from the wrong metadata copy shows.
constexpr std::uint32_t kFirstBit[3] = {0, 3, 5};
constexpr std::int64_t kMaxCount = 1000000;
constexpr std::int64_t kMaxFields = 64;
// The messages' storage of a group, at most: a million devices of 4 fields
// fit, 100 GB of messages allocated one by one are refused.
constexpr std::uint64_t kMaxBytes = std::uint64_t{1} << 31;
const char* const kKinds[3] = {"command", "feedback", "info"};

Group& groupArg(const octave_value& v, const char* function) {
    octave_value id = v;
    if (v.isstruct() && v.numel() == 1) id = v.scalar_map_value().getfield("id");
    if (!id.is_defined() || !id.isnumeric())
        fail(kClass, function,
             "sim must be a simulated group (the struct tw_sim returns); got " + describe(v));
    const std::int64_t n = integer(id, function, "sim.id");
    const auto it = groups.find(static_cast<std::uint64_t>(n));
    if (n <= 0 || it == groups.end())
        fail(kHandle, function,
             "simulated group " + std::to_string(n) + " is not alive (freed by tw_sim_free?)");
    return *it->second;
}

// The plain type an Octave array element holds: float, or T of octave_int<T>.
template <typename E>
struct Plain {
    using type = E;
};
template <typename T>
struct Plain<octave_int<T>> {
    using type = T;
};

// The bytes of `data` as an Octave array of `rows` rows, bit for bit.
template <typename A, typename T>
A copied(const std::vector<T>& data, octave_idx_type rows) {
    using Element = typename Plain<typename A::element_type>::type;
    const std::size_t n = data.size() * sizeof(T) / sizeof(Element);
    A a(dim_vector(rows, static_cast<octave_idx_type>(n) / rows));
    const auto* bytes = reinterpret_cast<const unsigned char*>(data.data());
    for (std::size_t i = 0; i < n; ++i) {
        Element e;
        std::memcpy(&e, bytes + i * sizeof e, sizeof e);
        a(static_cast<octave_idx_type>(i)) = e;
    }
    return a;
}

}  // namespace
}  // namespace tw

DEFMETHOD_DLD(tw_sim, interp, args, nargout, R"(-*- texinfo -*-
@deftypefn  {} {@var{sim} =} tw_sim (@var{count})
@deftypefnx {} {@var{sim} =} tw_sim (@var{count}, @var{fields})
Make simulated messages for @var{count} devices: a Command, a Feedback and an
Info message each, allocated in native memory and owned by the package until
@code{tw_sim_free (@var{sim})}.

Every message has @var{fields} (default 4) fields of every kind and flags,
@var{fields} numbered-float fields and pin banks of @var{fields} elements
each (@var{count} up to 1000000, @var{fields} 1 to 64, the messages' storage
at most 2 GiB in all). Presence bits are laid out kind after kind from bit 0
(Command), 3 (Feedback) and 5 (Info). @var{sim} is a struct: @code{id},
@code{count}, the record sets @code{command}, @code{feedback} and @code{info} (uint64 12xN,
see @code{tw_records}), and @code{meta}, a struct of the three metadata
structs that @code{tw_initialize} takes:

@example
sim = tw_sim (12);
tw_initialize (sim.meta.command, sim.meta.feedback, sim.meta.info);
@end example

After @code{tw_sim_free}, its record sets are refused.
@seealso{tw_sim_free, tw_sim_message, tw_sim_scramble}
@end deftypefn)") {
    const char* function = "tw_sim";
    if (args.length() < 1 || args.length() > 2 || nargout > 1)
        tw::fail(tw::kNargin, function, "usage: sim = tw_sim (count, fields)");
    const std::int64_t count = tw::integer(args(0), function, "count");
    if (count < 0 || count > tw::kMaxCount)
        tw::fail(tw::kRange, function,
                 "count must be from 0 to " + std::to_string(tw::kMaxCount) + "; got " +
                     std::to_string(count));
    const std::int64_t fields = args.length() > 1 ? tw::integer(args(1), function, "fields") : 4;
    if (fields < 1 || fields > tw::kMaxFields)
        tw::fail(tw::kRange, function,
                 "fields must be from 1 to " + std::to_string(tw::kMaxFields) + "; got " +
                     std::to_string(fields));
    const sim::Shape shape = sim::Shape::uniform(static_cast<std::uint32_t>(fields));
    auto group = std::make_unique<tw::Group>();
    const std::uint64_t id = tw::nextId;
    octave_scalar_map result, meta;
    result.setfield("id", static_cast<double>(id));
    result.setfield("count", static_cast<double>(count));
    std::uint64_t bytes = 0;
    for (int k = 0; k < 3; ++k) {
        group->layouts[k] = std::make_unique<sim::KindLayout>(shape, tw::kFirstBit[k]);
        bytes += sim::MessageGroup(*group->layouts[k], 1).bytes().size();
    }
    if (bytes * static_cast<std::uint64_t>(count) > tw::kMaxBytes)
        tw::fail(tw::kRange, function,
                 std::to_string(count) + " devices of " + std::to_string(fields) + " fields need " +
                     std::to_string(bytes) + " bytes each, more than " +
                     std::to_string(tw::kMaxBytes) + " in all; make fewer devices or fields");
    // Every message first, then the record sets: a failed allocation leaves
    // no set known.
    std::array<uint64NDArray, 3> records;
    for (int k = 0; k < 3; ++k) {
        group->messages[k] = std::make_unique<sim::MessageGroup>(*group->layouts[k],
                                                                 static_cast<std::size_t>(count));
        records[k] = tovakwrapper::record_matrix(group->messages[k]->records(), count);
    }
    for (int k = 0; k < 3; ++k) {
        const sim::KindLayout& layout = *group->layouts[k];
        tw::Shape setShape;
        for (int kind = 0; kind < MI_KIND_RESERVED; ++kind)
            setShape.elements[kind] = layout.elements(static_cast<MiFieldKind>(kind));
        setShape.presenceWords = layout.presenceWords();
        const octave_value value(records[k]);
        group->sets[k] = tw::registerSet(value, setShape, id, function);
        result.setfield(tw::kKinds[k], value);
        meta.setfield(tw::kKinds[k], tovakwrapper::metadata_struct(layout.metadata,
                                                                   layout.numberedFloatTable.size(),
                                                                   layout.pinBankTable.size()));
    }
    result.setfield("meta", meta);
    tw::groups.emplace(id, std::move(group));
    ++tw::nextId;
    interp.mlock();
    return octave_value(result);
}

DEFUN_DLD(tw_sim_free, args, nargout, R"(-*- texinfo -*-
@deftypefn {} {} tw_sim_free (@var{sim})
Free the messages of the simulated group @var{sim} (the struct @code{tw_sim}
returned, or its @code{id}) and forget its record sets, and those
@code{tw_records} made of their records: every later call with them, or
with a call list that holds them, is refused.
@end deftypefn)") {
    const char* function = "tw_sim_free";
    if (args.length() != 1 || nargout > 0)
        tw::fail(tw::kNargin, function, "usage: tw_sim_free (sim)");
    tw::Group& group = tw::groupArg(args(0), function);
    const std::uint64_t id = group.sets[0]->group;
    for (const auto& set : group.sets) tw::forget(set);
    tw::groups.erase(id);
    return octave_value_list();
}

DEFUN_DLD(tw_sim_scramble, args, nargout, R"(-*- texinfo -*-
@deftypefn {} {} tw_sim_scramble (@var{sim}, @var{seed})
Fill every value array and presence word of every message of the simulated
group @var{sim} with pseudo-random bytes drawn from @var{seed} (a
non-negative integer): any bit pattern, NaNs included.
@end deftypefn)") {
    const char* function = "tw_sim_scramble";
    if (args.length() != 2 || nargout > 0)
        tw::fail(tw::kNargin, function, "usage: tw_sim_scramble (sim, seed)");
    tw::Group& group = tw::groupArg(args(0), function);
    const std::int64_t seed = tw::integer(args(1), function, "seed");
    if (seed < 0)
        tw::fail(tw::kRange, function, "seed must be non-negative; got " + std::to_string(seed));
    for (int k = 0; k < 3; ++k)
        group.messages[k]->scramble(static_cast<std::uint64_t>(seed) * 3 +
                                    static_cast<std::uint64_t>(k));
    return octave_value_list();
}

DEFUN_DLD(tw_sim_step, args, nargout, R"(-*- texinfo -*-
@deftypefn {} {} tw_sim_step (@var{sim})
Play the simulated devices of @var{sim} for one control-loop step of 0.25 s:
each device reads its Command message and answers in its Feedback message.
A Command field of a kind Float, Enum, Bool, NumberedFloat, IoPin or Led
that carries its presence bit is copied into the same field of the Feedback
message, whose bit is then set; Feedback HighResAngle 0 moves by Command
Float 0 (a speed in rad/s, clamped to [-64, 64]) times 0.25 s; Feedback flag
0 flips every step. The rules, exactly: docs/messages.md, "Simulated
devices".
@seealso{tw_sim}
@end deftypefn)") {
    const char* function = "tw_sim_step";
    if (args.length() != 1 || nargout > 0)
        tw::fail(tw::kNargin, function, "usage: tw_sim_step (sim)");
    tw::Group& group = tw::groupArg(args(0), function);
    sim::step(*group.layouts[0], *group.messages[0], *group.layouts[1], *group.messages[1]);
    return octave_value_list();
}

DEFUN_DLD(tw_sim_message, args, nargout, R"(-*- texinfo -*-
@deftypefn {} {@var{m} =} tw_sim_message (@var{records}, @var{i})
The storage of message @var{i} (column @var{i} of @var{records}, counted
from 1) of a simulated group, read directly, bit for bit: a struct with
@code{presence} (uint32 1xW), @code{floats}, @code{numbered_floats} (single
1xK), @code{high_res_angle_revolutions} (int64 1xK),
@code{high_res_angle_offsets} (single 1xK), @code{vector3fs} (single 3xK),
@code{quaternionfs} (single 4xK), @code{uint64s}, @code{enums}, @code{bools},
@code{leds} (their classes, 1xK) and @code{io_pins} (uint32 4xK: value bits
0-31, value bits 32-63, tag, padding).
@end deftypefn)") {
    const char* function = "tw_sim_message";
    if (args.length() != 2 || nargout > 1)
        tw::fail(tw::kNargin, function, "usage: m = tw_sim_message (records, i)");
    const tw::Records r = tw::records(args(0), function);
    const std::int64_t i = tw::integer(args(1), function, "i");
    if (i < 1 || i > r.count)
        tw::fail(tw::kRange, function,
                 "i must be from 1 to " + std::to_string(r.count) +
                     " (the columns of records); got " + std::to_string(i));
    const auto it = tw::groups.find(r.set->group);
    if (r.set->group == 0 || it == tw::groups.end())
        tw::fail(tw::kRecords, function, "records are not those of a simulated group");
    tw::Group& group = *it->second;
    int kind = 0;
    while (group.sets[kind].get() != r.set) ++kind;
    const std::size_t index =
        (reinterpret_cast<std::uintptr_t>(r.data) - r.set->begin) / sizeof(MessageRecord) +
        static_cast<std::size_t>(i - 1);
    const sim::Message& m = (*group.messages[kind])[index];
    std::vector<std::int64_t> revolutions;
    std::vector<float> offsets;
    for (const HighResAngleEntry& e : m.highResAngles) {
        revolutions.push_back(e.revolutions);
        offsets.push_back(e.offset);
    }
    octave_scalar_map s;
    s.setfield("presence", tw::copied<uint32NDArray>(m.presence, 1));
    s.setfield("floats", tw::copied<FloatNDArray>(m.floats, 1));
    s.setfield("high_res_angle_revolutions", tw::copied<int64NDArray>(revolutions, 1));
    s.setfield("high_res_angle_offsets", tw::copied<FloatNDArray>(offsets, 1));
    s.setfield("vector3fs", tw::copied<FloatNDArray>(m.vector3fs, 3));
    s.setfield("quaternionfs", tw::copied<FloatNDArray>(m.quaternionfs, 4));
    s.setfield("uint64s", tw::copied<uint64NDArray>(m.uint64s, 1));
    s.setfield("enums", tw::copied<int32NDArray>(m.enums, 1));
    s.setfield("bools", tw::copied<uint8NDArray>(m.bools, 1));
    s.setfield("numbered_floats", tw::copied<FloatNDArray>(m.numberedFloats, 1));
    s.setfield("io_pins", tw::copied<uint32NDArray>(m.ioPins, 4));
    s.setfield("leds", tw::copied<uint32NDArray>(m.leds, 1));
    return octave_value(s);
}

// clang-format off
/*
%!function b = bytes (m)
%!  ## Every byte of a message's storage.
%!  b = cell2mat (cellfun (@(f) typecast (m.(f)(:)', "uint8"), fieldnames (m)', "uniformoutput", false));
%!endfunction

%!test
%! ## tw_sim: three kinds of messages with their own layouts, zeroed; after
%! ## tw_sim_free its records are refused, and so are sets made of them.
%! sim = tw_sim (5, 3);
%! assert (sim.count, 5);
%! assert (size (sim.command), [12 5]);
%! assert (double (sim.meta.command.base(1:3)), [0 3 6]);
%! assert (double ([sim.meta.feedback.base(1), sim.meta.info.base(1)]), [3 5]);
%! assert (sim.meta.feedback.pin_bank_table, int32 ([0 3 6]));
%! shape = tw_shape (sim.feedback);
%! assert ([shape.floats, shape.io_pins, shape.numbered_floats], [3 9 9]);
%! m = tw_sim_message (sim.info, 5);
%! assert (size (m.io_pins), [4 9]);
%! assert (all (bytes (m) == 0));
%! some = tw_records (sim.feedback(:, [5 2]), shape);
%! tw_sim_free (sim);
%! fail ("tw_command_get_float (sim.command, 0)", "forgotten");
%! fail ("tw_feedback_get_float (some, 0)", "forgotten");
%! fail ("tw_records (sim.feedback, shape)", "forgotten");
%! fail ("tw_sim_free (sim)", "not alive");

%!test
%! ## tw_sim_scramble: the same seed gives the same bytes, another other bytes.
%! [a, b] = deal (tw_sim (2), tw_sim (2));
%! tw_sim_scramble (a, 1);
%! tw_sim_scramble (b, 1);
%! assert (bytes (tw_sim_message (a.feedback, 2)), bytes (tw_sim_message (b.feedback, 2)));
%! tw_sim_scramble (b, 2);
%! assert (any (bytes (tw_sim_message (a.feedback, 2)) != bytes (tw_sim_message (b.feedback, 2))));
%! tw_sim_free (a);
%! tw_sim_free (b.id);

%!test
%! ## tw_sim_step: the devices answer. Commanded fields are echoed (with
%! ## their presence bits), the angle moves by speed x 0.25 s a step, the
%! ## heartbeat flag flips; nothing else is written.
%! s = tw_sim (3);
%! tw_initialize (s.meta.command, s.meta.feedback, s.meta.info);
%! speeds = single ([4 -2 0.5]);
%! tw_command_set_float (s.command, speeds, 0);
%! tw_command_set_io_pin_int (s.command, int64 ([-1 2^40 7]), 1, 2);
%! before = tw_sim_message (s.feedback, 2);
%! tw_sim_step (s);
%! tw_sim_step (s);
%! assert (tw_feedback_get_float (s.feedback, 0), speeds);
%! assert (tw_feedback_get_io_pin_int (s.feedback, 1, 2), int64 ([-1 2^40 7]));
%! assert (tw_feedback_has_io_pin_int (s.feedback, 1, 2), true (1, 3));
%! assert (tw_feedback_get_high_res_angle (s.feedback, 0), double (speeds) * 0.5, 1e-6);
%! assert (tw_feedback_has_field (s.feedback, tw_presence_bit ("feedback", "flag", 0)), false (1, 3));
%! tw_sim_step (s);
%! assert (tw_feedback_has_field (s.feedback, tw_presence_bit ("feedback", "flag", 0)), true (1, 3));
%! after = tw_sim_message (s.feedback, 2);
%! assert (after.leds, before.leds);
%! assert (after.vector3fs, before.vector3fs);
%! tw_sim_free (s);

%!error id=tovakwrapper:range tw_sim (-1)
%!error id=tovakwrapper:range tw_sim (2, 0)
%!error id=tovakwrapper:range tw_sim (8300, 64)  # 2.2 GB of messages
%!error id=tovakwrapper:integer tw_sim (2.5)
%!error id=tovakwrapper:range tw_sim_message (tw_sim (2).command, 3)
%!error id=tovakwrapper:records tw_sim_message (tw_records (zeros (12, 1, "uint64"), struct ("presence_words", 0)), 1)
%!error id=tovakwrapper:handle tw_sim_free (12345)
%!error id=tovakwrapper:class tw_sim_scramble ("sim", 1)
%!error id=tovakwrapper:nargin tw_sim_step ()
*/
// clang-format on
