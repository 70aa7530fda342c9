// SPDX-License-Identifier: MIT
// The 48 accessors as Octave functions, tw_<name> for each entry of the
// accessor list (tovakWrapperAccessors.h), and tw_initialize: every function,
// its help text, its checks and its argument classes come from expanding
// MI_ACCESSORS, never from a list of its own.
//
// A call converts each argument once, checks all of them against the record
// set's shape and the metadata the library was given, and only then calls
// the library, passing the Octave arrays' own memory: records, values and
// outputs are never copied.

#include <octave/interpreter.h>
#include <octave/oct.h>

#include <cinttypes>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <limits>
#include <string>
#include <type_traits>
#include <utility>

#include "gateway.h"
#include "tovakWrapper.h"
#include "tovakWrapperAccessors.h"

namespace tw {
namespace {

// ---- the accessor list as types ------------------------------------------------

enum class Op { SET, GET, HAS };
enum class Message { COMMAND, FEEDBACK, INFO };
enum class Family {
    Float,
    HighResAngle,
    Vector3f,
    Quaternionf,
    UInt64,
    Enum,
    Bool,
    NumberedFloat,
    IoPin,
    IoPinInt,
    IoPinFloat,
    Led,
    Flag,
    Field
};
enum class ArgShape { FIELD, ENTRY };

template <std::uint32_t V>
struct Accessor;

#define TW_ACCESSOR(value, ID, function, name, MESSAGE, OP, FAMILY, KIND, ARGS, T) \
    template <>                                                                    \
    struct Accessor<value> {                                                       \
        static constexpr const char* octaveName = "tw_" #name;                     \
        static constexpr Message message = Message::MESSAGE;                       \
        static constexpr Op op = Op::OP;                                           \
        static constexpr Family family = Family::FAMILY;                           \
        static constexpr int kind = MI_KIND_##KIND;                                \
        static constexpr ArgShape args = ArgShape::ARGS;                           \
        using Element = T;                                                         \
        static constexpr auto call = &function;                                    \
    };
MI_ACCESSORS(TW_ACCESSOR)
#undef TW_ACCESSOR

// ---- Octave classes of values and outputs ---------------------------------------

struct SingleClass {
    using Array = FloatNDArray;
    static constexpr const char* octaveClass = "single";
    static bool is(const octave_value& v) { return v.is_single_type() && !v.iscomplex(); }
    static Array get(const octave_value& v) { return v.float_array_value(); }
};
struct DoubleClass {
    using Array = NDArray;
    static constexpr const char* octaveClass = "double";
    static bool is(const octave_value& v) {
        return v.is_double_type() && !v.iscomplex() && !v.issparse();
    }
    static Array get(const octave_value& v) { return v.array_value(); }
};
#define TW_INTEGER_CLASS(Name, ArrayType, text, test, getter)          \
    struct Name {                                                      \
        using Array = ArrayType;                                       \
        static constexpr const char* octaveClass = text;               \
        static bool is(const octave_value& v) { return v.test(); }     \
        static Array get(const octave_value& v) { return v.getter(); } \
    };
TW_INTEGER_CLASS(UInt64Class, uint64NDArray, "uint64", is_uint64_type, uint64_array_value)
TW_INTEGER_CLASS(Int64Class, int64NDArray, "int64", is_int64_type, int64_array_value)
TW_INTEGER_CLASS(Int32Class, int32NDArray, "int32", is_int32_type, int32_array_value)
TW_INTEGER_CLASS(UInt32Class, uint32NDArray, "uint32", is_uint32_type, uint32_array_value)
TW_INTEGER_CLASS(UInt8Class, uint8NDArray, "uint8", is_uint8_type, uint8_array_value)
#undef TW_INTEGER_CLASS
struct LogicalClass {
    using Array = boolNDArray;
    static constexpr const char* octaveClass = "logical";
    static bool is(const octave_value& v) { return v.islogical() && !v.issparse(); }
    static Array get(const octave_value& v) { return v.bool_array_value(); }
};

// The class and rows of one family's values (and of its getters' outputs).
template <Family F>
struct Data;
#define TW_DATA(F, ClassType, n, text)            \
    template <>                                   \
    struct Data<Family::F> {                      \
        using Class = ClassType;                  \
        static constexpr int rows = n;            \
        static constexpr const char* rule = text; \
    };
TW_DATA(Float, SingleClass, 1, "Float fields hold 32-bit floats")
TW_DATA(HighResAngle, DoubleClass, 1, "angles are doubles, in radians")
TW_DATA(Vector3f, SingleClass, 3, "a Vector3f is 3 singles")
TW_DATA(Quaternionf, SingleClass, 4, "a Quaternionf is 4 singles")
TW_DATA(UInt64, UInt64Class, 1, "UInt64 fields hold 64-bit unsigned integers")
TW_DATA(Enum, Int32Class, 1, "Enum fields hold 32-bit signed integers")
TW_DATA(Bool, UInt8Class, 1, "Bool fields hold bytes, stored as they are")
TW_DATA(NumberedFloat, SingleClass, 1, "numbered floats are 32-bit floats")
TW_DATA(IoPin, UInt32Class, 4,
        "a whole IoPinEntry is 4 uint32: value bits 0-31, value bits 32-63, tag, padding")
TW_DATA(IoPinInt, Int64Class, 1, "integer pins hold 64-bit signed integers")
TW_DATA(IoPinFloat, SingleClass, 1, "float pins hold 32-bit floats")
TW_DATA(Led, UInt32Class, 1, "Led fields hold 32-bit words")
TW_DATA(Flag, LogicalClass, 1, "flags are answered as logical")
TW_DATA(Field, LogicalClass, 1, "presence is answered as logical")
#undef TW_DATA

// Queries answer logical whatever the family they ask about.
template <std::uint32_t V>
using DataOf =
    std::conditional_t<Accessor<V>::op == Op::HAS, Data<Family::Field>, Data<Accessor<V>::family>>;

template <std::uint32_t V>
constexpr bool takesValues = (Accessor<V>::op == Op::SET) && (Accessor<V>::family != Family::Flag);

template <std::uint32_t V>
constexpr int indexCount = Accessor<V>::args == ArgShape::ENTRY ? 2 : 1;

// Setters, flag getters and the numbered-float and pin calls read the
// metadata; plain getters and the Has...Field queries do not.
template <std::uint32_t V>
constexpr bool readsMetadata = Accessor<V>::op == Op::SET || Accessor<V>::family == Family::Flag ||
                               Accessor<V>::args == ArgShape::ENTRY;

// What each accessor is, at run time: help texts, tw_accessors, names.
struct Info {
    std::uint32_t value;
    const char* octaveName;
    const char* cName;
    Message message;
    Op op;
    Family family;
    int kind;
    ArgShape args;
    const char* className;  // of its values or output; "" for tw_command_set_flag
    int rows;               // rows of its values or output; 0 for tw_command_set_flag
};

template <std::uint32_t V>
constexpr bool noData = (Accessor<V>::op == Op::SET) && (Accessor<V>::family == Family::Flag);

#define TW_INFO(value, ID, function, name, MESSAGE, OP, FAMILY, KIND, ARGS, T) \
    {value,                                                                    \
     "tw_" #name,                                                              \
     #function,                                                                \
     Message::MESSAGE,                                                         \
     Op::OP,                                                                   \
     Family::FAMILY,                                                           \
     MI_KIND_##KIND,                                                           \
     ArgShape::ARGS,                                                           \
     noData<value> ? "" : DataOf<value>::Class::octaveClass,                   \
     noData<value> ? 0 : DataOf<value>::rows},
constexpr Info kList[] = {MI_ACCESSORS(TW_INFO)};
#undef TW_INFO
static_assert(sizeof kList / sizeof kList[0] == MI_ACCESSOR_COUNT);

constexpr bool valuesInOrder() {
    for (std::uint32_t i = 0; i < MI_ACCESSOR_COUNT; ++i)
        if (kList[i].value != i + 1) return false;
    return true;
}
static_assert(valuesInOrder(), "the accessor list holds the values 1 to 48 in order");

// The names of the index arguments.
constexpr std::pair<const char*, const char*> indexNames(Family family, ArgShape args) {
    if (args == ArgShape::ENTRY)
        return family == Family::NumberedFloat ? std::pair{"number", "field"}
                                               : std::pair{"pin", "bank"};
    return {family == Family::Field ? "bit" : "field", ""};
}

// ---- checks ------------------------------------------------------------------------

std::string str(std::int64_t v) { return std::to_string(v); }

// Presence bit base[kind] + offset (modulo 2^32) of `copy` must lie in the
// records' presence words; what() names the index in the message.
template <typename What>
inline void presence(const Records& r, Copy copy, int kind, std::int64_t offset,
                     const char* function, What what) {
    const std::uint32_t base = known().base[copy][kind];
    const std::uint32_t bit = base + static_cast<std::uint32_t>(offset);
    if ((bit >> 5) < r.set->shape.presenceWords) return;
    fail(kRange, function,
         what() + " addresses presence bit " + str(bit) + " (the " + kCopyNames[copy] +
             " metadata's base of " + (kind == MI_KIND_FLAG ? "Flag" : kKindNames[kind]) + ", " +
             str(base) + ", + " + str(static_cast<std::uint32_t>(offset)) +
             ", modulo 2^32), in presence word " + str(bit >> 5) + "; these records have " +
             str(r.set->shape.presenceWords) + " presence words");
}

[[noreturn]] void outOfRange(const char* function, const char* name, std::int64_t value,
                             std::int64_t low, std::int64_t high, const std::string& why) {
    fail(kRange, function,
         std::string(name) + " must be from " + str(low) + " to " + str(high) +
             (why.empty() ? "" : ": " + why) + " (got " + str(value) + ")");
}

template <std::uint32_t V>
void check(const Records& r, const std::int64_t* index, const char* function, MiCall& call) {
    using A = Accessor<V>;
    const Shape& shape = r.set->shape;
    constexpr auto names = indexNames(A::family, A::args);
    if constexpr (readsMetadata<V>) {
        if (known().epoch == 0)
            fail(kUninitialized, function,
                 "reads the metadata the library was given: call tw_initialize first");
    }
    if constexpr (A::args == ArgShape::FIELD) {
        const std::int64_t field = index[0];
        if constexpr (A::family == Family::Field) {
            const std::int64_t bits = std::min<std::int64_t>(
                32 * static_cast<std::int64_t>(shape.presenceWords), std::int64_t{1} << 32);
            if (field < 0 || field >= bits) {
                if (bits == 0)
                    fail(kRange, function,
                         "bit " + str(field) + ": these records have no presence words");
                outOfRange(function, names.first, field, 0, bits - 1,
                           "these records have " + str(shape.presenceWords) + " presence words");
            }
        } else if constexpr (A::family == Family::Flag) {
            if (field < 0 || field > std::numeric_limits<std::uint32_t>::max())
                outOfRange(function, names.first, field, 0,
                           std::numeric_limits<std::uint32_t>::max(), "");
            constexpr Copy copy = A::message == Message::INFO ? kInfo : kCommand;
            presence(r, copy, MI_KIND_FLAG, field, function, [&] { return "flag " + str(field); });
        } else {
            const auto elements = static_cast<std::int64_t>(shape.elements[A::kind]);
            if (field < 0 || field >= elements) {
                if (elements == 0)
                    fail(kRange, function,
                         "field " + str(field) + ": these records have no " + kKindNames[A::kind] +
                             " array (its length in their shape is 0)");
                outOfRange(function, names.first, field, 0, elements - 1,
                           "these records' " + std::string(kKindNames[A::kind]) + " arrays hold " +
                               str(elements) + " elements");
            }
            if constexpr (A::op == Op::SET)
                presence(r, kCommand, A::kind, field, function,
                         [&] { return "field " + str(field); });
        }
        call.number = 0;
        call.field = static_cast<std::uint32_t>(field);
    } else {
        const std::int64_t offset = index[0], slot = index[1];
        if (offset < std::numeric_limits<std::int32_t>::min() ||
            offset > std::numeric_limits<std::int32_t>::max())
            outOfRange(function, names.first, offset, std::numeric_limits<std::int32_t>::min(),
                       std::numeric_limits<std::int32_t>::max(), "");
        // The queries read their own copy's table and base; everything else
        // reads the Feedback table.
        constexpr Copy copy = A::op != Op::HAS                 ? kFeedback
                              : A::message == Message::COMMAND ? kCommand
                                                               : kFeedback;
        constexpr int which = A::family == Family::NumberedFloat ? 0 : 1;
        constexpr const char* tableName = which == 0 ? "numbered-float table" : "pin-bank table";
        const std::vector<std::int32_t>& table = known().tables[copy][which];
        if (slot < 0 || slot >= static_cast<std::int64_t>(table.size())) {
            const std::string where =
                std::string("the ") + kCopyNames[copy] + " metadata's " + tableName;
            if (table.empty())
                fail(kRange, function,
                     std::string(names.second) + " " + str(slot) + ": " + where +
                         " is empty (tw_initialize was given none), so nothing can be addressed");
            outOfRange(function, names.second, slot, 0, static_cast<std::int64_t>(table.size()) - 1,
                       where + " has " + str(static_cast<std::int64_t>(table.size())) + " entries");
        }
        const std::int64_t entry = table[static_cast<std::size_t>(slot)];
        const std::int64_t element = entry + offset;
        const auto elements = static_cast<std::int64_t>(shape.elements[A::kind]);
        if (elements == 0)
            fail(kRange, function,
                 std::string("these records have no ") + kKindNames[A::kind] +
                     " array (its length in their shape is 0)");
        if (element < 0 || element >= elements)
            fail(kRange, function,
                 std::string(names.first) + " " + str(offset) + " + the " + kCopyNames[copy] +
                     " metadata's " + tableName + "[" + str(slot) + "] (" + str(entry) +
                     ") = " + str(element) + ": must be from 0 to " + str(elements - 1) +
                     ", these records' " + kKindNames[A::kind] + " arrays hold " + str(elements) +
                     " elements");
        if constexpr (A::op != Op::GET)
            presence(r, A::op == Op::SET ? kCommand : copy, A::kind, element, function, [&] {
                return std::string(names.first) + " " + str(offset) + " of " + names.second + " " +
                       str(slot) + " (element " + str(element) + ")";
            });
        call.number = static_cast<std::int32_t>(offset);
        call.field = static_cast<std::uint32_t>(slot);
    }
}

// ---- values and outputs ------------------------------------------------------------

std::string sizeText(octave_idx_type rows, octave_idx_type columns) {
    return std::to_string(rows) + "x" + std::to_string(columns);
}

// The dimensions of an output of `rows` x `count`, kept from the last call
// with as many rows (each dim_vector is an allocation).
const dim_vector& dims(int rows, std::uint32_t count) {
    static dim_vector last[5];
    dim_vector& d = last[rows];
    if (d(0) != rows || d(1) != count) d = dim_vector(rows, count);
    return d;
}

// Values (or an output) of `rows` x `count`: one column per message.
[[noreturn]] void badDims(const char* function, const char* name, const dim_vector& given, int rows,
                          std::uint32_t count, const char* rule) {
    const std::string want = sizeText(rows, count);
    const std::string got = given.str();
    const std::string layout = " (" + std::string(rule) + "; one column per message)";
    if (given.ndims() == 2 && given(0) == count && given(1) == rows)
        fail(kOrientation, function,
             std::string(name) + " must be " + want + layout + "; got " + got +
                 ", its transpose: it is never transposed for you");
    if (given.ndims() == 2 && given(0) == rows)
        fail(kCount, function,
             std::string(name) + " must be " + want + ", one column for each of the " +
                 std::to_string(count) + " records; got " + got);
    fail(kSize, function, std::string(name) + " must be " + want + layout + "; got " + got);
}

template <typename Class, int rows, typename Element>
const Element* take(const octave_value& v, std::uint32_t count, Held& held, const char* function,
                    const char* name, const char* rule) {
    // Kept for the call: a scalar's, a range's data are made here.
    using Plain = Array<typename Class::Array::element_type>;
    const Plain& array = held.emplace<Plain>(Class::get(v));
    const dim_vector& d = array.dims();
    if (d.ndims() != 2 || d(0) != rows || d(1) != count) {
        if (d.ndims() == 2 && d(0) == 0 && d(1) == 0) return nullptr;  // []: presence only
        badDims(function, name, d, rows, count, rule);
    }
    const auto* pointer = reinterpret_cast<const Element*>(array.data());
    if (reinterpret_cast<std::uintptr_t>(pointer) % alignof(Element) != 0 && count != 0)
        fail(kAlignment, function,
             std::string(name) + " is a view of another array that starts " +
                 std::to_string(reinterpret_cast<std::uintptr_t>(pointer) % alignof(Element)) +
                 " bytes past a multiple of " + std::to_string(alignof(Element)) +
                 ", which its elements need; pass a copy of it");
    return pointer;
}

// Values of a setter (others take none: null in the table).
template <std::uint32_t V>
const void* values(const octave_value& v, std::uint32_t count, Held& held, const char* function,
                   const char* name) {
    using A = Accessor<V>;
    using D = Data<A::family>;
    using Element = typename A::Element;
    static_assert(sizeof(Element) == D::rows * sizeof(typename D::Class::Array::element_type));
    if (D::Class::is(v))
        return take<typename D::Class, D::rows, Element>(v, count, held, function, name, D::rule);
    // Bool values may be logical too: its bytes are 0 and 1.
    if constexpr (A::family == Family::Bool) {
        if (LogicalClass::is(v))
            return take<LogicalClass, 1, Element>(v, count, held, function, name, D::rule);
    }
    if ((v.isnumeric() || v.islogical()) && v.isempty() && v.ndims() == 2 && v.rows() == 0 &&
        v.columns() == 0)
        return nullptr;  // [] of another class: presence only
    fail(kClass, function,
         std::string(name) + " must be " + D::Class::octaveClass +
             (A::family == Family::Bool ? " (or logical)" : "") + " (" + D::rule + "); got " +
             describe(v));
}

// The output of a getter or query (setters have none: null in the table):
// the array `held` holds from an earlier call when it has the size (it is
// copied first if anything else shares it), else a new one.
template <std::uint32_t V>
void* output(std::uint32_t count, Held& held) {
    using D = DataOf<V>;
    using Array = typename D::Class::Array;
    using Element = typename Accessor<V>::Element;
    static_assert(sizeof(Element) == D::rows * sizeof(typename Array::element_type));
    if (auto* earlier = std::get_if<Array>(&held);
        earlier && earlier->dims() == dims(D::rows, count))
        return earlier->fortran_vec();
    return held.emplace<Array>(dims(D::rows, count)).fortran_vec();
}

template <std::uint32_t V>
octave_value result(const Held& held) {
    return octave_value(std::get<typename DataOf<V>::Class::Array>(held));
}

template <std::uint32_t V>
constexpr auto valuesOf() {
    if constexpr (takesValues<V>)
        return &values<V>;
    else
        return static_cast<decltype(&values<1>)>(nullptr);
}
template <std::uint32_t V>
constexpr auto outputOf() {
    if constexpr (Accessor<V>::op != Op::SET)
        return &output<V>;
    else
        return static_cast<decltype(&output<2>)>(nullptr);
}
template <std::uint32_t V>
constexpr auto resultOf() {
    if constexpr (Accessor<V>::op != Op::SET)
        return &result<V>;
    else
        return static_cast<decltype(&result<2>)>(nullptr);
}

// ---- one call -------------------------------------------------------------------------

template <std::uint32_t V>
std::string usage() {
    using A = Accessor<V>;
    constexpr auto names = indexNames(A::family, A::args);
    std::string s = A::op == Op::SET ? "" : "out = ";
    s += std::string(A::octaveName) + " (records";
    if (takesValues<V>) s += ", values";
    s += std::string(", ") + names.first;
    if (indexCount<V> == 2) s += std::string(", ") + names.second;
    return s + ")";
}

template <std::uint32_t V>
octave_value_list run(const octave_value_list& args, int nargout) {
    using A = Accessor<V>;
    using Element = typename A::Element;
    constexpr int inputs = 1 + (takesValues<V> ? 1 : 0) + indexCount<V>;
    constexpr auto names = indexNames(A::family, A::args);
    const char* const function = A::octaveName;
    if (args.length() != inputs || nargout > (A::op == Op::SET ? 0 : 1))
        fail(kNargin, function,
             "called with " + std::to_string(args.length()) + " inputs and " +
                 std::to_string(nargout) + " outputs; usage: " + usage<V>());
    const Records r = records(args(0), function);
    constexpr int first = takesValues<V> ? 2 : 1;
    std::int64_t index[2] = {integer(args(first), function, names.first), 0};
    if constexpr (indexCount<V> == 2) index[1] = integer(args(first + 1), function, names.second);
    MiCall call{};
    check<V>(r, index, function, call);
    Held held;
    if constexpr (A::op == Op::SET) {
        const auto* data = static_cast<const Element*>(
            takesValues<V> ? values<V>(args(1), r.count, held, function, "values") : nullptr);
        if constexpr (A::args == ArgShape::ENTRY)
            A::call(r.data, data, r.count, call.number, call.field);
        else
            A::call(r.data, data, r.count, call.field);
        return octave_value_list();
    } else {
        auto* out = static_cast<Element*>(output<V>(r.count, held));
        if constexpr (A::args == ArgShape::ENTRY)
            A::call(out, r.data, r.count, call.number, call.field);
        else
            A::call(out, r.data, r.count, call.field);
        return octave_value_list(result<V>(held));
    }
}

// ---- help texts -------------------------------------------------------------------------

struct FamilyText {
    const char* what;    // "Float field @var{field}"
    const char* values;  // "single 1xN"
};

FamilyText familyText(Family f, Op op) {
    switch (f) {
        case Family::Float:
            return {"Float field @var{field}", "single 1xN"};
        case Family::HighResAngle:
            return {"high-resolution angle field @var{field} (radians)", "double 1xN"};
        case Family::Vector3f:
            return {"Vector3f field @var{field}", "single 3xN"};
        case Family::Quaternionf:
            return {"Quaternionf field @var{field}", "single 4xN"};
        case Family::UInt64:
            return {"UInt64 field @var{field}", "uint64 1xN"};
        case Family::Enum:
            return {"Enum field @var{field}", "int32 1xN"};
        case Family::Bool:
            return {"Bool field @var{field} (bytes, any value)",
                    op == Op::SET ? "uint8 or logical 1xN" : "uint8 1xN"};
        case Family::NumberedFloat:
            return {
                "float @var{number} of numbered-float field @var{field} (element: the "
                "Feedback metadata's numbered-float table entry @var{field} plus "
                "@var{number})",
                "single 1xN"};
        case Family::IoPin:
            return {"the whole entry of pin @var{pin} of bank @var{bank}",
                    "uint32 4xN (rows: value bits 0-31, value bits 32-63, tag: 1 integer, 2 "
                    "float, padding)"};
        case Family::IoPinInt:
            return {"the integer of pin @var{pin} of bank @var{bank} (tag 1)", "int64 1xN"};
        case Family::IoPinFloat:
            return {"the float of pin @var{pin} of bank @var{bank} (tag 2)", "single 1xN"};
        case Family::Led:
            return {"Led field @var{field}", "uint32 1xN"};
        case Family::Flag:
            return {"flag @var{field}", "logical 1xN"};
        case Family::Field:
            return {"presence bit @var{bit}", "logical 1xN"};
    }
    return {"", ""};
}

const char* messageName(Message m) {
    return m == Message::COMMAND ? "Command" : m == Message::FEEDBACK ? "Feedback" : "Info";
}

// The help text of an accessor, from its entry in the list.
std::string help(const Info& a) {
    const auto names = indexNames(a.family, a.args);
    const FamilyText text = familyText(a.family, a.op);
    const bool values = a.op == Op::SET && a.family != Family::Flag;
    std::string call =
        std::string(a.octaveName) + " (@var{records}" + (values ? ", @var{values}" : "") +
        ", @var{" + names.first + "}" +
        (a.args == ArgShape::ENTRY ? std::string(", @var{") + names.second + "}" : "") + ")";
    std::string s = "-*- texinfo -*-\n@deftypefn {} {";
    s += a.op == Op::SET ? "" : "@var{out} =";
    s += "} " + call + "\n";
    const std::string message = messageName(a.message);
    if (a.op == Op::SET && a.family == Family::Flag)
        s += "Set flag @var{field} (its presence bit, bit Command base of Flag + @var{field}) in "
             "every Command message of @var{records}, in one call.";
    else if (a.op == Op::SET)
        s += std::string("Set ") + text.what + " of every Command message of @var{records} to " +
             "@var{values}, column @var{i} to message @var{i}, and set its presence bit, in one "
             "call. @var{values}: " +
             text.values + "; @code{[]} sets only the presence bits.";
    else if (a.op == Op::GET && a.family == Family::Flag)
        s += "Read flag @var{field} of every " + message + " message of @var{records} (bit " +
             message +
             " base of Flag + @var{field}), in one call: @var{out} is logical 1xN, true where "
             "the flag is set.";
    else if (a.op == Op::GET)
        s += std::string("Read ") + text.what + " of every " + message +
             " message of @var{records}, in one call: @var{out} is " + text.values +
             ", column @var{i} from message @var{i}." +
             (a.family == Family::IoPinInt || a.family == Family::IoPinFloat
                  ? " Where the tag does not match, the value is 0."
                  : "");
    else if (a.family == Family::Field)
        s += "Ask which " + message +
             " messages of @var{records} have presence bit @var{bit} set, in one call: "
             "@var{bit} is absolute, a base plus a field (see @code{tw_presence_bit}); @var{out} "
             "is logical 1xN.";
    else
        s += "Ask which " + message + " messages of @var{records} hold " +
             (a.family == Family::IoPinInt ? "an integer" : "a float") +
             " on pin @var{pin} of bank @var{bank} (its tag matches and its presence bit is "
             "set, by the " +
             message +
             " metadata's pin-bank table and base), in one call: @var{out} is logical "
             "1xN.";
    s += std::string(
             "\n\n@var{records} is a record set, a uint64 12xN matrix made by "
             "@code{tw_records} or @code{tw_sim}; ") +
         "field, bank, number, pin and bit numbers count from 0. This is @code{" + a.cName +
         "} of the library";
    s += " (call-list accessor " + std::to_string(a.value) + ").";
    s += " An argument that breaks a rule is refused with an error whose identifier starts "
         "with @code{tovakwrapper:}, before anything is written.\n"
         "@seealso{tw_initialize, tw_records, tw_call_list}\n@end deftypefn\n";
    return s;
}

const Info& info(std::uint32_t value) { return kList[value - 1]; }

// ---- the table for call lists ---------------------------------------------------------

#define TW_OPS(value, ...)           \
    {Accessor<value>::octaveName,    \
     indexCount<value>,              \
     takesValues<value>,             \
     Accessor<value>::op != Op::SET, \
     &check<value>,                  \
     valuesOf<value>(),              \
     outputOf<value>(),              \
     resultOf<value>()},
const AccessorOps kOps[] = {MI_ACCESSORS(TW_OPS)};
#undef TW_OPS

// ---- metadata ---------------------------------------------------------------------------

Known state;

std::vector<std::int32_t> tableArg(const octave_scalar_map& m, const char* field,
                                   const char* function, const std::string& name) {
    const octave_value v = m.getfield(field);
    if (v.is_undefined()) return {};
    if (!(v.isnumeric() || v.islogical()) || (!v.is_int32_type() && !v.isempty()))
        fail(kClass, function,
             name + "." + field + " must be int32 (table entries are 32-bit signed); got " +
                 describe(v));
    if (v.isempty()) return {};
    if (v.ndims() != 2 || (v.rows() != 1 && v.columns() != 1))
        fail(kSize, function, name + "." + field + " must be a vector; got " + describe(v));
    const int32NDArray a = v.int32_array_value();
    std::vector<std::int32_t> table(static_cast<std::size_t>(a.numel()));
    for (octave_idx_type i = 0; i < a.numel(); ++i)
        table[static_cast<std::size_t>(i)] = a(i).value();
    return table;
}

void metadataArg(const octave_value& v, const char* function, const char* name, Known& next,
                 Copy copy) {
    if (!v.isstruct() || v.numel() != 1)
        fail(kClass, function,
             std::string(name) +
                 " must be a metadata struct (fields base, numbered_float_table, "
                 "pin_bank_table); got " +
                 describe(v));
    const octave_scalar_map m = v.scalar_map_value();
    const string_vector fields = m.fieldnames();
    for (octave_idx_type i = 0; i < fields.numel(); ++i)
        if (fields[i] != "base" && fields[i] != "numbered_float_table" &&
            fields[i] != "pin_bank_table")
            fail(kStruct, function,
                 std::string(name) + " has a field '" + fields[i] +
                     "'; a metadata struct has only base, numbered_float_table and "
                     "pin_bank_table");
    const octave_value base = m.getfield("base");
    if (base.is_undefined())
        fail(kStruct, function,
             std::string(name) + " has no field base (the first presence bit of each kind)");
    if (!base.isnumeric() || base.iscomplex() || !(base.is_double_type() || base.is_uint32_type()))
        fail(kClass, function,
             std::string(name) + ".base must be double or uint32; got " + describe(base));
    if (base.ndims() != 2 || base.numel() != MI_KIND_COUNT ||
        (base.rows() != 1 && base.columns() != 1))
        fail(kSize, function,
             std::string(name) + ".base must be a vector of 12 presence bits, one per kind; got " +
                 describe(base));
    const NDArray bits = base.array_value();
    for (int k = 0; k < MI_KIND_COUNT; ++k) {
        const double b = bits(k);
        if (b != std::trunc(b))
            fail(kInteger, function,
                 std::string(name) + ".base(" + std::to_string(k + 1) +
                     ") must be an integer; got " + std::to_string(b));
        if (!(b >= 0 && b <= std::numeric_limits<std::uint32_t>::max()))
            fail(kRange, function,
                 std::string(name) + ".base(" + std::to_string(k + 1) +
                     ") must be from 0 to 4294967295; got " + std::to_string(b));
        next.base[copy][k] = static_cast<std::uint32_t>(b);
    }
    next.tables[copy][0] = tableArg(m, "numbered_float_table", function, name);
    next.tables[copy][1] = tableArg(m, "pin_bank_table", function, name);
}

}  // namespace

const Known& known() { return state; }

const AccessorOps& accessorOps(std::uint32_t value) { return kOps[value - 1]; }

std::uint32_t accessorNamed(const std::string& name) {
    for (const Info& a : kList)
        if (name == a.octaveName) return a.value;
    return 0;
}

}  // namespace tw

// ---- the functions -------------------------------------------------------------------------

#define TW_DEFUN(value, ID, function, name, ...)                                                \
    DEFUNX_DLD("tw_" #name, Ftw_##name, Gtw_##name, args, nargout, tw::help(tw::info(value))) { \
        return tw::run<value>(args, nargout);                                                   \
    }
MI_ACCESSORS(TW_DEFUN)
#undef TW_DEFUN

DEFMETHOD_DLD(tw_initialize, interp, args, nargout, R"(-*- texinfo -*-
@deftypefn {} {} tw_initialize (@var{command}, @var{feedback}, @var{info})
Pass the three metadata records to the library (@code{miInitialize}): once,
before any setter, flag getter, numbered-float or pin call.

Each is a struct with fields @code{base} (12 presence bits, the first of each
field kind, double or uint32), @code{numbered_float_table} and
@code{pin_bank_table} (int32 vectors; missing or empty: none), as
@code{tw_sim} returns in its @code{meta} field. The package keeps its own
copies of the tables, which the library reads; to change a table, call
@code{tw_initialize} again. Every later call is checked against these.
@seealso{tw_sim, tw_presence_bit}
@end deftypefn)") {
    const char* function = "tw_initialize";
    if (args.length() != 3 || nargout > 0)
        tw::fail(tw::kNargin, function, "usage: tw_initialize (command, feedback, info)");
    tw::Known next;
    tw::metadataArg(args(0), function, "command", next, tw::kCommand);
    tw::metadataArg(args(1), function, "feedback", next, tw::kFeedback);
    tw::metadataArg(args(2), function, "info", next, tw::kInfo);
    MessageMetadata meta[3] = {};
    for (int c = 0; c < 3; ++c) {
        for (int k = 0; k < MI_KIND_COUNT; ++k) meta[c].base[k] = next.base[c][k];
        // Empty tables stay null: the library's numbered-float and pin calls
        // are then inert, and the checks refuse them all.
        const auto& tables = next.tables[c];
        meta[c].numberedFloatTable = tables[0].empty() ? nullptr : tables[0].data();
        meta[c].pinBankTable = tables[1].empty() ? nullptr : tables[1].data();
    }
    // The vectors move into the state with their storage, so the pointers
    // the library now holds stay valid; the old tables go after the call.
    next.epoch = tw::state.epoch + 1;
    miInitialize(&meta[0], &meta[1], &meta[2]);
    tw::state = std::move(next);
    interp.mlock();  // the library's state lives as long as the session
    return octave_value_list();
}

DEFUN_DLD(tw_presence_bit, args, nargout, R"(-*- texinfo -*-
@deftypefn {} {@var{bit} =} tw_presence_bit (@var{message}, @var{kind}, @var{field})
The absolute presence bit of field @var{field} of @var{kind} in @var{message}
messages: that metadata's base of the kind plus @var{field}, modulo 2^32, from
the metadata last passed to @code{tw_initialize}.

@var{message} is @qcode{"command"}, @qcode{"feedback"} or @qcode{"info"};
@var{kind} a kind name (@qcode{"float"}, @qcode{"high_res_angle"},
@qcode{"vector3f"}, @qcode{"quaternionf"}, @qcode{"uint64"}, @qcode{"enum"},
@qcode{"bool"}, @qcode{"numbered_float"}, @qcode{"io_pin"}, @qcode{"led"},
@qcode{"reserved"}, @qcode{"flag"}) or its number, 0 to 11. For numbered floats
and pins, @var{field} is the element (table entry plus number or pin). It is
what the @code{has_field} queries take:
@code{tw_feedback_has_field (F, tw_presence_bit ("feedback", "float", 2))}.
@end deftypefn)") {
    const char* function = "tw_presence_bit";
    if (args.length() != 3 || nargout > 1)
        tw::fail(tw::kNargin, function, "usage: bit = tw_presence_bit (message, kind, field)");
    static const char* const messages[] = {"command", "feedback", "info"};
    static const char* const kinds[] = {
        "float", "high_res_angle", "vector3f", "quaternionf", "uint64",   "enum",
        "bool",  "numbered_float", "io_pin",   "led",         "reserved", "flag"};
    int copy = -1;
    if (args(0).is_string())
        for (int c = 0; c < 3; ++c)
            if (args(0).string_value() == messages[c]) copy = c;
    if (copy < 0)
        tw::fail(
            tw::kClass, function,
            "message must be \"command\", \"feedback\" or \"info\"; got " + tw::describe(args(0)));
    std::int64_t kind = -1;
    if (args(1).is_string()) {
        for (int k = 0; k < MI_KIND_COUNT; ++k)
            if (args(1).string_value() == kinds[k]) kind = k;
        if (kind < 0)
            tw::fail(tw::kRange, function,
                     "kind must be a kind name (\"float\" ... \"flag\") or 0 to 11; got \"" +
                         args(1).string_value() + "\"");
    } else {
        kind = tw::integer(args(1), function, "kind");
        if (kind < 0 || kind >= MI_KIND_COUNT)
            tw::fail(tw::kRange, function,
                     "kind must be from 0 to 11 (or a kind name); got " + std::to_string(kind));
    }
    const std::int64_t field = tw::integer(args(2), function, "field");
    if (field < 0 || field > std::numeric_limits<std::uint32_t>::max())
        tw::fail(tw::kRange, function,
                 "field must be from 0 to 4294967295; got " + std::to_string(field));
    if (tw::known().epoch == 0)
        tw::fail(tw::kUninitialized, function,
                 "reads the metadata the library was given: call tw_initialize first");
    const std::uint32_t bit = tw::known().base[copy][kind] + static_cast<std::uint32_t>(field);
    return octave_value(static_cast<double>(bit));
}

DEFUN_DLD(tw_accessors, args, nargout, R"(-*- texinfo -*-
@deftypefn {} {@var{list} =} tw_accessors ()
The 48 accessors, as a 48x1 struct array in the order of their call-list
values: @code{name} (the Octave function), @code{c_name}, @code{value} (1 to
48), @code{message} (@qcode{"command"}, @qcode{"feedback"} or
@qcode{"info"}), @code{operation} (@qcode{"set"}, @qcode{"get"} or
@qcode{"has"}), @code{family} (@qcode{"Float"} @dots{} @qcode{"Field"}),
@code{kind} (the field kind, 0 to 11; 11 for flags and presence),
@code{class} and @code{rows} of its values or output (@qcode{""} and 0 for
@code{tw_command_set_flag}, which takes none) and @code{indices}, the names of
its index arguments.
@end deftypefn)") {
    if (args.length() != 0 || nargout > 1)
        tw::fail(tw::kNargin, "tw_accessors", "usage: list = tw_accessors ()");
    static const char* const families[] = {
        "Float",         "HighResAngle", "Vector3f", "Quaternionf", "UInt64", "Enum", "Bool",
        "NumberedFloat", "IoPin",        "IoPinInt", "IoPinFloat",  "Led",    "Flag", "Field"};
    static const char* const ops[] = {"set", "get", "has"};
    static const char* const messages[] = {"command", "feedback", "info"};
    const dim_vector dv(MI_ACCESSOR_COUNT, 1);
    Cell name(dv), cName(dv), value(dv), message(dv), operation(dv), family(dv), kind(dv), cls(dv),
        rows(dv), indices(dv);
    for (int i = 0; i < MI_ACCESSOR_COUNT; ++i) {
        const tw::Info& a = tw::kList[i];
        name(i) = a.octaveName;
        cName(i) = a.cName;
        value(i) = static_cast<double>(a.value);
        message(i) = messages[static_cast<int>(a.message)];
        operation(i) = ops[static_cast<int>(a.op)];
        family(i) = families[static_cast<int>(a.family)];
        kind(i) = static_cast<double>(a.kind);
        const auto names = tw::indexNames(a.family, a.args);
        Cell idx(1, a.args == tw::ArgShape::ENTRY ? 2 : 1);
        idx(0) = names.first;
        if (a.args == tw::ArgShape::ENTRY) idx(1) = names.second;
        indices(i) = idx;
        cls(i) = a.className;
        rows(i) = static_cast<double>(a.rows);
    }
    octave_map list(dv);
    list.setfield("name", name);
    list.setfield("c_name", cName);
    list.setfield("value", value);
    list.setfield("message", message);
    list.setfield("operation", operation);
    list.setfield("family", family);
    list.setfield("kind", kind);
    list.setfield("class", cls);
    list.setfield("rows", rows);
    list.setfield("indices", indices);
    return octave_value(list);
}

DEFUN_DLD(tw_version, args, nargout, R"(-*- texinfo -*-
@deftypefn {} {@var{v} =} tw_version ()
The version of the library the package carries, as @qcode{"MAJOR.MINOR.PATCH"}.
@end deftypefn)") {
    if (args.length() != 0 || nargout > 1)
        tw::fail(tw::kNargin, "tw_version", "usage: v = tw_version ()");
    return octave_value(std::to_string(TOVAKWRAPPER_VERSION_MAJOR) + "." +
                        std::to_string(TOVAKWRAPPER_VERSION_MINOR) + "." +
                        std::to_string(TOVAKWRAPPER_VERSION_PATCH));
}

// clang-format off
/*
## Tests. The oracle is the messages' own storage (tw_sim_message reads it
## directly) and the rules of tovakWrapper.h, so a wrong field, copy, table,
## class or argument order shows as a difference.

%!shared sim, C, F, I
%! sim = tw_sim (3);
%! [C, F, I] = deal (sim.command, sim.feedback, sim.info);

%!function out = fresh_octave (code)
%!  ## Runs code in a new Octave with the package loaded; returns its output.
%!  script = [tempname() ".m"];
%!  fid = fopen (script, "w");
%!  fprintf (fid, "pkg local_list %s\npkg global_list %s\npkg load tovakwrapper\n%s\n", ...
%!           pkg ("local_list"), pkg ("global_list"), code);
%!  fclose (fid);
%!  [status, out] = system (sprintf ('"%s" --norc --quiet "%s"', ...
%!                                   fullfile (OCTAVE_HOME (), "bin", "octave-cli"), script));
%!  delete (script);
%!  if (status != 0)
%!    error ("the new Octave failed: %s", out);
%!  endif
%!endfunction

%!function m = storage (records)
%!  m = arrayfun (@(i) tw_sim_message (records, i), 1:columns (records));
%!endfunction

%!function answer = bit_set (m, bit)
%!  ## Presence bit `bit` (absolute, modulo 2^32) of each message of m.
%!  bit = mod (double (bit), 2^32);
%!  answer = arrayfun (@(x) bitget (x.presence(floor (bit / 32) + 1), mod (bit, 32) + 1) == 1, m);
%!endfunction

%!function m = with_bit (m, bit)
%!  bit = double (bit);
%!  for i = 1:numel (m)
%!    w = floor (bit / 32) + 1;
%!    m(i).presence(w) = bitor (m(i).presence(w), bitshift (uint32 (1), mod (bit, 32)));
%!  endfor
%!endfunction

%!function same_bits (got, want, what)
%!  ## got and want: the same class, size and bits (NaN payloads included).
%!  if (! strcmp (class (got), class (want)) || ! isequal (size (got), size (want)))
%!    error ("%s: got %s %s, expected %s %s", what, class (got), mat2str (size (got)), ...
%!           class (want), mat2str (size (want)));
%!  endif
%!  if (isstruct (got))
%!    for i = 1:numel (got)
%!      for name = fieldnames (got)'
%!        same_bits (got(i).(name{1}), want(i).(name{1}), sprintf ("%s, message %d, %s", what, i, name{1}));
%!      endfor
%!    endfor
%!    return;
%!  elseif (isa (got, "single"))
%!    [got, want] = deal (typecast (got(:), "uint32"), typecast (want(:), "uint32"));
%!  elseif (isa (got, "double"))
%!    [got, want] = deal (typecast (got(:), "uint64"), typecast (want(:), "uint64"));
%!  endif
%!  if (! isequal (got, want))
%!    error ("%s: got %s, expected %s", what, mat2str (got), mat2str (want));
%!  endif
%!endfunction

%!function [revolutions, offset] = angle_entry (x)
%!  ## What the library stores for x radians, computed here.
%!  t = x * 0.15915494309189535;
%!  if (isnan (t) || t < -2^63 || t >= 2^63)
%!    revolutions = intmin ("int64");
%!  else
%!    revolutions = int64 (fix (t));
%!  endif
%!  offset = single ((t - double (revolutions)) * 6.283185307179586);
%!endfunction

%!test
%! ## Before tw_initialize (a new Octave): every call that reads the metadata
%! ## is refused and writes nothing; plain getters and has_field work.
%! out = fresh_octave (strjoin ({
%!   "sim = tw_sim (2); C = sim.command; F = sim.feedback;"
%!   "calls = {@() tw_command_set_float(C, single([1 2]), 0), @() tw_command_set_flag(C, 0), ..."
%!   "  @() tw_command_set_bool(C, [], 1), @() tw_command_get_flag(C, 0), @() tw_info_get_flag(sim.info, 0), ..."
%!   "  @() tw_feedback_get_numbered_float(F, 0, 0), @() tw_command_get_io_pin(C, 0, 0), ..."
%!   "  @() tw_feedback_has_io_pin_int(F, 0, 0), @() tw_presence_bit('command', 'float', 0), ..."
%!   "  @() tw_call_list({@tw_command_set_float, C, 0})};"
%!   "for i = 1:numel (calls), try, calls{i}(); printf ('ran\\n'); catch e, printf ('%s\\n', e.identifier); end, end"
%!   "assert (tw_sim_message (C, 1).presence, zeros (1, 3, 'uint32'));"
%!   "assert (tw_feedback_get_float (F, 3), single ([0 0]));"
%!   "assert (tw_command_has_field (C, 95), [false false]);"
%!   "printf ('done\\n');"}, "\n"));
%! assert (strtrim (out), strtrim ([repmat("tovakwrapper:uninitialized\n", 1, 10) "done"]));

%!test
%! ## Every getter and query against the messages' storage: scrambled bytes
%! ## (NaN payloads, any tag, any presence bit), compared bit for bit.
%! tw_initialize (sim.meta.command, sim.meta.feedback, sim.meta.info);
%! tw_sim_scramble (sim, 11);
%! ## Pin 1 of bank 2 of messages 1 and 2 holds an integer and a float.
%! lohi = typecast (int64 (-5), "uint32");
%! E = [lohi(1), typecast(single (2.5), "uint32"); lohi(2), 7; 1, 2; 9, 9];
%! tw_command_set_io_pin (C(:, 1:2), E, 1, 2);
%! tw_command_set_io_pin (F(:, 1:2), E, 1, 2);
%! records = struct ("command", C, "feedback", F, "info", I);
%! for a = tw_accessors ()'
%!   if (strcmp (a.operation, "set"))
%!     continue;
%!   endif
%!   R = records.(a.message);
%!   meta = sim.meta.(a.message);
%!   m = storage (R);
%!   switch (a.family)
%!     case {"NumberedFloat", "IoPin", "IoPinInt", "IoPinFloat"}
%!       [p, q] = deal (1, 2);
%!       got = feval (a.name, R, p, q);
%!       ## Getters read the Feedback table; queries their own copy's.
%!       table_meta = sim.meta.feedback;
%!       if (strcmp (a.operation, "has"))
%!         table_meta = meta;
%!       endif
%!       if (strcmp (a.family, "NumberedFloat"))
%!         e = double (table_meta.numbered_float_table(q + 1)) + p + 1;
%!         want = arrayfun (@(x) x.numbered_floats(e), m);
%!       else
%!         e = double (table_meta.pin_bank_table(q + 1)) + p + 1;
%!         pins = cell2mat (arrayfun (@(x) x.io_pins(:, e), m, "uniformoutput", false));
%!         tag = pins(3, :);
%!         switch ([a.operation a.family])
%!           case "getIoPin"
%!             want = pins;
%!           case "getIoPinInt"
%!             want = typecast (pins(1:2, :)(:), "int64")' .* int64 (tag == 1);
%!           case "getIoPinFloat"
%!             want = typecast (pins(1, :), "single");
%!             want(tag != 2) = 0;
%!           otherwise
%!             bit = double (meta.base(9)) + e - 1;
%!             want = tag == ifelse (strcmp (a.family, "IoPinInt"), 1, 2) & bit_set (m, bit);
%!         endswitch
%!       endif
%!     case "Flag"
%!       got = feval (a.name, R, 1);
%!       want = bit_set (m, double (meta.base(12)) + 1);
%!     case "Field"
%!       bits = 32 * numel (m(1).presence);
%!       for b = [0, 1, bits - 1]
%!         same_bits (feval (a.name, R, b), bit_set (m, b), sprintf ("%s bit %d", a.name, b));
%!       endfor
%!       continue;
%!     otherwise
%!       f = 2;
%!       got = feval (a.name, R, f);
%!       switch (a.family)
%!         case "HighResAngle"
%!           want = arrayfun (@(x) double (x.high_res_angle_offsets(f + 1)) ...
%!                            + double (x.high_res_angle_revolutions(f + 1)) * 6.283185307179586, m);
%!         case "Vector3f"
%!           want = cell2mat (arrayfun (@(x) x.vector3fs(:, f + 1), m, "uniformoutput", false));
%!         case "Quaternionf"
%!           want = cell2mat (arrayfun (@(x) x.quaternionfs(:, f + 1), m, "uniformoutput", false));
%!         otherwise
%!           array = struct ("Float", "floats", "UInt64", "uint64s", "Enum", "enums", ...
%!                           "Bool", "bools", "Led", "leds").(a.family);
%!           want = arrayfun (@(x) x.(array)(f + 1), m);
%!       endswitch
%!   endswitch
%!   same_bits (got, want, a.name);
%! endfor

%!test
%! ## Every setter against the messages' storage: its element of every
%! ## message and its presence bit (the Command base), nothing else.
%! tw_initialize (sim.meta.command, sim.meta.feedback, sim.meta.info);
%! base = double (sim.meta.command.base);
%! nf = double (sim.meta.feedback.numbered_float_table);
%! pins = double (sim.meta.feedback.pin_bank_table);
%! for a = tw_accessors ()'
%!   if (! strcmp (a.operation, "set"))
%!     continue;
%!   endif
%!   for presence_only = [false true]
%!     tw_sim_scramble (sim, 5);
%!     want = storage (C);
%!     switch (a.family)
%!       case "Flag"
%!         if (presence_only)
%!           continue;
%!         endif
%!         tw_command_set_flag (C, 3);
%!         want = with_bit (want, base(12) + 3);
%!         same_bits (storage (C), want, a.name);
%!         continue;
%!       case "Float"
%!         v = single ([1.5 -0 NaN]);
%!         [array, e, kind] = deal ("floats", 3, 1);
%!       case "Enum"
%!         v = int32 ([-7 0 2^31-1]);
%!         [array, e, kind] = deal ("enums", 3, 6);
%!       case "Bool"
%!         v = uint8 ([0 1 200]);
%!         [array, e, kind] = deal ("bools", 3, 7);
%!       case "Led"
%!         v = uint32 ([0 1 4294967295]);
%!         [array, e, kind] = deal ("leds", 3, 10);
%!       case "HighResAngle"
%!         v = [1.5 -7 NaN];
%!         [e, kind] = deal (3, 2);
%!       case "NumberedFloat"
%!         v = single ([0.25 Inf -3]);
%!         [array, e, kind] = deal ("numbered_floats", nf(3) + 1, 8);
%!       otherwise
%!         [e, kind] = deal (pins(3) + 1, 9);
%!         switch (a.family)
%!           case "IoPin"
%!             v = uint32 ([1 2 3; 4 5 6; 1 2 77; 8 9 10]);
%!           case "IoPinInt"
%!             v = int64 ([-1 2^40 0]);
%!           case "IoPinFloat"
%!             v = single ([0.5 -2 NaN]);
%!         endswitch
%!     endswitch
%!     ## Number or pin 1 of field or bank 2, or field 3: element e (from 0).
%!     args = ifelse (numel (a.indices) == 2, {1, 2}, {3});
%!     if (presence_only)
%!       feval (a.name, C, [], args{:});
%!     else
%!       feval (a.name, C, v, args{:});
%!       for i = 1:3
%!         switch (a.family)
%!           case "HighResAngle"
%!             [want(i).high_res_angle_revolutions(e + 1), want(i).high_res_angle_offsets(e + 1)] ...
%!               = angle_entry (v(i));
%!           case "IoPin"
%!             want(i).io_pins(:, e + 1) = v(:, i);
%!           case "IoPinInt"
%!             want(i).io_pins(1:3, e + 1) = [typecast(v(i), "uint32")'; 1];
%!           case "IoPinFloat"
%!             want(i).io_pins([1 3], e + 1) = [typecast(v(i), "uint32"); 2];
%!           otherwise
%!             want(i).(array)(e + 1) = v(i);
%!         endswitch
%!       endfor
%!     endif
%!     same_bits (storage (C), with_bit (want, base(kind) + e), ...
%!                sprintf ("%s, presence only %d", a.name, presence_only));
%!   endfor
%! endfor

%!test
%! ## One message and none: a 1x1 result stays right, a 0-message set
%! ## returns 1x0 and 3x0.
%! tw_initialize (sim.meta.command, sim.meta.feedback, sim.meta.info);
%! tw_command_set_float (C(:, 2), single (4.5), 1);
%! assert (tw_command_get_float (C(:, 2), 1), single (4.5));
%! assert (tw_command_get_high_res_angle (C(:, 3), 0), tw_command_get_high_res_angle (C, 0)(3));
%! empty = tw_records (zeros (12, 0, "uint64"), tw_shape (C));
%! assert (size (tw_command_get_float (empty, 0)), [1 0]);
%! assert (size (tw_feedback_get_vector3f (empty, 0)), [3 0]);
%! tw_command_set_led (empty, zeros (1, 0, "uint32"), 0);

%!test
%! ## Which metadata copy each family's checks read: the Feedback table for
%! ## setters and getters, the query's own copy for Has...IoPin, the Command
%! ## base for setters' presence bits.
%! [command, feedback, info] = deal (sim.meta.command, sim.meta.feedback, sim.meta.info);
%! command.pin_bank_table = int32 ([0 100]);
%! command.numbered_float_table = int32 ([0 100]);
%! feedback.pin_bank_table = int32 ([0 12]);
%! command.base(12) = 1000;  # Command flags far beyond these messages' presence words
%! tw_initialize (command, feedback, info);
%! tw_command_set_io_pin_int (C, int64 ([1 2 3]), 3, 1);  # element 12 + 3: fits
%! assert (tw_command_get_io_pin_int (C, 3, 1), int64 ([1 2 3]));
%! assert (size (tw_feedback_has_io_pin_int (F, 3, 1)), [1 3]);
%! fail ("tw_command_has_io_pin_int (C, 3, 1)", "Command metadata's pin-bank table\\[1\\] \\(100\\) = 103");
%! tw_command_set_numbered_float (C, single ([1 2 3]), 0, 2);  # field 2 of 4 Feedback entries
%! assert (tw_command_get_numbered_float (C, 0, 2), single ([1 2 3]));
%! fail ("tw_command_set_flag (C, 0)", "Command metadata's base of Flag, 1000");
%! assert (size (tw_info_get_flag (I, 0)), [1 3]);  # Info's own base
%! tw_initialize (sim.meta.command, sim.meta.feedback, sim.meta.info);

## Each class of refusal, by its identifier.
%!error id=tovakwrapper:nargin tw_command_set_float (C, single ([1 2 3]))
%!error id=tovakwrapper:nargin [a, b] = tw_command_get_float (C, 0)
%!error id=tovakwrapper:nargin x = tw_command_set_flag (C, 0)
%!error id=tovakwrapper:class tw_command_set_float (C, [1 2 3], 0)
%!error id=tovakwrapper:class tw_command_set_enum (C, [1 2 3], 0)
%!error id=tovakwrapper:class tw_command_set_io_pin_int (C, int32 ([1 2 3]), 0, 0)
%!error id=tovakwrapper:class tw_command_set_float (C, single ([1 2 3]) * i, 0)
%!error id=tovakwrapper:class tw_command_get_float (double (C), 0)
%!error id=tovakwrapper:class tw_command_get_float (C, true)
%!error id=tovakwrapper:class tw_command_get_float (C, "0")
%!error id=tovakwrapper:size tw_command_set_float (C, single ([1 2 3; 4 5 6]), 0)
%!error id=tovakwrapper:size tw_command_set_io_pin (C, zeros (3, 3, "uint32"), 0, 0)
%!error id=tovakwrapper:size tw_command_get_float (C(1:11, :), 0)
%!error id=tovakwrapper:size tw_command_get_float (C, [0 1])
%!error id=tovakwrapper:orientation tw_command_set_float (C, single ([1; 2; 3]), 0)
%!error id=tovakwrapper:orientation tw_command_set_io_pin (C, zeros (3, 4, "uint32"), 0, 0)
%!error id=tovakwrapper:orientation tw_command_get_float (C.', 0)
%!error id=tovakwrapper:count tw_command_set_float (C, single ([1 2]), 0)
%!error id=tovakwrapper:count tw_command_set_io_pin (C, zeros (4, 2, "uint32"), 0, 0)
%!error id=tovakwrapper:integer tw_command_get_float (C, 1.5)
%!error id=tovakwrapper:integer tw_command_get_float (C, NaN)
%!error id=tovakwrapper:integer tw_command_get_io_pin (C, Inf, 0)
%!error id=tovakwrapper:range tw_command_get_float (C, 4)
%!error id=tovakwrapper:range tw_command_get_float (C, -1)
%!error id=tovakwrapper:range tw_command_get_io_pin (C, 0, 4)
%!error id=tovakwrapper:range tw_command_get_io_pin (C, 4, 3)
%!error id=tovakwrapper:range tw_command_get_io_pin (C, -1, 0)
%!error id=tovakwrapper:range tw_command_get_io_pin (C, 2^31, 0)
%!error id=tovakwrapper:range tw_command_has_field (C, 96)
%!error id=tovakwrapper:range tw_command_get_flag (C, 2^32)
%!error id=tovakwrapper:range tw_command_get_flag (C, 96)
%!error id=tovakwrapper:records tw_command_get_float (zeros (12, 3, "uint64"), 0)
%!error id=tovakwrapper:records tw_command_get_float (reshape (C(2:end-11), 12, 2), 0)
%!error id=tovakwrapper:alignment tw_command_set_io_pin (C, reshape (zeros (4, 4, "uint32")(2:13), 4, 3), 0, 0)

%!test
%! ## A refused call writes nothing, and its message names the argument,
%! ## what it was and the rule.
%! tw_initialize (sim.meta.command, sim.meta.feedback, sim.meta.info);
%! tw_sim_scramble (sim, 3);
%! before = storage (C);
%! R = C; R(1) = R(1) + 1;  # a changed copy
%! refused = {
%!   "tw_command_set_float (C, single ([1 2]), 0)", "values must be 1x3, one column for each of the 3 records; got 1x2"
%!   "tw_command_set_float (C, [1 2 3], 0)", "values must be single \\(Float fields hold 32-bit floats\\); got a double 1x3 array"
%!   "tw_command_set_led (C, uint32 ([1 2 3]), 4)", "field must be from 0 to 3: these records' Led arrays hold 4 elements \\(got 4\\)"
%!   "tw_command_set_led (C, uint32 ([1; 2; 3]), 0)", "values must be 1x3 .*; got 3x1, its transpose"
%!   "tw_command_set_io_pin_float (C, single ([1 2 3]), 4, 3)", "pin 4 \\+ the Feedback metadata's pin-bank table\\[3\\] \\(12\\) = 16"
%!   "tw_command_set_io_pin_float (C, single ([1 2 3]), 0.5, 0)", "pin must be an integer; got 0.5"
%!   "tw_command_set_enum (R, int32 ([1 2 3]), 0)", "records are not a record set the package knows"
%!   "tw_command_set_bool (C, int8 ([1 2 3]), 0)", "values must be uint8 \\(or logical\\)"};
%! for k = 1:rows (refused)
%!   fail (refused{k, 1}, refused{k, 2});
%! endfor
%! same_bits (storage (C), before, "after refused calls");

%!test
%! ## Each accessor is a function with help naming its C function, and the
%! ## INDEX and the autoloads list exactly the package's functions.
%! desc = pkg ("list", "tovakwrapper"){1};
%! index = strtrim (strsplit (fileread (fullfile (desc.dir, "packinfo", "INDEX")), "\n"));
%! names = sort (index(strncmp (index, "tw_", 3)));
%! auto = autoload ();
%! mine = auto(! cellfun (@isempty, regexp ({auto.file}, "__tovakwrapper__\\.oct$")));
%! assert (sort ({mine.function}), names);
%! list = tw_accessors ();
%! assert ([list.value], 1:48);
%! assert (all (ismember ({list.name}, names)));
%! for n = names
%!   [text, format] = get_help_text (n{1});
%!   assert (format, "texinfo");
%!   assert (! isempty (strfind (text, n{1})), n{1});
%! endfor
%! for a = list'
%!   assert (! isempty (strfind (get_help_text (a.name), ["@code{" a.c_name "}"])), a.name);
%! endfor
%! assert (tw_version (), desc.version);

%!test
%! ## tw_presence_bit: a copy's base plus the field, modulo 2^32.
%! tw_initialize (sim.meta.command, sim.meta.feedback, sim.meta.info);
%! assert (tw_presence_bit ("feedback", "float", 2), 5);
%! assert (tw_presence_bit ("info", 11, 1), double (sim.meta.info.base(12)) + 1);
%! assert (tw_presence_bit ("command", "io_pin", 2^32 - 1), double (sim.meta.command.base(9)) - 1);
%!error id=tovakwrapper:class tw_presence_bit ("cmd", "float", 0)
%!error id=tovakwrapper:range tw_presence_bit ("command", "floats", 0)
%!error id=tovakwrapper:range tw_presence_bit ("command", 12, 0)
%!error id=tovakwrapper:range tw_presence_bit ("command", "float", -1)

## tw_initialize refuses what is no metadata.
%!error id=tovakwrapper:class tw_initialize (1, sim.meta.feedback, sim.meta.info)
%!error id=tovakwrapper:struct tw_initialize (setfield (sim.meta.command, "bases", 1), sim.meta.feedback, sim.meta.info)
%!error id=tovakwrapper:size tw_initialize (setfield (sim.meta.command, "base", 1:11), sim.meta.feedback, sim.meta.info)
%!error id=tovakwrapper:range tw_initialize (setfield (sim.meta.command, "base", [-1 1:11]), sim.meta.feedback, sim.meta.info)
%!error id=tovakwrapper:integer tw_initialize (setfield (sim.meta.command, "base", [0.5 1:11]), sim.meta.feedback, sim.meta.info)
%!error id=tovakwrapper:class tw_initialize (setfield (sim.meta.command, "pin_bank_table", [0 4]), sim.meta.feedback, sim.meta.info)
*/
// clang-format on
