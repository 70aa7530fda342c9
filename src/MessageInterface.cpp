// SPDX-License-Identifier: MIT
// The whole library: the three metadata copies, miInitialize and every
// batched accessor.
//
// Each accessor does its addressing (value index, presence word and mask,
// table lookup) once, then makes one pass over the records in ascending
// order. Element copies go through memcpy so that every value, NaN payloads
// included, moves bit for bit whatever the element's declared type.
//
// The library depends on nothing but memcpy/memset: no allocation, no
// exceptions, no C++ runtime. It is built with -ffp-contract=off so that the
// angle arithmetic is never fused into multiply-add.

#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <limits>

#include "tovakWrapper.h"

#if defined(__clang__)
#pragma STDC FP_CONTRACT OFF
#endif

#if defined(_WIN32)
#include <windows.h>

// The loader's entry point: nothing to set up or tear down, for any reason.
extern "C" BOOL WINAPI DllMain(HINSTANCE, DWORD, LPVOID) { return TRUE; }
#endif

static_assert(std::numeric_limits<double>::is_iec559 && std::numeric_limits<float>::is_iec559,
              "the angle conversion relies on IEEE 754 binary32/binary64");

// The shared loops are forced inline, so each export's per-record work runs
// in its own frame with no call per record, which counts for calls over a
// handful of messages. Exports whose bodies come out identical may still be
// folded by the compiler: in an optimised build miFeedbackGetFloat can be a
// single jump to miCommandGetFloat.
#define TOVAK_INLINE [[gnu::always_inline]] inline

namespace {

// Zero on load: every base 0, both table pointers null.
MessageMetadata commandMetadata;
MessageMetadata feedbackMetadata;
MessageMetadata infoMetadata;

// Only the first 132 bytes of a metadata record carry content.
constexpr std::size_t kMetadataBytes = offsetof(MessageMetadata, opaque3) + 4;

// Turns per radian and radians per turn, with their exact bit patterns.
constexpr double kTurnsPerRadian = 0.15915494309189535;
constexpr double kRadiansPerTurn = 6.283185307179586;
static_assert(std::bit_cast<std::uint64_t>(kTurnsPerRadian) == 0x3FC45F306DC9C883u);
static_assert(std::bit_cast<std::uint64_t>(kRadiansPerTurn) == 0x401921FB54442D18u);

// Word index and mask of one presence bit.
struct PresenceBit {
    std::uint32_t word;
    std::uint32_t mask;
    explicit PresenceBit(std::uint32_t bit) : word(bit >> 5), mask(1u << (bit & 31u)) {}
};

inline void markPresent(const MessageRecord& record, PresenceBit bit) {
    record.presence[bit.word] |= bit.mask;
}

inline std::uint8_t isPresent(const MessageRecord& record, PresenceBit bit) {
    return (record.presence[bit.word] & bit.mask) != 0 ? 1 : 0;
}

// ---- generic loops -------------------------------------------------------

// Value array of one kind, as a member pointer of MessageRecord.
template <typename Elem>
using ArrayOf = Elem* MessageRecord::*;

// Getters over many messages read lines that are likely not cached: while
// record i is read, the line record i + kAhead addresses is requested, so
// that the misses of many messages overlap instead of queueing. Below
// kPrefetchFrom records the plain loop is as fast. (Setters gain nothing
// from it: their stores do not hold up the loop.)
constexpr std::uint32_t kAhead = 16;
constexpr std::uint32_t kPrefetchFrom = 1024;

inline void prefetch(const void* address) { __builtin_prefetch(address); }

inline const std::uint32_t* presenceWord(const MessageRecord& record, PresenceBit bit) {
    return record.presence + bit.word;
}

// read(i) for every record in ascending order, ahead(i + kAhead) before it
// when there are enough records.
template <typename Ahead, typename Read>
TOVAK_INLINE void readEach(std::uint32_t count, Ahead ahead, Read read) {
    if (count < kPrefetchFrom) {
        for (std::uint32_t i = 0; i < count; ++i) read(i);
        return;
    }
    std::uint32_t i = 0;
    for (; i < count - kAhead; ++i) {
        ahead(i + kAhead);
        read(i);
    }
    for (; i < count; ++i) read(i);
}

// Marks one presence bit in every record.
TOVAK_INLINE void markEach(const MessageRecord* records, std::uint32_t count, PresenceBit bit) {
    for (std::uint32_t i = 0; i < count; ++i) markPresent(records[i], bit);
}

// The setter frame. element(record) points at the addressed element; for
// each record in order, store(element, values[i]), then the presence bit is
// marked. With null values only the bits are marked.
template <typename Value, typename Element, typename Store>
TOVAK_INLINE void setEach(const MessageRecord* records, const Value* values, std::uint32_t count,
                          PresenceBit bit, Element element, Store store) {
    if (values == nullptr) {
        markEach(records, count, bit);
        return;
    }
    for (std::uint32_t i = 0; i < count; ++i) {
        store(*element(records[i]), values[i]);
        markPresent(records[i], bit);
    }
}

// The getter frame: load(out[i], *element(records[i])) for each record.
template <typename Out, typename Element, typename Load>
TOVAK_INLINE void getEach(Out* out, const MessageRecord* records, std::uint32_t count,
                          Element element, Load load) {
    readEach(
        count, [&](std::uint32_t j) { prefetch(element(records[j])); },
        [&](std::uint32_t i) { load(out[i], *element(records[i])); });
}

// Bitwise element copies: no float register ever sees a stored value, so
// signalling NaNs stay signalling. (Function objects rather than functions,
// so that no function pointer is ever formed.)
constexpr auto copyBits = [](auto& dst, const auto& src) { std::memcpy(&dst, &src, sizeof dst); };

template <typename Elem>
TOVAK_INLINE void setPlain(const MessageRecord* records, const Elem* values, std::uint32_t count,
                           std::uint32_t field, ArrayOf<Elem> array, MiFieldKind kind) {
    if (count == 0) return;
    setEach(
        records, values, count, PresenceBit(commandMetadata.base[kind] + field),
        [array, field](const MessageRecord& r) { return r.*array + field; }, copyBits);
}

template <typename Elem>
TOVAK_INLINE void getPlain(Elem* out, const MessageRecord* records, std::uint32_t count,
                           std::uint32_t field, ArrayOf<Elem> array) {
    if (count == 0) return;
    getEach(
        out, records, count, [array, field](const MessageRecord& r) { return r.*array + field; },
        copyBits);
}

TOVAK_INLINE void getFlag(std::uint8_t* out, const MessageRecord* records, std::uint32_t count,
                          std::uint32_t bitIndex) {
    if (count == 0) return;
    const PresenceBit bit(bitIndex);
    getEach(
        out, records, count, [bit](const MessageRecord& r) { return presenceWord(r, bit); },
        [bit](std::uint8_t& answer, std::uint32_t word) { answer = (word & bit.mask) != 0; });
}

// ---- high-resolution angles ----------------------------------------------

// Rounds to the nearest float. Doubles at or beyond the midpoint between the
// largest float and 2^128 round to an infinity of their sign; saying so
// explicitly keeps the conversion defined for every input.
inline float roundToFloat(double d) {
    constexpr double kOverflow = 0x1.ffffffp127;
    if (d >= kOverflow) return std::numeric_limits<float>::infinity();
    if (d <= -kOverflow) return -std::numeric_limits<float>::infinity();
    return static_cast<float>(d);
}

// Whole turns toward zero; INT64_MIN when x is NaN or outside int64's range.
// The range test comes first, so the cast only ever sees values it can hold.
inline std::int64_t wholeTurns(double x) {
    constexpr double kLimit = 0x1p63;
    if (x >= -kLimit && x < kLimit) return static_cast<std::int64_t>(x);
    return std::numeric_limits<std::int64_t>::min();
}

// A NaN angle is the only way to a NaN offset, and a NaN offset the only way to
// a NaN angle read back (the other operands are always finite). x86-64 and
// 64-bit Arm hand such a NaN through every step quieted, with its sign and the
// leading bits of its payload; RISC-V returns its one canonical NaN instead.
// Elsewhere than on the first two, the two functions below build the
// propagated NaN from the bits, so every platform stores and returns the same
// bits, and the known platforms pay nothing for it. Building with
// TOVAK_PORTABLE_NAN takes the same bit-built path on every platform, so that
// it can be tested, fuzzed and sanitized where the hardware would hide it.
#if !defined(TOVAK_PORTABLE_NAN) && \
    (defined(__x86_64__) || defined(_M_X64) || defined(__aarch64__) || defined(_M_ARM64))
constexpr bool kHardwarePropagatesNaN = true;
#else
constexpr bool kHardwarePropagatesNaN = false;
#endif

inline float narrowNaN(double nan) {
    const auto bits = std::bit_cast<std::uint64_t>(nan);
    const auto sign = static_cast<std::uint32_t>(bits >> 32) & 0x80000000u;
    const auto payload = static_cast<std::uint32_t>(bits >> 29) & 0x007FFFFFu;
    return std::bit_cast<float>(sign | 0x7FC00000u | payload);
}

inline double widenNaN(float nan) {
    const auto bits = std::bit_cast<std::uint32_t>(nan);
    const auto sign = static_cast<std::uint64_t>(bits & 0x80000000u) << 32;
    const auto payload = static_cast<std::uint64_t>(bits & 0x007FFFFFu) << 29;
    return std::bit_cast<double>(sign | 0x7FF8000000000000u | payload);
}

// Each operation is rounded on its own (the library is built without
// floating-point contraction): multiply, truncate, subtract, multiply, round.
constexpr auto storeAngle = [](HighResAngleEntry& entry, double angle) {
    const double turns = angle * kTurnsPerRadian;
    const std::int64_t revolutions = wholeTurns(turns);
    const double offset = (turns - static_cast<double>(revolutions)) * kRadiansPerTurn;
    entry.revolutions = revolutions;
    entry.offset =
        kHardwarePropagatesNaN || angle == angle ? roundToFloat(offset) : narrowNaN(angle);
};

// The product is rounded first, then the widened offset is added.
constexpr auto loadAngle = [](double& angle, const HighResAngleEntry& entry) {
    const double whole = static_cast<double>(entry.revolutions) * kRadiansPerTurn;
    const float offset = entry.offset;
    angle = kHardwarePropagatesNaN || offset == offset ? static_cast<double>(offset) + whole
                                                       : widenNaN(offset);
};

inline auto angleAt(std::uint32_t field) {
    return [field](const MessageRecord& r) { return r.highResAngles + field; };
}

TOVAK_INLINE void getAngles(double* out, const MessageRecord* records, std::uint32_t count,
                            std::uint32_t field) {
    if (count == 0) return;
    getEach(out, records, count, angleAt(field), loadAngle);
}

// ---- numbered floats and pins --------------------------------------------

// Index of a numbered float or pin: the sign-extended table entry plus the
// sign-extended number or pin, in 64 bits.
inline std::int64_t tableIndex(const std::int32_t* table, std::uint32_t slot, std::int32_t offset) {
    return static_cast<std::int64_t>(table[slot]) + static_cast<std::int64_t>(offset);
}

// Its presence bit adds the index's low 32 bits to the base, modulo 2^32.
inline PresenceBit tableBit(std::uint32_t base, std::int64_t index) {
    return PresenceBit(base + static_cast<std::uint32_t>(index));
}

template <typename Elem>
inline auto elementAt(ArrayOf<Elem> array, std::int64_t index) {
    return [array, index](const MessageRecord& r) { return r.*array + index; };
}

// Sets a numbered float or a pin through store(element, value); the table
// is the given one, the presence base the Command metadata's. Without a
// table there is nowhere to address, so nothing changes.
template <typename Elem, typename Value, typename Store>
TOVAK_INLINE void setIndexed(const MessageRecord* records, const Value* values, std::uint32_t count,
                             std::int32_t offset, std::uint32_t slot, const std::int32_t* table,
                             ArrayOf<Elem> array, MiFieldKind kind, Store store) {
    if (count == 0 || table == nullptr) return;
    const std::int64_t index = tableIndex(table, slot, offset);
    setEach(records, values, count, tableBit(commandMetadata.base[kind], index),
            elementAt(array, index), store);
}

// Reads a numbered float or a pin through load(out, element); without a
// table every output element is zero.
template <typename Out, typename Elem, typename Load>
TOVAK_INLINE void getIndexed(Out* out, const MessageRecord* records, std::uint32_t count,
                             std::int32_t offset, std::uint32_t slot, const std::int32_t* table,
                             ArrayOf<Elem> array, Load load) {
    if (count == 0) return;
    if (table == nullptr) {
        std::memset(out, 0, sizeof(Out) * count);
        return;
    }
    getEach(out, records, count, elementAt(array, tableIndex(table, slot, offset)), load);
}

TOVAK_INLINE void getNumberedFloat(float* out, const MessageRecord* records, std::uint32_t count,
                                   std::int32_t number, std::uint32_t field) {
    getIndexed(out, records, count, number, field, feedbackMetadata.numberedFloatTable,
               &MessageRecord::numberedFloats, copyBits);
}

constexpr auto storePinInt = [](IoPinEntry& entry, const std::int64_t& value) {
    std::memcpy(&entry.value, &value, sizeof value);
    entry.tag = MI_IO_PIN_TAG_INT;
};
// Only the first 4 bytes of the value field change.
constexpr auto storePinFloat = [](IoPinEntry& entry, const float& value) {
    std::memcpy(&entry.value, &value, sizeof value);
    entry.tag = MI_IO_PIN_TAG_FLOAT;
};
constexpr auto loadPinInt = [](std::int64_t& value, const IoPinEntry& entry) {
    value = 0;
    if (entry.tag == MI_IO_PIN_TAG_INT) std::memcpy(&value, &entry.value, sizeof value);
};
constexpr auto loadPinFloat = [](float& value, const IoPinEntry& entry) {
    value = 0.0f;
    if (entry.tag == MI_IO_PIN_TAG_FLOAT) std::memcpy(&value, &entry.value, sizeof value);
};

// Command pins are set and read through the Feedback metadata's table.
template <typename Value, typename Store>
TOVAK_INLINE void setPin(const MessageRecord* records, const Value* values, std::uint32_t count,
                         std::int32_t pin, std::uint32_t bank, Store store) {
    setIndexed(records, values, count, pin, bank, feedbackMetadata.pinBankTable,
               &MessageRecord::ioPins, MI_KIND_IO_PIN, store);
}

template <typename Out, typename Load>
TOVAK_INLINE void getPin(Out* out, const MessageRecord* records, std::uint32_t count,
                         std::int32_t pin, std::uint32_t bank, Load load) {
    getIndexed(out, records, count, pin, bank, feedbackMetadata.pinBankTable,
               &MessageRecord::ioPins, load);
}

// A pin answers 1 only when its tag matches and its presence bit is set; a
// mismatched tag leaves the presence word unread. Table and base both come
// from `metadata`.
TOVAK_INLINE void hasPin(std::uint8_t* out, const MessageRecord* records, std::uint32_t count,
                         std::int32_t pin, std::uint32_t bank, const MessageMetadata& metadata,
                         IoPinTag tag) {
    if (count == 0) return;
    const std::int32_t* table = metadata.pinBankTable;
    if (table == nullptr) {
        std::memset(out, 0, count);
        return;
    }
    const std::int64_t index = tableIndex(table, bank, pin);
    const PresenceBit bit = tableBit(metadata.base[MI_KIND_IO_PIN], index);
    readEach(
        count,
        [&](std::uint32_t j) {
            prefetch(records[j].ioPins + index);
            prefetch(presenceWord(records[j], bit));
        },
        [&](std::uint32_t i) {
            out[i] = records[i].ioPins[index].tag == tag ? isPresent(records[i], bit) : 0;
        });
}

}  // namespace

extern "C" {

// ---- initialization ---------------------------------------------------------

MI_API void miInitialize(const MessageMetadata* command, const MessageMetadata* feedback,
                         const MessageMetadata* info) {
    std::memcpy(&commandMetadata, command, kMetadataBytes);
    std::memcpy(&feedbackMetadata, feedback, kMetadataBytes);
    std::memcpy(&infoMetadata, info, kMetadataBytes);
}

// ---- plain values -------------------------------------------------------------

MI_API void miCommandSetFloat(const MessageRecord* records, const float* values, uint32_t count,
                              uint32_t field) {
    setPlain(records, values, count, field, &MessageRecord::floats, MI_KIND_FLOAT);
}
MI_API void miCommandGetFloat(float* out, const MessageRecord* records, uint32_t count,
                              uint32_t field) {
    getPlain(out, records, count, field, &MessageRecord::floats);
}
MI_API void miFeedbackGetFloat(float* out, const MessageRecord* records, uint32_t count,
                               uint32_t field) {
    getPlain(out, records, count, field, &MessageRecord::floats);
}
MI_API void miInfoGetFloat(float* out, const MessageRecord* records, uint32_t count,
                           uint32_t field) {
    getPlain(out, records, count, field, &MessageRecord::floats);
}

MI_API void miCommandGetVector3f(MiVector3f* out, const MessageRecord* records, uint32_t count,
                                 uint32_t field) {
    getPlain(out, records, count, field, &MessageRecord::vector3fs);
}
MI_API void miFeedbackGetVector3f(MiVector3f* out, const MessageRecord* records, uint32_t count,
                                  uint32_t field) {
    getPlain(out, records, count, field, &MessageRecord::vector3fs);
}

MI_API void miCommandGetQuaternionf(MiQuaternionf* out, const MessageRecord* records,
                                    uint32_t count, uint32_t field) {
    getPlain(out, records, count, field, &MessageRecord::quaternionfs);
}
MI_API void miFeedbackGetQuaternionf(MiQuaternionf* out, const MessageRecord* records,
                                     uint32_t count, uint32_t field) {
    getPlain(out, records, count, field, &MessageRecord::quaternionfs);
}

MI_API void miCommandGetUInt64(uint64_t* out, const MessageRecord* records, uint32_t count,
                               uint32_t field) {
    getPlain(out, records, count, field, &MessageRecord::uint64s);
}
MI_API void miFeedbackGetUInt64(uint64_t* out, const MessageRecord* records, uint32_t count,
                                uint32_t field) {
    getPlain(out, records, count, field, &MessageRecord::uint64s);
}

MI_API void miCommandSetEnum(const MessageRecord* records, const int32_t* values, uint32_t count,
                             uint32_t field) {
    setPlain(records, values, count, field, &MessageRecord::enums, MI_KIND_ENUM);
}
MI_API void miCommandGetEnum(int32_t* out, const MessageRecord* records, uint32_t count,
                             uint32_t field) {
    getPlain(out, records, count, field, &MessageRecord::enums);
}
MI_API void miFeedbackGetEnum(int32_t* out, const MessageRecord* records, uint32_t count,
                              uint32_t field) {
    getPlain(out, records, count, field, &MessageRecord::enums);
}
MI_API void miInfoGetEnum(int32_t* out, const MessageRecord* records, uint32_t count,
                          uint32_t field) {
    getPlain(out, records, count, field, &MessageRecord::enums);
}

MI_API void miCommandSetBool(const MessageRecord* records, const uint8_t* values, uint32_t count,
                             uint32_t field) {
    setPlain(records, values, count, field, &MessageRecord::bools, MI_KIND_BOOL);
}
MI_API void miCommandGetBool(uint8_t* out, const MessageRecord* records, uint32_t count,
                             uint32_t field) {
    getPlain(out, records, count, field, &MessageRecord::bools);
}
MI_API void miFeedbackGetBool(uint8_t* out, const MessageRecord* records, uint32_t count,
                              uint32_t field) {
    getPlain(out, records, count, field, &MessageRecord::bools);
}
MI_API void miInfoGetBool(uint8_t* out, const MessageRecord* records, uint32_t count,
                          uint32_t field) {
    getPlain(out, records, count, field, &MessageRecord::bools);
}

MI_API void miCommandSetLed(const MessageRecord* records, const uint32_t* values, uint32_t count,
                            uint32_t field) {
    setPlain(records, values, count, field, &MessageRecord::leds, MI_KIND_LED);
}
MI_API void miCommandGetLed(uint32_t* out, const MessageRecord* records, uint32_t count,
                            uint32_t field) {
    getPlain(out, records, count, field, &MessageRecord::leds);
}
MI_API void miFeedbackGetLed(uint32_t* out, const MessageRecord* records, uint32_t count,
                             uint32_t field) {
    getPlain(out, records, count, field, &MessageRecord::leds);
}
MI_API void miInfoGetLed(uint32_t* out, const MessageRecord* records, uint32_t count,
                         uint32_t field) {
    getPlain(out, records, count, field, &MessageRecord::leds);
}

// ---- high-resolution angles ---------------------------------------------------

MI_API void miCommandSetHighResAngle(const MessageRecord* records, const double* values,
                                     uint32_t count, uint32_t field) {
    if (count == 0) return;
    setEach(records, values, count,
            PresenceBit(commandMetadata.base[MI_KIND_HIGH_RES_ANGLE] + field), angleAt(field),
            storeAngle);
}
MI_API void miCommandGetHighResAngle(double* out, const MessageRecord* records, uint32_t count,
                                     uint32_t field) {
    getAngles(out, records, count, field);
}
MI_API void miFeedbackGetHighResAngle(double* out, const MessageRecord* records, uint32_t count,
                                      uint32_t field) {
    getAngles(out, records, count, field);
}
MI_API void miInfoGetHighResAngle(double* out, const MessageRecord* records, uint32_t count,
                                  uint32_t field) {
    getAngles(out, records, count, field);
}

// ---- numbered floats ------------------------------------------------------------

MI_API void miCommandSetNumberedFloat(const MessageRecord* records, const float* values,
                                      uint32_t count, int32_t number, uint32_t field) {
    setIndexed(records, values, count, number, field, feedbackMetadata.numberedFloatTable,
               &MessageRecord::numberedFloats, MI_KIND_NUMBERED_FLOAT, copyBits);
}
MI_API void miCommandGetNumberedFloat(float* out, const MessageRecord* records, uint32_t count,
                                      int32_t number, uint32_t field) {
    getNumberedFloat(out, records, count, number, field);
}
MI_API void miFeedbackGetNumberedFloat(float* out, const MessageRecord* records, uint32_t count,
                                       int32_t number, uint32_t field) {
    getNumberedFloat(out, records, count, number, field);
}

// ---- I/O pins -----------------------------------------------------------------------

MI_API void miCommandSetIoPin(const MessageRecord* records, const IoPinEntry* values,
                              uint32_t count, int32_t pin, uint32_t bank) {
    setPin(records, values, count, pin, bank, copyBits);
}
MI_API void miCommandSetIoPinInt(const MessageRecord* records, const int64_t* values,
                                 uint32_t count, int32_t pin, uint32_t bank) {
    setPin(records, values, count, pin, bank, storePinInt);
}
MI_API void miCommandSetIoPinFloat(const MessageRecord* records, const float* values,
                                   uint32_t count, int32_t pin, uint32_t bank) {
    setPin(records, values, count, pin, bank, storePinFloat);
}
MI_API void miCommandGetIoPin(IoPinEntry* out, const MessageRecord* records, uint32_t count,
                              int32_t pin, uint32_t bank) {
    getPin(out, records, count, pin, bank, copyBits);
}
MI_API void miFeedbackGetIoPin(IoPinEntry* out, const MessageRecord* records, uint32_t count,
                               int32_t pin, uint32_t bank) {
    getPin(out, records, count, pin, bank, copyBits);
}
MI_API void miCommandGetIoPinInt(int64_t* out, const MessageRecord* records, uint32_t count,
                                 int32_t pin, uint32_t bank) {
    getPin(out, records, count, pin, bank, loadPinInt);
}
MI_API void miFeedbackGetIoPinInt(int64_t* out, const MessageRecord* records, uint32_t count,
                                  int32_t pin, uint32_t bank) {
    getPin(out, records, count, pin, bank, loadPinInt);
}
MI_API void miCommandGetIoPinFloat(float* out, const MessageRecord* records, uint32_t count,
                                   int32_t pin, uint32_t bank) {
    getPin(out, records, count, pin, bank, loadPinFloat);
}
MI_API void miFeedbackGetIoPinFloat(float* out, const MessageRecord* records, uint32_t count,
                                    int32_t pin, uint32_t bank) {
    getPin(out, records, count, pin, bank, loadPinFloat);
}
MI_API void miCommandHasIoPinInt(uint8_t* out, const MessageRecord* records, uint32_t count,
                                 int32_t pin, uint32_t bank) {
    hasPin(out, records, count, pin, bank, commandMetadata, MI_IO_PIN_TAG_INT);
}
MI_API void miFeedbackHasIoPinInt(uint8_t* out, const MessageRecord* records, uint32_t count,
                                  int32_t pin, uint32_t bank) {
    hasPin(out, records, count, pin, bank, feedbackMetadata, MI_IO_PIN_TAG_INT);
}
MI_API void miCommandHasIoPinFloat(uint8_t* out, const MessageRecord* records, uint32_t count,
                                   int32_t pin, uint32_t bank) {
    hasPin(out, records, count, pin, bank, commandMetadata, MI_IO_PIN_TAG_FLOAT);
}
MI_API void miFeedbackHasIoPinFloat(uint8_t* out, const MessageRecord* records, uint32_t count,
                                    int32_t pin, uint32_t bank) {
    hasPin(out, records, count, pin, bank, feedbackMetadata, MI_IO_PIN_TAG_FLOAT);
}

// ---- flags and presence ---------------------------------------------------------

MI_API void miCommandSetFlag(const MessageRecord* records, const uint8_t* /*values*/,
                             uint32_t count, uint32_t field) {
    if (count == 0) return;
    const PresenceBit bit(commandMetadata.base[MI_KIND_FLAG] + field);
    markEach(records, count, bit);
}
MI_API void miCommandGetFlag(uint8_t* out, const MessageRecord* records, uint32_t count,
                             uint32_t field) {
    getFlag(out, records, count, commandMetadata.base[MI_KIND_FLAG] + field);
}
MI_API void miInfoGetFlag(uint8_t* out, const MessageRecord* records, uint32_t count,
                          uint32_t field) {
    getFlag(out, records, count, infoMetadata.base[MI_KIND_FLAG] + field);
}
MI_API void miCommandHasField(uint8_t* out, const MessageRecord* records, uint32_t count,
                              uint32_t bit) {
    getFlag(out, records, count, bit);
}
MI_API void miFeedbackHasField(uint8_t* out, const MessageRecord* records, uint32_t count,
                               uint32_t bit) {
    getFlag(out, records, count, bit);
}
MI_API void miInfoHasField(uint8_t* out, const MessageRecord* records, uint32_t count,
                           uint32_t bit) {
    getFlag(out, records, count, bit);
}

}  // extern "C"
