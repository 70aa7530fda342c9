// SPDX-License-Identifier: MIT
// What the package's compiled functions share: errors, argument conversion,
// the record sets the package knows and the metadata it passed to the
// library.
//
// The package carries its own copy of the library, compiled into the same
// .oct file with its exports hidden (src/Makefile), so the metadata copies
// that miInitialize fills are seen by no one but these functions: the checks
// know exactly what the library holds.
#pragma once

#include <octave/oct.h>

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <variant>

#include "tovakWrapper.h"
#include "tovakWrapperCalls.h"

namespace tw {

// ---- errors ------------------------------------------------------------------
// Every refusal is an error() with one of these identifiers, raised before the
// library is called, so nothing is written when a call errors.
inline constexpr char kNargin[] = "tovakwrapper:nargin";            // inputs or outputs
inline constexpr char kClass[] = "tovakwrapper:class";              // an argument's class
inline constexpr char kSize[] = "tovakwrapper:size";                // its dimensions
inline constexpr char kOrientation[] = "tovakwrapper:orientation";  // a transposed array
inline constexpr char kCount[] = "tovakwrapper:count";              // values for another count
inline constexpr char kInteger[] = "tovakwrapper:integer";          // an index that is no integer
inline constexpr char kRange[] = "tovakwrapper:range";              // an index out of range
inline constexpr char kUninitialized[] = "tovakwrapper:uninitialized";  // before tw_initialize
inline constexpr char kRecords[] = "tovakwrapper:records";      // records the package does not know
inline constexpr char kAlignment[] = "tovakwrapper:alignment";  // a misaligned array view
inline constexpr char kStruct[] = "tovakwrapper:struct";        // a struct's fields
inline constexpr char kHandle[] = "tovakwrapper:handle";        // a call list or simulated group
inline constexpr char kAccessor[] = "tovakwrapper:accessor";    // a call naming no accessor

// error() with `id`, the message prefixed with the function's name.
[[noreturn]] void fail(const char* id, const char* function, const std::string& message);

// How an argument is named in messages: "a double 1x12 array", "a single
// scalar", "a 1x1 struct".
std::string describe(const octave_value& value);

// ---- indices -----------------------------------------------------------------

// An index argument converted once: a real, integer-valued numeric scalar of
// any class but logical and char (a double literal, int32(2), ...). Values
// beyond int64 are reported as out of range.
std::int64_t integerSlow(const octave_value& value, const char* function, const char* name);

inline std::int64_t integer(const octave_value& value, const char* function, const char* name) {
    if (value.is_double_type() && value.is_real_scalar()) {
        const double d = value.double_value();
        // Integer-valued and within +-2^62: the common case, converted exactly.
        if (d >= -0x1p62 && d <= 0x1p62 && static_cast<double>(static_cast<std::int64_t>(d)) == d)
            return static_cast<std::int64_t>(d);
    }
    return integerSlow(value, function, name);
}

// ---- record sets -------------------------------------------------------------

// Elements in each value array of kinds 0 to 9 (the reserved kind is never
// addressed) and presence words, of every message of a record set.
struct Shape {
    std::array<std::uint64_t, MI_KIND_RESERVED> elements{};
    std::uint64_t presenceWords = 0;
};

// The Shape struct's field of each kind, in kind order.
extern const std::array<const char*, MI_KIND_RESERVED> kShapeFields;
extern const std::array<const char*, MI_KIND_RESERVED> kKindNames;  // "Float" ...

// A uint64 12xN matrix the package knows as N MessageRecords of messages of
// one shape. It holds the matrix, so the memory stays where it is while the
// set is known, and any change made to the matrix in Octave makes a copy
// elsewhere, which the package does not know. A forgotten set stays known as
// forgotten while any Octave value shares its matrix, so that its records
// are refused, not made a set again.
struct RecordSet {
    uint64NDArray held;
    std::uintptr_t begin = 0, end = 0;  // the records' bytes
    Shape shape;
    bool alive = true;        // false once forgotten or its simulated group freed
    std::uint64_t group = 0;  // the simulated group that owns the messages, 0: none
};

// The records argument of a call: N records (column by column) of a known
// set, which may be any run of whole columns of a known matrix.
struct Records {
    const MessageRecord* data;
    std::uint32_t count;
    const RecordSet* set;
};

// Refuses anything but a known record set (tovakwrapper:class, :size,
// :records).
Records records(const octave_value& value, const char* function);
// The same, and the set itself, for what keeps it (call lists).
Records records(const octave_value& value, const char* function, std::shared_ptr<RecordSet>& keep);
// The set a records argument belongs to, forgotten or not.
std::shared_ptr<RecordSet> knownSet(const octave_value& value, const char* function);

// Registers a set: `matrix` is a uint64 12xN matrix; refuses one that
// overlaps a known set (a part of one with the same shape is returned as it
// is). Returns the set.
std::shared_ptr<RecordSet> registerSet(const octave_value& matrix, const Shape& shape,
                                       std::uint64_t group, const char* function);
// Forgets a set, for its messages are about to be freed: calls with it, and
// call lists holding it, are refused after, and so are the sets tw_records
// made of any of its records (copies, selections of columns), which point to
// the same messages. Simulated groups' sets are forgotten only by their own
// tw_sim_free.
void forget(const std::shared_ptr<RecordSet>& set);
// The shape struct of a shape, and a shape from a struct argument.
octave_scalar_map shapeStruct(const Shape& shape);
Shape shapeArg(const octave_value& value, const char* function, const char* name);

// ---- what the library was given ---------------------------------------------

enum Copy { kCommand = 0, kFeedback = 1, kInfo = 2 };
extern const std::array<const char*, 3> kCopyNames;  // "Command" ...

struct Known {
    std::uint64_t epoch = 0;  // 0 before tw_initialize, then one more per call
    std::array<std::array<std::uint32_t, MI_KIND_COUNT>, 3> base{};
    // numberedFloatTable and pinBankTable of each copy; the library reads
    // these very vectors, which the package owns.
    std::array<std::array<std::vector<std::int32_t>, 2>, 3> tables;
};
const Known& known();

// ---- the accessors, for call lists --------------------------------------------

// An array a call reads or writes, kept while the library uses it: values
// as the plain Array they are moved into (no copy), outputs as the Octave
// array type they are returned as.
using Held =
    std::variant<std::monostate, Array<float>, Array<double>, Array<octave_uint64>,
                 Array<octave_int32>, Array<octave_uint8>, Array<bool>, Array<octave_int64>,
                 Array<octave_uint32>, FloatNDArray, NDArray, uint64NDArray, int32NDArray,
                 uint8NDArray, boolNDArray, int64NDArray, uint32NDArray>;

struct AccessorOps {
    const char* name;    // "tw_command_set_float"
    int indices;         // index arguments after the records (and values): 1 or 2
    bool takesValues;    // a setter other than tw_command_set_flag
    bool returnsValues;  // a getter or query
    // Checks converted indices against the records and the metadata of now,
    // and sets the call's number and field; raises as the call would.
    void (*check)(const Records& records, const std::int64_t* indices, const char* function,
                  MiCall& call);
    // Checks a values argument for `count` messages and returns the pointer
    // to pass (null for []), the array kept in `held`.
    const void* (*values)(const octave_value& value, std::uint32_t count, Held& held,
                          const char* function, const char* name);
    // The output array for `count` messages, kept in `held` (which may hold
    // one from an earlier run to write again), and its pointer.
    void* (*output)(std::uint32_t count, Held& held);
    // The Octave value of that output, once written.
    octave_value (*result)(const Held& held);
};
// value: 1 to MI_ACCESSOR_COUNT.
const AccessorOps& accessorOps(std::uint32_t value);
// The accessor value of an Octave function name ("tw_command_set_float"), or 0.
std::uint32_t accessorNamed(const std::string& name);

}  // namespace tw
