// SPDX-License-Identifier: MIT
// Differential fuzz target: runs the library and the reference model side by
// side on two identical memory worlds and, after every call, compares every
// byte of both worlds: each message's presence words and value arrays, the
// tables, the values and output buffers, and the guard bytes between them.
//
// Input format (read front to back; bytes past the end read as 0):
//   u64 seed for the worlds' initial contents
//   byte messages (0-80, or 1000-1120 for bytes from 243, so that the
//        getters' prefetching loop runs too), byte storages (at most 64),
//        byte aliasing mode [, byte per record]
//   byte presence words (1-8), byte elements per value array (1-16),
//   byte table length (1-8)
//   then up to 64 operations, each starting with a byte choosing:
//     0-47  one of the 48 accessors, in the order of the accessor list
//           (tovakWrapperAccessors.h): byte v - 1 for call value v,
//     48    miInitialize with new tables and metadata,
//     49    an edit of one table entry between calls,
//     50    a call list for miRunCalls: byte n (0-16), then n calls, each a
//           byte choosing one of the 48 accessors (0-47) followed by that
//           accessor's arguments as above, or a value naming no accessor
//           (48: 0; 49-55: a u32 outside 1-48).
// (48 is MI_ACCESSOR_COUNT; the numbers after it move with it.)
// make_seeds.py writes a seed for every function in this format. With
// TOVAK_FUZZ_TRACE set in the environment, every call made is printed.
#include "ReferenceModel.hpp"
#include "tovakWrapper.h"
#include "tovakWrapperAccessors.h"
#include "tovakWrapperCalls.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <type_traits>
#include <vector>

namespace {

// ---- input -----------------------------------------------------------------

class Input {
public:
    Input(const std::uint8_t* data, std::size_t size) : data_(data), size_(size) {}
    bool empty() const { return pos_ >= size_; }
    std::uint8_t byte() { return pos_ < size_ ? data_[pos_++] : 0; }
    void bytes(void* out, std::size_t n) {
        auto* o = static_cast<std::uint8_t*>(out);
        for (std::size_t i = 0; i < n; ++i) o[i] = byte();
    }
    std::uint32_t u32() {
        std::uint32_t v;
        bytes(&v, sizeof v);
        return v;
    }
    std::uint64_t u64() {
        std::uint64_t v;
        bytes(&v, sizeof v);
        return v;
    }

private:
    const std::uint8_t* data_;
    std::size_t size_;
    std::size_t pos_ = 0;
};

std::uint64_t splitmix(std::uint64_t& state) {
    std::uint64_t z = (state += 0x9E3779B97F4A7C15u);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9u;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBu;
    return z ^ (z >> 31);
}

// ---- the functions under test ---------------------------------------------------

enum class Shape {
    PlainSet,
    PlainGet,
    FlagSet,
    FlagGet,
    FieldHas,
    NumberedSet,
    NumberedGet,
    PinSet,
    PinGet,
    PinHas
};
using ref::Command;
using ref::Feedback;
using ref::Info;
using ref::Which;

using LibCall = void (*)(void* buffer, const MessageRecord* records, std::uint32_t count,
                         std::uint32_t a, std::uint32_t b);
using RefCall = void (*)(void* buffer, const void* records, std::uint32_t count, std::uint32_t a,
                         std::uint32_t b);

struct Function {
    const char* name;
    Shape shape;
    int kind;     // value array it addresses
    int width;    // bytes per values/out element
    Which which;  // metadata whose base or table a flag getter or pin query uses
    LibCall lib;
    RefCall ref;
    std::uint32_t callValue;  // its MiCallAccessor value, for call lists
};

enum class Op { SET, GET, HAS };
constexpr Shape shapeOf(Op op, int kind) {
    if (kind == MI_KIND_FLAG)
        return op == Op::SET ? Shape::FlagSet : op == Op::GET ? Shape::FlagGet : Shape::FieldHas;
    if (kind == MI_KIND_NUMBERED_FLOAT)
        return op == Op::SET ? Shape::NumberedSet : Shape::NumberedGet;
    if (kind == MI_KIND_IO_PIN)
        return op == Op::SET ? Shape::PinSet : op == Op::GET ? Shape::PinGet : Shape::PinHas;
    return op == Op::SET ? Shape::PlainSet : Shape::PlainGet;
}

// The model's function for an accessor: CommandSet<Family>, Get<Family> or
// Has<Family>; those that differ by message kind take it first.
template <typename... Args>
void model(void (*f)(Args...), Which, std::type_identity_t<Args>... args) {
    f(args...);
}
template <typename... Args>
void model(void (*f)(Which, Args...), Which which, std::type_identity_t<Args>... args) {
    f(which, args...);
}

// The library's accessor and the model's function with one signature: `a`
// is the field (or bit), or the number or pin with `b` the field or bank.
#define TOVAK_LIB_SET_FIELD(function, T)                                                   \
    [](void* v, const MessageRecord* r, std::uint32_t n, std::uint32_t a, std::uint32_t) { \
        function(r, static_cast<const T*>(v), n, a);                                       \
    }
#define TOVAK_LIB_GET_FIELD(function, T)                                                   \
    [](void* o, const MessageRecord* r, std::uint32_t n, std::uint32_t a, std::uint32_t) { \
        function(static_cast<T*>(o), r, n, a);                                             \
    }
#define TOVAK_LIB_SET_ENTRY(function, T)                                                     \
    [](void* v, const MessageRecord* r, std::uint32_t n, std::uint32_t a, std::uint32_t b) { \
        function(r, static_cast<const T*>(v), n, static_cast<std::int32_t>(a), b);           \
    }
#define TOVAK_LIB_GET_ENTRY(function, T)                                                     \
    [](void* o, const MessageRecord* r, std::uint32_t n, std::uint32_t a, std::uint32_t b) { \
        function(static_cast<T*>(o), r, n, static_cast<std::int32_t>(a), b);                 \
    }
#define TOVAK_LIB_HAS_FIELD TOVAK_LIB_GET_FIELD
#define TOVAK_LIB_HAS_ENTRY TOVAK_LIB_GET_ENTRY
#define TOVAK_REF_SET_FIELD(which, FAMILY)                                        \
    [](void* v, const void* r, std::uint32_t n, std::uint32_t a, std::uint32_t) { \
        model(ref::CommandSet##FAMILY, which, r, v, n, a);                        \
    }
#define TOVAK_REF_GET_FIELD(which, FAMILY)                                        \
    [](void* o, const void* r, std::uint32_t n, std::uint32_t a, std::uint32_t) { \
        model(ref::Get##FAMILY, which, o, r, n, a);                               \
    }
#define TOVAK_REF_HAS_FIELD(which, FAMILY)                                        \
    [](void* o, const void* r, std::uint32_t n, std::uint32_t a, std::uint32_t) { \
        model(ref::Has##FAMILY, which, o, r, n, a);                               \
    }
#define TOVAK_REF_SET_ENTRY(which, FAMILY)                                               \
    [](void* v, const void* r, std::uint32_t n, std::uint32_t a, std::uint32_t b) {      \
        model(ref::CommandSet##FAMILY, which, r, v, n, static_cast<std::int32_t>(a), b); \
    }
#define TOVAK_REF_GET_ENTRY(which, FAMILY)                                          \
    [](void* o, const void* r, std::uint32_t n, std::uint32_t a, std::uint32_t b) { \
        model(ref::Get##FAMILY, which, o, r, n, static_cast<std::int32_t>(a), b);   \
    }
#define TOVAK_REF_HAS_ENTRY(which, FAMILY)                                          \
    [](void* o, const void* r, std::uint32_t n, std::uint32_t a, std::uint32_t b) { \
        model(ref::Has##FAMILY, which, o, r, n, static_cast<std::int32_t>(a), b);   \
    }
#define TOVAK_WHICH_COMMAND Command
#define TOVAK_WHICH_FEEDBACK Feedback
#define TOVAK_WHICH_INFO Info
// The numbered-float and pin tables come from the Feedback metadata, except
// for the pin queries, which use their own message kind's.
#define TOVAK_TABLES_FIELD(OP, MESSAGE) TOVAK_WHICH_##MESSAGE
#define TOVAK_TABLES_ENTRY(OP, MESSAGE) (Op::OP == Op::HAS ? TOVAK_WHICH_##MESSAGE : Feedback)
#define TOVAK_FUNCTION(value, ID, function, name, MESSAGE, OP, FAMILY, KIND, ARGS, T) \
    {#function,                                                                       \
     shapeOf(Op::OP, MI_KIND_##KIND),                                                 \
     MI_KIND_##KIND,                                                                  \
     static_cast<int>(sizeof(T)),                                                     \
     TOVAK_TABLES_##ARGS(OP, MESSAGE),                                                \
     TOVAK_LIB_##OP##_##ARGS(function, T),                                            \
     TOVAK_REF_##OP##_##ARGS(TOVAK_WHICH_##MESSAGE, FAMILY),                          \
     value},

// Every accessor once, in the order of the list: kFunctions[i] has the call
// value i + 1.
const Function kFunctions[] = {MI_ACCESSORS(TOVAK_FUNCTION)};
constexpr int kFunctionCount = sizeof kFunctions / sizeof kFunctions[0];
static_assert(kFunctionCount == MI_ACCESSOR_COUNT, "every accessor once");
// The operations after the accessors; miInitialize is one of its own.
constexpr int kInitialize = kFunctionCount;
constexpr int kEditTable = kFunctionCount + 1;
constexpr int kCallList = kFunctionCount + 2;
constexpr int kOperations = kFunctionCount + 3;
// Call-list entries after the accessors: 0, then seven choices of a u32
// outside the accessor values.
constexpr int kUnknownValues = 8;

// Element width of each value kind in the messages (kind 10 is never used).
constexpr int kElementWidth[11] = {4, 16, 12, 16, 8, 4, 1, 4, 16, 4, 1};

// ---- the two worlds ---------------------------------------------------------------

constexpr std::size_t kGuard = 16;
constexpr std::uint32_t kMaxMessages = 1120;
constexpr std::uint32_t kMaxStorages = 64;

std::size_t place(std::size_t& cursor, std::size_t bytes) {
    cursor += kGuard;
    const std::size_t at = (cursor + 15) & ~std::size_t{15};
    cursor = at + bytes;
    return at;
}

// Where everything lives in an arena; both worlds share it.
struct Plan {
    std::uint32_t messages = 0, storages = 1, words = 1, elements = 1, tableLength = 1;
    std::vector<std::uint32_t> storageOf;
    std::vector<std::array<std::size_t, 12>> storage;  // presence words, then kinds 0-10
    std::array<std::size_t, 6> table{};                // numbered-float and pin tables per kind
    std::size_t values = 0, out = 0, size = 0;

    void layOut() {
        std::size_t cursor = 0;
        storage.resize(storages);
        for (auto& s : storage) {
            s[0] = place(cursor, 4 * words);
            for (int k = 0; k < 11; ++k) s[1 + k] = place(cursor, kElementWidth[k] * elements);
        }
        for (auto& t : table) t = place(cursor, 4 * tableLength);
        values = place(cursor, 16 * kMaxMessages);
        out = place(cursor, 16 * kMaxMessages);
        size = cursor + kGuard;
    }
};

struct World {
    std::vector<std::uint8_t> arena;
    std::vector<MessageRecord> records;
    MessageMetadata metadata[3];

    template <typename T = std::uint8_t>
    T* at(std::size_t offset) {
        return reinterpret_cast<T*>(arena.data() + offset);
    }

    void build(const Plan& plan, const std::vector<std::uint8_t>& contents) {
        arena = contents;
        records.assign(plan.messages, MessageRecord{});
        for (std::uint32_t i = 0; i < plan.messages; ++i) {
            const auto& s = plan.storage[plan.storageOf[i]];
            void* pointers[12];
            for (int p = 0; p < 12; ++p) pointers[p] = at(s[p]);
            std::memcpy(&records[i], pointers, sizeof pointers);
        }
    }
};

const bool trace = std::getenv("TOVAK_FUZZ_TRACE") != nullptr;

struct Harness {
    Plan plan;
    World lib, model;
    // lib.metadata is what the library currently holds: the records last
    // passed to miInitialize (all zero as loaded).

    std::uint32_t base(Which which, int kind) const { return lib.metadata[which].base[kind]; }
    const std::int32_t* tableFor(Which which, bool pins) const {
        return pins ? lib.metadata[which].pinBankTable : lib.metadata[which].numberedFloatTable;
    }
    bool bitOk(std::uint32_t bit) const { return (bit >> 5) < plan.words; }
    bool elementOk(std::int64_t index) const { return index >= 0 && index < plan.elements; }

    // True when every address the call touches lies inside the arrays.
    bool addressable(const Function& f, std::uint32_t count, std::uint32_t a, std::uint32_t b,
                     bool nullValues) const {
        if (count == 0) return true;
        switch (f.shape) {
            case Shape::PlainSet:
                return (nullValues || a < plan.elements) && bitOk(base(Command, f.kind) + a);
            case Shape::PlainGet:
                return a < plan.elements;
            case Shape::FlagSet:
                return bitOk(base(Command, 11) + a);
            case Shape::FlagGet:
                return bitOk(base(f.which, 11) + a);
            case Shape::FieldHas:
                return bitOk(a);
            default:
                break;
        }
        const bool pins = f.kind == 8;
        const std::int32_t* table = tableFor(f.which, pins);
        if (table == nullptr) return true;  // nothing is addressed without a table
        if (b >= plan.tableLength) return false;
        const std::int64_t index = std::int64_t{table[b]} + static_cast<std::int32_t>(a);
        const std::uint32_t low = static_cast<std::uint32_t>(index);
        switch (f.shape) {
            case Shape::NumberedSet:
            case Shape::PinSet:
                return (nullValues || elementOk(index)) && bitOk(base(Command, f.kind) + low);
            case Shape::PinHas:
                return elementOk(index) && bitOk(base(f.which, 8) + low);
            default:
                return elementOk(index);
        }
    }

    void compare(const char* what) {
        if (std::memcmp(lib.arena.data(), model.arena.data(), plan.size) == 0) return;
        std::size_t i = 0;
        while (lib.arena[i] == model.arena[i]) ++i;
        std::fprintf(stderr, "%s: byte %zu of %zu differs: library 0x%02X, model 0x%02X\n", what, i,
                     plan.size, lib.arena[i], model.arena[i]);
        std::abort();
    }

    void readMetadata(Input& in, std::uint64_t& rng) {
        for (int t = 0; t < 6; ++t) {
            for (std::uint32_t e = 0; e < plan.tableLength; ++e) {
                const std::uint8_t mode = in.byte();
                std::int32_t v;
                switch (mode % 4) {
                    case 0:
                        v = in.byte() % plan.elements;
                        break;
                    case 1:
                        v = -static_cast<std::int32_t>(in.byte() % 64);
                        break;
                    case 2:
                        v = static_cast<std::int32_t>(in.u32());
                        break;
                    default:
                        v = (in.byte() & 1) ? INT32_MAX - (in.byte() % 4)
                                            : INT32_MIN + (in.byte() % 4);
                }
                *lib.at<std::int32_t>(plan.table[t] + 4 * e) = v;
                *model.at<std::int32_t>(plan.table[t] + 4 * e) = v;
            }
        }
        for (int w = 0; w < 3; ++w) {
            MessageMetadata m;
            for (std::size_t i = 0; i < sizeof m; i += 8) {  // never-read bytes: anything
                const std::uint64_t r = splitmix(rng);
                std::memcpy(reinterpret_cast<std::uint8_t*>(&m) + i, &r, 8);
            }
            for (auto& base : m.base) {
                const std::uint8_t mode = in.byte();
                switch (mode % 4) {
                    case 1:
                        base = 0u - (1u + in.byte() % 64);
                        break;
                    case 2:
                        base = in.u32();
                        break;
                    default:
                        base = in.byte() % (32 * plan.words);
                }
            }
            const std::uint8_t tables = in.byte();
            lib.metadata[w] = model.metadata[w] = m;
            lib.metadata[w].numberedFloatTable =
                (tables & 3) ? lib.at<std::int32_t>(plan.table[2 * w]) : nullptr;
            lib.metadata[w].pinBankTable =
                (tables & 12) ? lib.at<std::int32_t>(plan.table[2 * w + 1]) : nullptr;
            model.metadata[w].numberedFloatTable =
                (tables & 3) ? model.at<std::int32_t>(plan.table[2 * w]) : nullptr;
            model.metadata[w].pinBankTable =
                (tables & 12) ? model.at<std::int32_t>(plan.table[2 * w + 1]) : nullptr;
        }
        if (trace) std::fprintf(stderr, "miInitialize\n");
        miInitialize(&lib.metadata[0], &lib.metadata[1], &lib.metadata[2]);
        ref::initialize(&model.metadata[0], &model.metadata[1], &model.metadata[2]);
    }

    // One accessor call read from the input: its arguments and where its
    // values or out buffer lies in the arenas.
    struct Prepared {
        const Function* f = nullptr;
        std::uint32_t count = 0, start = 0, a = 0, b = 0;
        bool buffer = false;  // false: a null values/out pointer
        std::size_t bufferAt = 0;
        void* libBuffer(World& w) const { return buffer ? w.at(bufferAt) : nullptr; }
    };

    // Reads one call's arguments; false when the call would address outside
    // the arrays or its buffer does not fit in the room left (call lists
    // place their calls' buffers one after another), so it is skipped.
    bool prepare(const Function& f, Input& in, std::size_t& valuesUsed, std::size_t& outUsed,
                 Prepared& p) {
        const std::uint8_t countByte = in.byte();  // from 250: every message
        const std::uint32_t count =
            countByte >= 250 ? plan.messages : countByte % (plan.messages + 1);
        const std::uint32_t start = in.byte() % (plan.messages - count + 1);
        const std::uint8_t flags = in.byte();
        const bool setter = f.shape == Shape::PlainSet || f.shape == Shape::FlagSet ||
                            f.shape == Shape::NumberedSet || f.shape == Shape::PinSet;
        const bool nullValues = setter && (flags & 3) == 0;
        const bool nullOut = !setter && count == 0 && (flags & 3) == 0;
        std::uint32_t a = 0, b = 0;
        switch ((flags >> 2) % 3) {
            case 0:  // raw arguments
                a = in.u32();
                b = in.u32();
                break;
            case 1: {  // aim at an element
                const std::uint32_t element = in.byte() % plan.elements;
                b = in.byte() % plan.tableLength;
                a = element;
                if (f.shape == Shape::FlagSet || f.shape == Shape::FlagGet ||
                    f.shape == Shape::FieldHas)
                    a = element - (f.shape == Shape::FieldHas
                                       ? 0
                                       : base(f.shape == Shape::FlagSet ? Command : f.which, 11));
                if (const std::int32_t* t =
                        f.kind == 7 || f.kind == 8 ? tableFor(f.which, f.kind == 8) : nullptr)
                    a = static_cast<std::uint32_t>(static_cast<std::int64_t>(element) - t[b]);
                break;
            }
            default: {  // aim at a presence bit
                const std::uint32_t bit = in.byte() % (32 * plan.words);
                b = in.byte() % plan.tableLength;
                const Which owner =
                    f.shape == Shape::PinHas || f.shape == Shape::FlagGet ? f.which : Command;
                a = f.shape == Shape::FieldHas ? bit : bit - base(owner, f.kind);
                if (const std::int32_t* t =
                        f.kind == 7 || f.kind == 8 ? tableFor(f.which, f.kind == 8) : nullptr)
                    a = bit - base(owner, f.kind) - static_cast<std::uint32_t>(t[b]);
            }
        }
        if (!addressable(f, count, a, b, nullValues)) return false;

        p = Prepared{&f, count, start, a, b, false, 0};
        const std::size_t n = static_cast<std::size_t>(count) * f.width;
        const std::size_t room = 16 * std::size_t{kMaxMessages};
        if (setter && !nullValues) {
            if (valuesUsed + n > room) return false;
            p.buffer = true;
            p.bufferAt = plan.values + valuesUsed;
            valuesUsed += (n + 15) & ~std::size_t{15};
            std::uint8_t* values = lib.at(p.bufferAt);
            in.bytes(values, n);
            if (f.kind == 1 && (flags & 0x80))  // angles: force magnitudes from 2 to 2^256
                for (std::size_t i = 7; i < n; i += 8) values[i] = 0x40 | (values[i] & 0x8F);
            std::memcpy(model.at(p.bufferAt), values, n);
        } else if (!setter && !nullOut) {
            if (outUsed + n > room) return false;
            p.buffer = true;
            p.bufferAt = plan.out + outUsed;
            outUsed += (n + 15) & ~std::size_t{15};
        }
        return true;
    }

    void runOnModel(const Prepared& p) {
        p.f->ref(p.libBuffer(model), model.records.data() + p.start, p.count, p.a, p.b);
    }

    void traceCall(const Prepared& p, const char* indent) const {
        if (trace)
            std::fprintf(stderr, "%s%s count %u a %u b %u\n", indent, p.f->name, p.count, p.a, p.b);
    }

    void call(const Function& f, Input& in) {
        std::size_t valuesUsed = 0, outUsed = 0;
        Prepared p;
        if (!prepare(f, in, valuesUsed, outUsed, p)) return;
        traceCall(p, "");
        f.lib(p.libBuffer(lib), lib.records.data() + p.start, p.count, p.a, p.b);
        runOnModel(p);
        compare(f.name);
    }

    // A call list: up to 16 calls (some naming no accessor), run by the
    // library in one miRunCalls and by the model one by one; the two worlds
    // are compared after the whole list.
    void callList(Input& in) {
        const std::uint32_t n = in.byte() % 17;
        std::vector<MiCall> calls;
        std::vector<Prepared> prepared;  // the calls the model runs, in order
        std::size_t valuesUsed = 0, outUsed = 0;
        for (std::uint32_t i = 0; i < n; ++i) {
            const std::uint8_t choice = in.byte() % (kFunctionCount + kUnknownValues);
            if (choice >= kFunctionCount) {  // a value naming no accessor, with live arguments
                std::uint32_t value = choice == kFunctionCount ? 0 : in.u32();
                if (value - 1 < std::uint32_t{kFunctionCount}) value += kFunctionCount;
                MiCall c{value, plan.messages, 0, 0, lib.records.data(), lib.at(plan.out)};
                calls.push_back(c);
                continue;
            }
            const Function& f = kFunctions[choice];
            Prepared p;
            if (!prepare(f, in, valuesUsed, outUsed, p)) continue;
            const bool at = f.shape == Shape::NumberedSet || f.shape == Shape::NumberedGet ||
                            f.shape == Shape::PinSet || f.shape == Shape::PinGet ||
                            f.shape == Shape::PinHas;
            // number and field as the accessor takes them; a plain accessor
            // gets b as its (ignored) number.
            MiCall c{f.callValue,
                     p.count,
                     static_cast<std::int32_t>(at ? p.a : p.b),
                     at ? p.b : p.a,
                     lib.records.data() + p.start,
                     p.libBuffer(lib)};
            calls.push_back(c);
            prepared.push_back(p);
        }
        if (trace) {
            std::fprintf(stderr, "miRunCalls n %zu\n", calls.size());
            for (const Prepared& p : prepared) traceCall(p, "  ");
        }
        miRunCalls(calls.empty() && (n & 1) ? nullptr : calls.data(),
                   static_cast<std::uint32_t>(calls.size()));
        for (const Prepared& p : prepared) runOnModel(p);
        compare("miRunCalls");
    }

    void editTable(Input& in) {
        const std::size_t offset = plan.table[in.byte() % 6] + 4 * (in.byte() % plan.tableLength);
        const std::uint32_t v = in.u32();
        std::memcpy(lib.at(offset), &v, 4);
        std::memcpy(model.at(offset), &v, 4);
    }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    Input in(data, size);
    std::uint64_t rng = in.u64();

    Harness h;
    Plan& plan = h.plan;
    const std::uint8_t messages = in.byte();
    plan.messages = messages < 243 ? messages % 81 : 1000 + 10u * (messages - 243);
    plan.storages = 1 + in.byte() % std::min(std::max(plan.messages, 1u), kMaxStorages);
    const bool aliasByRecord = in.byte() & 1;
    for (std::uint32_t i = 0; i < plan.messages; ++i)
        plan.storageOf.push_back(aliasByRecord ? in.byte() % plan.storages : i % plan.storages);
    plan.words = 1 + in.byte() % 8;
    plan.elements = 1 + in.byte() % 16;
    plan.tableLength = 1 + in.byte() % 8;
    plan.layOut();

    std::vector<std::uint8_t> contents(plan.size);
    for (std::size_t i = 0; i < contents.size(); i += 8) {
        const std::uint64_t r = splitmix(rng);
        std::memcpy(contents.data() + i, &r, contents.size() - i < 8 ? contents.size() - i : 8);
    }
    h.lib.build(plan, contents);
    h.model.build(plan, contents);

    // Both start as a freshly loaded library: all-zero metadata.
    std::memset(h.lib.metadata, 0, sizeof h.lib.metadata);
    std::memset(h.model.metadata, 0, sizeof h.model.metadata);
    miInitialize(&h.lib.metadata[0], &h.lib.metadata[1], &h.lib.metadata[2]);
    ref::reset();

    for (int op = 0; op < 64 && !in.empty(); ++op) {
        const int choice = in.byte() % kOperations;
        if (choice == kInitialize)
            h.readMetadata(in, rng);
        else if (choice == kEditTable)
            h.editTable(in);
        else if (choice == kCallList)
            h.callList(in);
        else
            h.call(kFunctions[choice], in);
    }
    return 0;
}
