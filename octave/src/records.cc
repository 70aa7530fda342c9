// SPDX-License-Identifier: MIT
// Record sets: which uint64 12xN matrices the package knows as MessageRecords,
// with the shape of their messages; tw_records, tw_shape and tw_forget; and
// the errors and index conversion every function shares.
//
// A set is known by the address range of its records. The package holds the
// matrix, so that range stays the matrix's while the set is known, and an
// Octave change to the matrix (or to any value sharing it) makes a copy at
// another address, which is refused. Any run of whole columns of a known
// matrix (R(:, 3:7)) shares its memory and is known as part of it. Forgotten
// sets stay known, refused, while a value shares their memory.

#include <octave/interpreter.h>
#include <octave/oct.h>

#include <algorithm>
#include <array>
#include <cinttypes>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <limits>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "gateway.h"

namespace tw {

const std::array<const char*, MI_KIND_RESERVED> kShapeFields = {
    "floats", "high_res_angles", "vector3fs",       "quaternionfs", "uint64s",
    "enums",  "bools",           "numbered_floats", "io_pins",      "leds"};
const std::array<const char*, MI_KIND_RESERVED> kKindNames = {
    "Float", "HighResAngle", "Vector3f",      "Quaternionf", "UInt64",
    "Enum",  "Bool",         "NumberedFloat", "IoPin",       "Led"};
const std::array<const char*, 3> kCopyNames = {"Command", "Feedback", "Info"};

void fail(const char* id, const char* function, const std::string& message) {
    error_with_id(id, "%s: %s", function, message.c_str());
}

std::string describe(const octave_value& v) {
    if (v.is_undefined()) return "nothing";
    if (v.is_function_handle()) return "a function handle";
    const std::string size = v.dims().str();
    if (v.isstruct()) return "a " + size + " struct";
    if (v.iscell()) return "a " + size + " cell array";
    if (v.is_string()) return "a char " + size + " string";
    std::string cls = v.class_name();
    if (v.iscomplex()) cls = "complex " + cls;
    if (v.issparse()) cls = "sparse " + cls;
    if (v.numel() == 1 && v.ndims() == 2) return "a " + cls + " scalar";
    return "a " + cls + " " + size + " array";
}

namespace {

std::string number(double d) {
    char text[32];
    std::snprintf(text, sizeof text, "%.17g", d);
    return text;
}

}  // namespace

std::int64_t integerSlow(const octave_value& v, const char* function, const char* name) {
    if (!v.isnumeric() || v.iscomplex())
        fail(kClass, function,
             std::string(name) + " must be a real number (an integer); got " + describe(v));
    if (v.numel() != 1)
        fail(kSize, function, std::string(name) + " must be a scalar; got " + describe(v));
    if (v.is_uint64_type()) {
        const std::uint64_t u = v.uint64_scalar_value().value();
        if (u > static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max()))
            fail(kRange, function,
                 std::string(name) + " is out of range (got " + std::to_string(u) + ")");
        return static_cast<std::int64_t>(u);
    }
    if (v.isinteger()) return v.int64_scalar_value().value();
    const double d = v.double_value();
    if (!std::isfinite(d) || d != std::trunc(d))
        fail(kInteger, function, std::string(name) + " must be an integer; got " + number(d));
    if (!(d >= -0x1p63 && d < 0x1p63))
        fail(kRange, function, std::string(name) + " is out of range (got " + number(d) + ")");
    return static_cast<std::int64_t>(d);
}

namespace {

constexpr std::uintptr_t kRecordBytes = sizeof(MessageRecord);
static_assert(kRecordBytes == 12 * sizeof(std::uint64_t));
static_assert(sizeof(octave_uint64) == sizeof(std::uint64_t) &&
              alignof(octave_uint64) == alignof(std::uint64_t));

// Known sets by the address of their first record.
std::map<std::uintptr_t, std::shared_ptr<RecordSet>> sets;
// The set the last call used: most calls use the same few sets.
RecordSet* last = nullptr;

// Whether [begin, begin + bytes) is a run of whole records of `set`.
bool within(const RecordSet& set, std::uintptr_t begin, std::uintptr_t bytes) {
    return begin >= set.begin && begin <= set.end && bytes <= set.end - begin &&
           (begin - set.begin) % kRecordBytes == 0;
}

std::map<std::uintptr_t, std::shared_ptr<RecordSet>>::iterator find(std::uintptr_t begin,
                                                                    std::uintptr_t bytes) {
    auto it = sets.upper_bound(begin);
    if (it == sets.begin()) return sets.end();
    --it;
    return within(*it->second, begin, bytes) ? it : sets.end();
}

// The matrix of a records argument, refused unless it is a uint64 12xN one.
uint64NDArray matrix(const octave_value& v, const char* function) {
    if (!v.is_uint64_type())
        fail(kClass, function,
             "records must be a record set, a uint64 12xN matrix made by tw_records or tw_sim; "
             "got " +
                 describe(v));
    uint64NDArray a = v.uint64_array_value();
    const dim_vector& d = a.dims();
    if (d.ndims() != 2 || d(0) != 12) {
        if (d.ndims() == 2 && d(1) == 12)
            fail(kOrientation, function,
                 "records must be 12xN, one MessageRecord (12 uint64 words) per column; got " +
                     d.str() + ", its transpose: it is never transposed for you");
        fail(
            kSize, function,
            "records must be 12xN, one MessageRecord (12 uint64 words) per column; got " + d.str());
    }
    return a;
}

[[noreturn]] void unknown(const char* function) {
    fail(kRecords, function,
         "records are not a record set the package knows: make them with tw_records (or "
         "tw_sim); a changed copy of a record set is not one");
}

constexpr char kForgotten[] =
    "forgotten (by tw_forget, by freeing their simulated group, or with a set made of the same "
    "records): the messages they point to may be gone";

// The known set, forgotten or not, that [begin, begin + bytes) lies in.
RecordSet& containing(std::uintptr_t begin, std::uintptr_t bytes, const char* function) {
    if (last != nullptr && within(*last, begin, bytes)) return *last;
    const auto it = find(begin, bytes);
    if (it == sets.end()) unknown(function);
    return *it->second;
}

// Drops the sets whose matrix no Octave value shares any more (only the
// package's reference is left), but for the live ones a simulated group owns.
void sweep() {
    for (auto it = sets.begin(); it != sets.end();) {
        RecordSet& set = *it->second;
        if ((set.group == 0 || !set.alive) && !set.held.is_shared()) {
            set.alive = false;
            if (last == &set) last = nullptr;
            it = sets.erase(it);
        } else {
            ++it;
        }
    }
}

// Marks a set forgotten; it stays in `sets` until swept.
void retire(RecordSet& set) {
    set.alive = false;
    if (last == &set) last = nullptr;
}

bool sameShape(const Shape& a, const Shape& b) {
    return a.elements == b.elements && a.presenceWords == b.presenceWords;
}

}  // namespace

Records records(const octave_value& v, const char* function) {
    const uint64NDArray a = matrix(v, function);
    const auto begin = reinterpret_cast<std::uintptr_t>(a.data());
    const auto count = static_cast<std::uintptr_t>(a.dims()(1));
    RecordSet& set = containing(begin, count * kRecordBytes, function);
    if (!set.alive) fail(kRecords, function, std::string("records were ") + kForgotten);
    last = &set;
    return Records{reinterpret_cast<const MessageRecord*>(begin), static_cast<std::uint32_t>(count),
                   last};
}

Records records(const octave_value& v, const char* function, std::shared_ptr<RecordSet>& keep) {
    const Records r = records(v, function);
    keep = sets.at(r.set->begin);
    return r;
}

std::shared_ptr<RecordSet> knownSet(const octave_value& v, const char* function) {
    const uint64NDArray a = matrix(v, function);
    const auto begin = reinterpret_cast<std::uintptr_t>(a.data());
    const auto count = static_cast<std::uintptr_t>(a.dims()(1));
    return sets.at(containing(begin, count * kRecordBytes, function).begin);
}

std::shared_ptr<RecordSet> registerSet(const octave_value& value, const Shape& shape,
                                       std::uint64_t group, const char* function) {
    sweep();
    const uint64NDArray a = matrix(value, function);
    const auto begin = reinterpret_cast<std::uintptr_t>(a.data());
    const auto count = static_cast<std::uint64_t>(a.dims()(1));
    if (count > std::numeric_limits<std::uint32_t>::max())
        fail(kSize, function,
             "records must be at most 4294967295 columns; got " + std::to_string(count));
    const std::uintptr_t end = begin + count * kRecordBytes;
    // Already known, or a part of a known set: the same records, if the shape
    // is the same.
    const auto it = find(begin, end - begin);
    if (it != sets.end()) {
        if (!it->second->alive)
            fail(kRecords, function,
                 std::string("these records are (part of) a record set that was ") + kForgotten);
        if (!sameShape(it->second->shape, shape))
            fail(kRecords, function,
                 "these records are (part of) a record set the package knows with another "
                 "shape; a set's shape is fixed when it is made");
        return it->second;
    }
    // Overlapping a known set any other way: refused.
    for (const auto& [start, set] : sets)
        if (start < end && begin < set->end)
            fail(kRecords, function,
                 "these records overlap a record set the package knows without lying within "
                 "it; make the whole matrix a record set once, and pass runs of its columns");
    auto set = std::make_shared<RecordSet>();
    set->held = a;
    set->begin = begin;
    set->end = end;
    set->shape = shape;
    set->group = group;
    sets.emplace(begin, set);
    return set;
}

void forget(const std::shared_ptr<RecordSet>& set) {
    if (!set->alive) return;
    retire(*set);
    // Every other set holding one of its pointers goes too: the pointers the
    // library may follow, to the presence words and the arrays of the kinds
    // their shapes give elements (never the reserved one).
    const auto followed = [](const RecordSet& s) {
        std::array<bool, 12> f{};
        f[0] = s.shape.presenceWords != 0;
        for (int k = 0; k < MI_KIND_RESERVED; ++k) f[1 + k] = s.shape.elements[k] != 0;
        return f;
    };
    const auto mine = followed(*set);
    std::vector<std::uint64_t> pointers;
    const octave_uint64* words = set->held.data();
    for (octave_idx_type i = 0; i < set->held.numel(); ++i)
        if (mine[i % 12]) pointers.push_back(words[i].value());
    std::sort(pointers.begin(), pointers.end());
    for (const auto& [start, other] : sets) {
        if (!other->alive || other->group != 0) continue;
        const auto theirs = followed(*other);
        const octave_uint64* their = other->held.data();
        for (octave_idx_type i = 0; i < other->held.numel(); ++i)
            if (theirs[i % 12] &&
                std::binary_search(pointers.begin(), pointers.end(), their[i].value())) {
                retire(*other);
                break;
            }
    }
}

octave_scalar_map shapeStruct(const Shape& shape) {
    octave_scalar_map m;
    m.setfield("presence_words", static_cast<double>(shape.presenceWords));
    for (int k = 0; k < MI_KIND_RESERVED; ++k)
        m.setfield(kShapeFields[k], static_cast<double>(shape.elements[k]));
    return m;
}

Shape shapeArg(const octave_value& v, const char* function, const char* name) {
    if (!v.isstruct() || v.numel() != 1)
        fail(kClass, function,
             std::string(name) +
                 " must be a shape struct (presence_words, floats, ..., leds); got " + describe(v));
    const octave_scalar_map m = v.scalar_map_value();
    const string_vector fields = m.fieldnames();
    Shape shape;
    bool words = false;
    for (octave_idx_type i = 0; i < fields.numel(); ++i) {
        const std::string field = fields[i];
        int kind = -1;
        for (int k = 0; k < MI_KIND_RESERVED; ++k)
            if (field == kShapeFields[k]) kind = k;
        if (kind < 0 && field != "presence_words")
            fail(kStruct, function,
                 std::string(name) + " has a field '" + field +
                     "'; a shape has presence_words, floats, high_res_angles, vector3fs, "
                     "quaternionfs, uint64s, enums, bools, numbered_floats, io_pins and leds");
        const std::string label = std::string(name) + "." + field;
        const std::int64_t n = integer(m.getfield(field), function, label.c_str());
        // Presence bits wrap at 2^32, so more than 2^27 words are never addressed.
        const std::int64_t limit = kind < 0 ? std::int64_t{1} << 27 : std::int64_t{1} << 32;
        if (n < 0 || n > limit)
            fail(kRange, function,
                 label + " must be from 0 to " + std::to_string(limit) + "; got " +
                     std::to_string(n));
        if (kind < 0) {
            shape.presenceWords = static_cast<std::uint64_t>(n);
            words = true;
        } else {
            shape.elements[kind] = static_cast<std::uint64_t>(n);
        }
    }
    if (!words)
        fail(kStruct, function,
             std::string(name) +
                 " has no field presence_words (32-bit presence words per "
                 "message)");
    return shape;
}

}  // namespace tw

DEFMETHOD_DLD(tw_records, interp, args, nargout, R"(-*- texinfo -*-
@deftypefn {} {@var{records} =} tw_records (@var{matrix}, @var{shape})
Make @var{matrix}, a uint64 12xN matrix whose column @var{i} is the
MessageRecord of message @var{i} (its 96 bytes as 12 words), a record set of
messages of @var{shape}, and return it (the same matrix, not a copy).

@var{shape} is a struct: @code{presence_words} (32-bit presence words of each
message) and the elements of each value array: @code{floats},
@code{high_res_angles}, @code{vector3fs}, @code{quaternionfs},
@code{uint64s}, @code{enums}, @code{bools}, @code{numbered_floats},
@code{io_pins}, @code{leds} (missing: 0). The package checks every index
against it; that the messages' arrays are that long, and that the pointers
are live, is the caller's word.

Any run of whole columns of a record set, @code{@var{records}(:, 3:7)}, is one
too: it shares the matrix's memory. A changed copy is not (it is made
elsewhere), nor is anything that overlaps a set but does not lie within it.
The package keeps a set while any Octave value shares its matrix (or, for
@code{tw_sim}, until @code{tw_sim_free}). The records of a forgotten set
(@code{tw_forget}, @code{tw_sim_free}) are refused here too.
@seealso{tw_shape, tw_forget, tw_sim}
@end deftypefn)") {
    const char* function = "tw_records";
    if (args.length() != 2 || nargout > 1)
        tw::fail(tw::kNargin, function, "usage: records = tw_records (matrix, shape)");
    const tw::Shape shape = tw::shapeArg(args(1), function, "shape");
    tw::registerSet(args(0), shape, 0, function);
    interp.mlock();
    return octave_value_list(args(0));
}

DEFUN_DLD(tw_shape, args, nargout, R"(-*- texinfo -*-
@deftypefn {} {@var{shape} =} tw_shape (@var{records})
The shape struct of the record set @var{records} belongs to (see
@code{tw_records}).
@end deftypefn)") {
    const char* function = "tw_shape";
    if (args.length() != 1 || nargout > 1)
        tw::fail(tw::kNargin, function, "usage: shape = tw_shape (records)");
    return octave_value(tw::shapeStruct(tw::records(args(0), function).set->shape));
}

DEFUN_DLD(tw_forget, args, nargout, R"(-*- texinfo -*-
@deftypefn {} {} tw_forget (@var{records})
Forget the record set @var{records} belongs to: calls with it, and call lists
that hold it, are refused from then on, and so are the record sets
@code{tw_records} made of any of its records (copies, selections of columns),
which point to the same messages. A gateway of a message library calls it
before the messages its records point to are freed. Records forgotten
already are left as they are. The records of a simulated group are forgotten
by @code{tw_sim_free}.
@end deftypefn)") {
    const char* function = "tw_forget";
    if (args.length() != 1 || nargout > 0)
        tw::fail(tw::kNargin, function, "usage: tw_forget (records)");
    const std::shared_ptr<tw::RecordSet> set = tw::knownSet(args(0), function);
    if (!set->alive) return octave_value_list();  // forgotten already
    if (set->group != 0)
        tw::fail(tw::kRecords, function,
                 "these records belong to simulated group " + std::to_string(set->group) +
                     "; tw_sim_free frees the group and forgets them");
    tw::forget(set);
    return octave_value_list();
}

// clang-format off
/*
%!shared sim, C
%! sim = tw_sim (4);
%! C = sim.command;

%!test
%! ## A record set is its matrix: runs of whole columns are part of it, a
%! ## changed copy and any other matrix are not, wherever they lie.
%! tw_initialize (sim.meta.command, sim.meta.feedback, sim.meta.info);
%! tw_command_set_float (C, single (1:4), 0);
%! assert (tw_command_get_float (C(:, 2:3), 0), single ([2 3]));
%! assert (tw_command_get_float (C(:, 4), 0), single (4));
%! D = C;
%! D(1, 1) = D(1, 1);  # assigning to a shared value copies it
%! fail ("tw_command_get_float (D, 0)", "not a record set the package knows");
%! for k = 1:100
%!   assert (size (tw_command_get_float (C, 0)), [1 4]);
%!   fail ("tw_command_get_float (zeros (12, 4, 'uint64'), 0)", "not a record set");
%! endfor

%!test
%! ## tw_records: the matrix itself comes back; its pointers are what count.
%! ## A part of a known set with the same shape is accepted, with another
%! ## shape refused, and so is a set overlapping one without lying in it.
%! tw_initialize (sim.meta.command, sim.meta.feedback, sim.meta.info);
%! R = tw_records (C + 0, tw_shape (C));  # the same pointers, in a new matrix
%! tw_command_set_led (R, uint32 ([5 6 7 8]), 1);
%! assert (tw_command_get_led (C, 1), uint32 ([5 6 7 8]));
%! assert (tw_shape (R), tw_shape (C));
%! assert (tw_records (R(:, 2:3), tw_shape (C)), R(:, 2:3));
%! fail ("tw_records (R(:, 2:3), struct ('presence_words', 1))", "another shape");
%! X = C + 0;
%! tw_records (X(:, 2:3), tw_shape (C));
%! fail ("tw_records (X, tw_shape (C))", "overlap");
%! small = tw_records (C + 0, struct ("presence_words", 1, "leds", 1));
%! fail ("tw_command_set_led (small, uint32 ([1 2 3 4]), 1)", "Led arrays hold 1 elements");
%! fail ("tw_command_set_led (small, uint32 ([1 2 3 4]), 0)", "presence bit 60 .* in presence word 1; these records have 1 presence words");

%!test
%! ## A set is kept while any value shares its matrix (a run of its columns,
%! ## a call list). tw_forget forgets it and every set made of any of the
%! ## same records (their messages go too); forgotten records stay
%! ## refused, by tw_records too, and forgetting them again does nothing.
%! tw_initialize (sim.meta.command, sim.meta.feedback, sim.meta.info);
%! X = tw_records (C + 0, tw_shape (C));
%! S = X(:, 1:2);
%! L = tw_call_list ({@tw_command_get_led, X(:, 3:4), 1});
%! clear X
%! keep = tw_records (C(:, [4 1]), tw_shape (C));  # made after: drops what no value shares
%! other = tw_records (C(:, [3 2]), tw_shape (C));
%! assert (size (tw_command_get_led (S, 1)), [1 2]);
%! assert (size (tw_run_calls (L)), [1 2]);
%! tw_forget (keep);
%! fail ("tw_command_get_led (keep, 1)", "forgotten");
%! fail ("tw_command_get_led (S, 1)", "forgotten");  # the same messages 1 and 4
%! fail ("tw_run_calls (L)", "no longer known");
%! fail ("tw_records (S, tw_shape (C))", "forgotten");
%! tw_forget (keep);
%! tw_forget (S);
%! assert (size (tw_command_get_led (other, 1)), [1 2]);  # messages 2 and 3 only
%! assert (size (tw_command_get_led (C, 1)), [1 4]);
%! fail ("tw_forget (C)", "tw_sim_free");

%!test
%! ## A gateway of one's own (the installed example, built here with
%! ## tovakwrapper_octave.h) hands its messages over, and they are forgotten
%! ## before it frees them.
%! desc = pkg ("list", "tovakwrapper"){1};
%! dir = tempname ();
%! mkdir (dir);
%! unwind_protect
%!   copyfile (fullfile (desc.dir, "examples", "my_messages.cc"), dir);
%!   mkoctfile (["-I" fullfile(desc.dir, "include")], "-o", fullfile (dir, "my_messages.oct"), ...
%!              fullfile (dir, "my_messages.cc"));
%!   addpath (dir);
%!   autoload ("my_message_floats", fullfile (dir, "my_messages.oct"));
%!   [records, meta] = my_messages (3);
%!   tw_initialize (meta, meta, meta);
%!   tw_command_set_float (records, single ([1 2 3]), 5);
%!   assert (my_message_floats (2), single ([0 0 0 0 0 2 0 0]));
%!   assert (tw_command_has_field (records, tw_presence_bit ("command", "float", 5)), true (1, 3));
%!   fail ("tw_command_set_float (records, single ([1 2 3]), 8)", "Float arrays hold 8 elements");
%!   fail ("tw_command_set_enum (records, int32 ([1 2 3]), 0)", "no Enum array");
%!   some = tw_records (records(:, [3 1]), tw_shape (records));
%!   newer = my_messages (2);
%!   fail ("tw_command_get_float (records, 0)", "forgotten");
%!   fail ("tw_command_get_float (some, 0)", "forgotten");
%!   tw_forget (records);
%!   newer = my_messages (2);  # its set was forgotten already: it goes on
%!   assert (tw_command_get_float (newer, 5), single ([0 0]));
%! unwind_protect_cleanup
%!   rmpath (dir);
%!   confirm_recursive_rmdir (false, "local");
%!   rmdir (dir, "s");
%! end_unwind_protect

## A shape is a struct of known fields, presence_words among them.
%!error id=tovakwrapper:struct tw_records (C + 0, struct ("presence_words", 1, "float", 4))
%!error id=tovakwrapper:struct tw_records (C + 0, struct ("floats", 4))
%!error id=tovakwrapper:range tw_records (C + 0, struct ("presence_words", -1))
%!error id=tovakwrapper:range tw_records (C + 0, struct ("presence_words", 2^27 + 1))
%!error id=tovakwrapper:integer tw_records (C + 0, struct ("presence_words", 1.5))
%!error id=tovakwrapper:class tw_records (C + 0, 1)
%!error id=tovakwrapper:class tw_records (double (C), tw_shape (C))
%!error id=tovakwrapper:size tw_records (C(1:11, :) + 0, tw_shape (C))
%!error id=tovakwrapper:nargin tw_records (C + 0)
*/
// clang-format on
