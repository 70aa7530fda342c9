// SPDX-License-Identifier: MIT
// See ReferenceModel.hpp. Everything here is spelled out with byte offsets:
//   record:   presence-word pointer at 0, value array of kind k at 8 + 8k;
//   metadata: base[k] at 48 + 4k, numbered-float table pointer at 96,
//             pin-bank table pointer at 112; 132 significant bytes;
//   angle entry: int64 revolutions at 0, float offset at 8;
//   pin entry:   8-byte value at 0, 32-bit tag at 8.
#include "ReferenceModel.hpp"

#include <cmath>
#include <cstring>

namespace ref {
namespace {

enum Kind {
    Float = 0,
    Angle = 1,
    Vector3f = 2,
    Quaternionf = 3,
    UInt64 = 4,
    Enum = 5,
    Bool = 6,
    NumberedFloat = 7,
    IoPin = 8,
    Led = 9,
    Flag = 11
};
unsigned char metadata[3][132];

const unsigned char* recordAt(const void* records, std::uint32_t i) {
    return static_cast<const unsigned char*>(records) + 96 * static_cast<std::uint64_t>(i);
}

unsigned char* pointerAt(const unsigned char* bytes, int offset) {
    unsigned char* p;
    std::memcpy(&p, bytes + offset, sizeof p);
    return p;
}

std::uint32_t base(Which which, Kind kind) {
    std::uint32_t value;
    std::memcpy(&value, metadata[which] + 48 + 4 * kind, 4);
    return value;
}

const unsigned char* numberedFloatTable(Which which) { return pointerAt(metadata[which], 96); }
const unsigned char* pinBankTable(Which which) { return pointerAt(metadata[which], 112); }

std::int32_t tableEntry(const unsigned char* table, std::uint32_t slot) {
    std::int32_t entry;
    std::memcpy(&entry, table + 4 * static_cast<std::uint64_t>(slot), 4);
    return entry;
}

unsigned char* element(const unsigned char* record, Kind kind, std::int64_t index, int width) {
    return pointerAt(record, 8 + 8 * kind) + index * width;
}

void setBit(const unsigned char* record, std::uint32_t bit) {
    unsigned char* word = pointerAt(record, 0) + 4 * static_cast<std::uint64_t>(bit / 32);
    std::uint32_t value;
    std::memcpy(&value, word, 4);
    value = value | (std::uint32_t{1} << (bit % 32));
    std::memcpy(word, &value, 4);
}

unsigned char getBit(const unsigned char* record, std::uint32_t bit) {
    const unsigned char* word = pointerAt(record, 0) + 4 * static_cast<std::uint64_t>(bit / 32);
    std::uint32_t value;
    std::memcpy(&value, word, 4);
    return (value >> (bit % 32)) & 1;
}

// ---- plain values ----

void setPlain(const void* records, const void* values, std::uint32_t count, std::uint32_t field,
              Kind kind, int width) {
    for (std::uint32_t i = 0; i < count; ++i) {
        const unsigned char* record = recordAt(records, i);
        if (values != nullptr)
            std::memcpy(element(record, kind, field, width),
                        static_cast<const unsigned char*>(values) + i * width, width);
        setBit(record, base(Command, kind) + field);
    }
}

void getPlain(void* out, const void* records, std::uint32_t count, std::uint32_t field, Kind kind,
              int width) {
    for (std::uint32_t i = 0; i < count; ++i)
        std::memcpy(static_cast<unsigned char*>(out) + i * width,
                    element(recordAt(records, i), kind, field, width), width);
}

void getBits(void* out, const void* records, std::uint32_t count, std::uint32_t bit) {
    for (std::uint32_t i = 0; i < count; ++i)
        static_cast<unsigned char*>(out)[i] = getBit(recordAt(records, i), bit);
}

// ---- angles ----

// The nearest float to d, rounding ties to even and overflowing to an
// infinity once d reaches the midpoint between the largest float and 2^128.
float nearestFloat(double d) {
    const double largest = 3.4028234663852886e38;   // the largest float
    const double midpoint = 3.4028235677973366e38;  // largest + half its spacing
    if (std::isnan(d) || std::fabs(d) <= largest) return static_cast<float>(d);
    if (std::fabs(d) < midpoint)
        return d < 0 ? -static_cast<float>(largest) : static_cast<float>(largest);
    return d < 0 ? -INFINITY : INFINITY;
}

void storeAngle(unsigned char* entry, double angle) {
    const double turns = angle * 0.15915494309189535;
    std::int64_t revolutions;
    if (std::isnan(turns) || turns >= 9223372036854775808.0 || turns < -9223372036854775808.0)
        revolutions = INT64_MIN;
    else
        revolutions = static_cast<std::int64_t>(std::trunc(turns));
    const double remainder = turns - static_cast<double>(revolutions);
    const double offset = remainder * 6.283185307179586;
    const float offset32 = nearestFloat(offset);
    std::memcpy(entry, &revolutions, 8);
    std::memcpy(entry + 8, &offset32, 4);
}

double loadAngle(const unsigned char* entry) {
    std::int64_t revolutions;
    float offset;
    std::memcpy(&revolutions, entry, 8);
    std::memcpy(&offset, entry + 8, 4);
    const double product = static_cast<double>(revolutions) * 6.283185307179586;
    const double widened = offset;
    return widened + product;
}

// ---- numbered floats and pins ----

std::int64_t indexFrom(const unsigned char* table, std::uint32_t slot, std::int32_t number) {
    return static_cast<std::int64_t>(tableEntry(table, slot)) + number;
}

std::uint32_t bitFrom(std::uint32_t base, std::int64_t index) {
    return base + static_cast<std::uint32_t>(static_cast<std::uint64_t>(index) & 0xFFFFFFFFu);
}

std::uint32_t tagOf(const unsigned char* entry) {
    std::uint32_t tag;
    std::memcpy(&tag, entry + 8, 4);
    return tag;
}

enum PinWrite { WholeEntry, IntValue, FloatValue };

void setPin(const void* records, const void* values, std::uint32_t count, std::int32_t pin,
            std::uint32_t bank, PinWrite write) {
    const unsigned char* table = pinBankTable(Feedback);
    if (table == nullptr) return;
    for (std::uint32_t i = 0; i < count; ++i) {
        const unsigned char* record = recordAt(records, i);
        const std::int64_t index = indexFrom(table, bank, pin);
        if (values != nullptr) {
            unsigned char* entry = element(record, IoPin, index, 16);
            const auto* v = static_cast<const unsigned char*>(values);
            const std::uint32_t intTag = 1, floatTag = 2;
            if (write == WholeEntry) std::memcpy(entry, v + 16 * i, 16);
            if (write == IntValue)
                std::memcpy(entry, v + 8 * i, 8), std::memcpy(entry + 8, &intTag, 4);
            if (write == FloatValue)
                std::memcpy(entry, v + 4 * i, 4), std::memcpy(entry + 8, &floatTag, 4);
        }
        setBit(record, bitFrom(base(Command, IoPin), index));
    }
}

void getPin(void* out, const void* records, std::uint32_t count, std::int32_t pin,
            std::uint32_t bank, PinWrite read) {
    const int width = read == WholeEntry ? 16 : read == IntValue ? 8 : 4;
    const unsigned char* table = pinBankTable(Feedback);
    for (std::uint32_t i = 0; i < count; ++i) {
        unsigned char* o = static_cast<unsigned char*>(out) + i * width;
        std::memset(o, 0, width);
        if (table == nullptr) continue;
        const unsigned char* entry =
            element(recordAt(records, i), IoPin, indexFrom(table, bank, pin), 16);
        if (read == WholeEntry) std::memcpy(o, entry, 16);
        if (read == IntValue && tagOf(entry) == 1) std::memcpy(o, entry, 8);
        if (read == FloatValue && tagOf(entry) == 2) std::memcpy(o, entry, 4);
    }
}

void hasPin(void* out, const void* records, std::uint32_t count, std::int32_t pin,
            std::uint32_t bank, Which which, std::uint32_t tag) {
    const unsigned char* table = pinBankTable(which);
    for (std::uint32_t i = 0; i < count; ++i) {
        unsigned char answer = 0;
        if (table != nullptr) {
            const unsigned char* record = recordAt(records, i);
            const std::int64_t index = indexFrom(table, bank, pin);
            if (tagOf(element(record, IoPin, index, 16)) == tag)
                answer = getBit(record, bitFrom(base(which, IoPin), index));
        }
        static_cast<unsigned char*>(out)[i] = answer;
    }
}

}  // namespace

void reset() { std::memset(metadata, 0, sizeof metadata); }

void initialize(const void* command, const void* feedback, const void* info) {
    std::memcpy(metadata[Command], command, 132);
    std::memcpy(metadata[Feedback], feedback, 132);
    std::memcpy(metadata[Info], info, 132);
}

void CommandSetFloat(const void* r, const void* v, std::uint32_t n, std::uint32_t f) {
    setPlain(r, v, n, f, Float, 4);
}
void CommandSetEnum(const void* r, const void* v, std::uint32_t n, std::uint32_t f) {
    setPlain(r, v, n, f, Enum, 4);
}
void CommandSetBool(const void* r, const void* v, std::uint32_t n, std::uint32_t f) {
    setPlain(r, v, n, f, Bool, 1);
}
void CommandSetLed(const void* r, const void* v, std::uint32_t n, std::uint32_t f) {
    setPlain(r, v, n, f, Led, 4);
}

void CommandSetHighResAngle(const void* records, const void* values, std::uint32_t count,
                            std::uint32_t field) {
    for (std::uint32_t i = 0; i < count; ++i) {
        const unsigned char* record = recordAt(records, i);
        if (values != nullptr) {
            double angle;
            std::memcpy(&angle, static_cast<const unsigned char*>(values) + 8 * i, 8);
            storeAngle(element(record, Angle, field, 16), angle);
        }
        setBit(record, base(Command, Angle) + field);
    }
}

void CommandSetFlag(const void* records, const void*, std::uint32_t count, std::uint32_t field) {
    for (std::uint32_t i = 0; i < count; ++i)
        setBit(recordAt(records, i), base(Command, Flag) + field);
}

void GetFloat(void* o, const void* r, std::uint32_t n, std::uint32_t f) {
    getPlain(o, r, n, f, Float, 4);
}
void GetVector3f(void* o, const void* r, std::uint32_t n, std::uint32_t f) {
    getPlain(o, r, n, f, Vector3f, 12);
}
void GetQuaternionf(void* o, const void* r, std::uint32_t n, std::uint32_t f) {
    getPlain(o, r, n, f, Quaternionf, 16);
}
void GetUInt64(void* o, const void* r, std::uint32_t n, std::uint32_t f) {
    getPlain(o, r, n, f, UInt64, 8);
}
void GetEnum(void* o, const void* r, std::uint32_t n, std::uint32_t f) {
    getPlain(o, r, n, f, Enum, 4);
}
void GetBool(void* o, const void* r, std::uint32_t n, std::uint32_t f) {
    getPlain(o, r, n, f, Bool, 1);
}
void GetLed(void* o, const void* r, std::uint32_t n, std::uint32_t f) {
    getPlain(o, r, n, f, Led, 4);
}

void GetHighResAngle(void* out, const void* records, std::uint32_t count, std::uint32_t field) {
    for (std::uint32_t i = 0; i < count; ++i) {
        const double angle = loadAngle(element(recordAt(records, i), Angle, field, 16));
        std::memcpy(static_cast<unsigned char*>(out) + 8 * i, &angle, 8);
    }
}

void GetFlag(Which which, void* o, const void* r, std::uint32_t n, std::uint32_t f) {
    if (n > 0) getBits(o, r, n, base(which, Flag) + f);
}
void HasField(void* o, const void* r, std::uint32_t n, std::uint32_t bit) { getBits(o, r, n, bit); }

void CommandSetNumberedFloat(const void* records, const void* values, std::uint32_t count,
                             std::int32_t number, std::uint32_t field) {
    const unsigned char* table = numberedFloatTable(Feedback);
    if (table == nullptr) return;
    for (std::uint32_t i = 0; i < count; ++i) {
        const unsigned char* record = recordAt(records, i);
        const std::int64_t index = indexFrom(table, field, number);
        if (values != nullptr)
            std::memcpy(element(record, NumberedFloat, index, 4),
                        static_cast<const unsigned char*>(values) + 4 * i, 4);
        setBit(record, bitFrom(base(Command, NumberedFloat), index));
    }
}

void GetNumberedFloat(void* out, const void* records, std::uint32_t count, std::int32_t number,
                      std::uint32_t field) {
    const unsigned char* table = numberedFloatTable(Feedback);
    for (std::uint32_t i = 0; i < count; ++i) {
        unsigned char* o = static_cast<unsigned char*>(out) + 4 * i;
        if (table == nullptr)
            std::memset(o, 0, 4);
        else
            std::memcpy(
                o, element(recordAt(records, i), NumberedFloat, indexFrom(table, field, number), 4),
                4);
    }
}

void CommandSetIoPin(const void* r, const void* v, std::uint32_t n, std::int32_t p,
                     std::uint32_t b) {
    setPin(r, v, n, p, b, WholeEntry);
}
void CommandSetIoPinInt(const void* r, const void* v, std::uint32_t n, std::int32_t p,
                        std::uint32_t b) {
    setPin(r, v, n, p, b, IntValue);
}
void CommandSetIoPinFloat(const void* r, const void* v, std::uint32_t n, std::int32_t p,
                          std::uint32_t b) {
    setPin(r, v, n, p, b, FloatValue);
}
void GetIoPin(void* o, const void* r, std::uint32_t n, std::int32_t p, std::uint32_t b) {
    getPin(o, r, n, p, b, WholeEntry);
}
void GetIoPinInt(void* o, const void* r, std::uint32_t n, std::int32_t p, std::uint32_t b) {
    getPin(o, r, n, p, b, IntValue);
}
void GetIoPinFloat(void* o, const void* r, std::uint32_t n, std::int32_t p, std::uint32_t b) {
    getPin(o, r, n, p, b, FloatValue);
}
void HasIoPinInt(Which which, void* o, const void* r, std::uint32_t n, std::int32_t p,
                 std::uint32_t b) {
    hasPin(o, r, n, p, b, which, 1);
}
void HasIoPinFloat(Which which, void* o, const void* r, std::uint32_t n, std::int32_t p,
                   std::uint32_t b) {
    hasPin(o, r, n, p, b, which, 2);
}

}  // namespace ref
