/* SPDX-License-Identifier: MIT */
/**
 * @file tovakWrapper.h
 * @brief Batched access to one field of many Command, Feedback and Info
 * messages per call.
 *
 * The messages belong to the host's message library. The host passes arrays
 * of MessageRecord (pointers into each message's storage) and, once, the
 * three MessageMetadata records that say where each kind of field keeps its
 * presence bits (miInitialize). Every accessor reads or writes one field of
 * `count` messages in one call.
 *
 * Rules every accessor shares; each family states its own rules once, and a
 * function's comment says only where it differs:
 *   - Setters take (records, values, count, field), getters and queries
 *     (out, records, count, field); pin and numbered-float accessors take
 *     (..., count, pin, bank) and (..., count, number, field). `records` is
 *     MessageRecord[count]; element i of `values` or `out` belongs to
 *     records[i]. `field` is the element index in each message's value array
 *     of the kind (a flag number for flags; for numbered floats and pins an
 *     index into the metadata's table, `number` and `pin` signed positions
 *     after that table entry); the Has...Field queries take an absolute
 *     presence bit, `bit`, instead.
 *   - Records are visited in ascending order, each finished (value, then
 *     presence bit) before the next. Records may view the same message or
 *     arrays: after a setter the later record's value stays.
 *   - count == 0 returns at once and touches nothing, not even the metadata:
 *     any pointer may be null, and it is safe before miInitialize.
 *   - Before miInitialize every base is 0 and there are no tables: setters
 *     and flag getters place presence bits from base 0, plain getters and the
 *     Has...Field queries work as usual, and the numbered-float and pin
 *     accessors are inert (setters change nothing, getters give zeros,
 *     queries answer 0).
 *   - Setters read `values` once per element and never write it (it may be
 *     read-only); values == NULL sets only the presence bits. They set
 *     presence bits and never clear them.
 *   - Getters read no presence bit and never read `out`; they write every one
 *     of out[0..count), on every path, and nothing past it.
 *   - Presence bit n is bit n & 31 of presence word n >> 5; bit indices wrap
 *     modulo 2^32.
 *   - Values move bit for bit (NaN payloads and Bool bytes other than 0 and 1
 *     included); only the high-resolution angles convert.
 *   - Nothing is validated: records, out, the message arrays, presence words
 *     and tables must be valid for the indices computed.
 *   - `out` must not overlap anything the call reads (records, messages,
 *     tables); `values` must not overlap anything the setter writes.
 *   - No locks: miInitialize must not overlap any accessor, and a setter must
 *     not run alongside any other accessor over the same messages.
 *   - Alignment: every array as its element type needs: 1 byte for uint8_t;
 *     4 for float, int32_t, uint32_t, MiVector3f and MiQuaternionf; 8 for
 *     double, int64_t, uint64_t, HighResAngleEntry, IoPinEntry, MessageRecord
 *     and MessageMetadata.
 *
 * C (C89 and later) and C++ (C++98 and later), 64-bit only, plain exported
 * names.
 */
#ifndef TOVAKWRAPPER_H
#define TOVAKWRAPPER_H

#include <stddef.h>
#include <stdint.h>

/** @brief Major version: changes when the interface breaks. */
#define TOVAKWRAPPER_VERSION_MAJOR 0
/** @brief Minor version: changes when the interface grows. */
#define TOVAKWRAPPER_VERSION_MINOR 2
/** @brief Patch version: changes for fixes that keep the interface. */
#define TOVAKWRAPPER_VERSION_PATCH 0

/**
 * @def MI_API
 * @brief Marks the exported functions (dllexport/dllimport on Windows,
 * default visibility elsewhere). Define TOVAKWRAPPER_BUILDING only when
 * compiling the library itself.
 */
#if defined(_WIN32) || defined(__CYGWIN__)
#if defined(TOVAKWRAPPER_BUILDING)
#define MI_API __declspec(dllexport)
#else
#define MI_API __declspec(dllimport)
#endif
#elif defined(__GNUC__)
#define MI_API __attribute__((visibility("default")))
#else
#define MI_API
#endif

/**
 * @def MI_LAYOUT_CHECK
 * @brief Compile-time check of the record layouts: static_assert in C++11
 * and later, _Static_assert in C11 and later, otherwise (C89/C99,
 * C++98/03) a typedef of an array whose size is -1 when `cond` is false.
 */
#if defined(__cplusplus) && (__cplusplus >= 201103L || (defined(_MSC_VER) && _MSC_VER >= 1600))
#define MI_LAYOUT_CHECK(cond, name) static_assert(cond, #name)
#elif !defined(__cplusplus) && defined(__STDC_VERSION__) && __STDC_VERSION__ >= 201112L
#define MI_LAYOUT_CHECK(cond, name) _Static_assert(cond, #name)
#else
#define MI_LAYOUT_CHECK(cond, name) typedef char mi_layout_check_##name[(cond) ? 1 : -1]
#endif

#ifdef __cplusplus
extern "C" {
#endif

/**
 * @defgroup types Records and types
 * @brief The layouts shared with the host's message library.
 * @{
 */

/**
 * @brief Field kinds, in the order that indexes MessageRecord's value
 * arrays (kinds 0 to 10) and MessageMetadata::base (all twelve).
 */
enum MiFieldKind {
    MI_KIND_FLOAT = 0,          /**< float, 4 bytes */
    MI_KIND_HIGH_RES_ANGLE = 1, /**< HighResAngleEntry, 16 bytes */
    MI_KIND_VECTOR3F = 2,       /**< MiVector3f, 12 bytes */
    MI_KIND_QUATERNIONF = 3,    /**< MiQuaternionf, 16 bytes */
    MI_KIND_UINT64 = 4,         /**< uint64_t, 8 bytes */
    MI_KIND_ENUM = 5,           /**< int32_t, 4 bytes */
    MI_KIND_BOOL = 6,           /**< uint8_t, 1 byte, any value */
    MI_KIND_NUMBERED_FLOAT = 7, /**< float, 4 bytes, addressed by table */
    MI_KIND_IO_PIN = 8,         /**< IoPinEntry, 16 bytes, by table */
    MI_KIND_LED = 9,            /**< uint32_t, 4 bytes */
    MI_KIND_RESERVED = 10,      /**< carried by the messages, never accessed */
    MI_KIND_FLAG = 11,          /**< no value array: the presence bit is the value */
    MI_KIND_COUNT = 12          /**< number of kinds (length of base[]) */
};

/** @brief Three floats, 12 bytes, moved as a unit (never interpreted). */
typedef struct MiVector3f {
    float v[3]; /**< the components */
} MiVector3f;

/** @brief Four floats, 16 bytes, moved as a unit (never interpreted). */
typedef struct MiQuaternionf {
    float q[4]; /**< the components */
} MiQuaternionf;

/** @brief An angle of many turns: revolutions * 2*pi + offset radians. */
typedef struct HighResAngleEntry {
    int64_t revolutions; /**< offset 0: whole turns */
    float offset;        /**< offset 8: radians within the turn */
    uint32_t padding;    /**< offset 12: never read or written */
} HighResAngleEntry;

/** @brief Tag of an IoPinEntry: what its value field holds. */
typedef uint32_t IoPinTag;
/** @brief IoPinTag: value.asInt holds the pin's value. */
#define MI_IO_PIN_TAG_INT ((IoPinTag)1)
/** @brief IoPinTag: value.asFloat (the first 4 bytes) holds it. */
#define MI_IO_PIN_TAG_FLOAT ((IoPinTag)2)

/** @brief The 8 value bytes of an IoPinEntry. */
typedef union MiIoPinValue {
    int64_t asInt;    /**< with MI_IO_PIN_TAG_INT */
    float asFloat;    /**< with MI_IO_PIN_TAG_FLOAT: the first 4 bytes */
    uint8_t bytes[8]; /**< the raw bytes */
} MiIoPinValue;

/** @brief One I/O pin's value and its type. */
typedef struct IoPinEntry {
    MiIoPinValue value; /**< offset 0 */
    IoPinTag tag;       /**< offset 8: 1 integer, 2 float, other: no value */
    uint32_t padding;   /**< offset 12 */
} IoPinEntry;

/**
 * @brief A view of one message: its presence words and its value arrays.
 * Only the pointers the accessor called needs are followed.
 */
typedef struct MessageRecord {
    uint32_t *presence;               /**<  0: presence words */
    float *floats;                    /**<  8: kind 0 */
    HighResAngleEntry *highResAngles; /**< 16: kind 1 */
    MiVector3f *vector3fs;            /**< 24: kind 2 */
    MiQuaternionf *quaternionfs;      /**< 32: kind 3 */
    uint64_t *uint64s;                /**< 40: kind 4 */
    int32_t *enums;                   /**< 48: kind 5 */
    uint8_t *bools;                   /**< 56: kind 6 */
    float *numberedFloats;            /**< 64: kind 7 */
    IoPinEntry *ioPins;               /**< 72: kind 8 */
    uint32_t *leds;                   /**< 80: kind 9 */
    void *reserved;                   /**< 88: kind 10, never followed */
} MessageRecord;

/**
 * @brief Where one message kind keeps its presence bits. Only base[] and
 * the two table pointers are read; the other bytes are carried.
 */
typedef struct MessageMetadata {
    uint8_t opaque0[48];               /**<   0: never read */
    uint32_t base[MI_KIND_COUNT];      /**<  48: first presence bit per kind */
    const int32_t *numberedFloatTable; /**<  96: first element per field */
    uint64_t opaque1;                  /**< 104: never read */
    const int32_t *pinBankTable;       /**< 112: first entry per bank */
    uint64_t opaque2;                  /**< 120: never read */
    uint32_t opaque3;                  /**< 128: never read (4 bytes of
                                            tail padding follow) */
} MessageMetadata;

/** @} */

MI_LAYOUT_CHECK(sizeof(void *) == 8, pointers_are_64_bit);
MI_LAYOUT_CHECK(sizeof(MiVector3f) == 12, vector3f_size);
MI_LAYOUT_CHECK(sizeof(MiQuaternionf) == 16, quaternionf_size);
MI_LAYOUT_CHECK(sizeof(HighResAngleEntry) == 16, angle_size);
MI_LAYOUT_CHECK(offsetof(HighResAngleEntry, revolutions) == 0, angle_revs);
MI_LAYOUT_CHECK(offsetof(HighResAngleEntry, offset) == 8, angle_offset);
MI_LAYOUT_CHECK(offsetof(HighResAngleEntry, padding) == 12, angle_padding);
MI_LAYOUT_CHECK(sizeof(MiIoPinValue) == 8, pin_value_size);
MI_LAYOUT_CHECK(sizeof(IoPinEntry) == 16, pin_size);
MI_LAYOUT_CHECK(offsetof(IoPinEntry, value) == 0, pin_value);
MI_LAYOUT_CHECK(offsetof(IoPinEntry, tag) == 8, pin_tag);
MI_LAYOUT_CHECK(offsetof(IoPinEntry, padding) == 12, pin_padding);
MI_LAYOUT_CHECK(sizeof(MessageRecord) == 96, record_size);
MI_LAYOUT_CHECK(offsetof(MessageRecord, presence) == 0, record_presence);
MI_LAYOUT_CHECK(offsetof(MessageRecord, floats) == 8, record_floats);
MI_LAYOUT_CHECK(offsetof(MessageRecord, highResAngles) == 16, record_angles);
MI_LAYOUT_CHECK(offsetof(MessageRecord, vector3fs) == 24, record_vector3fs);
MI_LAYOUT_CHECK(offsetof(MessageRecord, quaternionfs) == 32, record_quats);
MI_LAYOUT_CHECK(offsetof(MessageRecord, uint64s) == 40, record_uint64s);
MI_LAYOUT_CHECK(offsetof(MessageRecord, enums) == 48, record_enums);
MI_LAYOUT_CHECK(offsetof(MessageRecord, bools) == 56, record_bools);
MI_LAYOUT_CHECK(offsetof(MessageRecord, numberedFloats) == 64, record_nfs);
MI_LAYOUT_CHECK(offsetof(MessageRecord, ioPins) == 72, record_pins);
MI_LAYOUT_CHECK(offsetof(MessageRecord, leds) == 80, record_leds);
MI_LAYOUT_CHECK(offsetof(MessageRecord, reserved) == 88, record_reserved);
MI_LAYOUT_CHECK(sizeof(MessageMetadata) == 136, metadata_size);
MI_LAYOUT_CHECK(offsetof(MessageMetadata, base) == 48, metadata_base);
MI_LAYOUT_CHECK(offsetof(MessageMetadata, numberedFloatTable) == 96, metadata_numbered_float_table);
MI_LAYOUT_CHECK(offsetof(MessageMetadata, opaque1) == 104, metadata_opaque1);
MI_LAYOUT_CHECK(offsetof(MessageMetadata, pinBankTable) == 112, metadata_pin_bank_table);
MI_LAYOUT_CHECK(offsetof(MessageMetadata, opaque2) == 120, metadata_opaque2);
MI_LAYOUT_CHECK(offsetof(MessageMetadata, opaque3) == 128, metadata_opaque3);

/**
 * @defgroup init Initialization
 * @brief Passing the three metadata records to the library.
 * @{
 */

/**
 * @brief Copies the three metadata records that every later call uses.
 *
 * Copies the first 132 bytes of each record into the library's three copies
 * (all zero as loaded: every base 0, no tables). The tables they point to
 * stay in the host's memory and are read afresh at every call: they must
 * outlive every accessor call and may be edited between calls. May be called
 * again between accessor calls, to replace all three copies.
 *
 * @param command  Command metadata (valid, 8-byte aligned).
 * @param feedback Feedback metadata (valid, 8-byte aligned).
 * @param info     Info metadata (valid, 8-byte aligned).
 */
MI_API void miInitialize(const MessageMetadata *command, const MessageMetadata *feedback,
                         const MessageMetadata *info);

/** @} */

/**
 * @defgroup plain Plain values
 * @brief Float, Vector3f, Quaternionf, UInt64, Enum, Bool and Led.
 *
 * Setters (Command only): element `field` of the kind's value array =
 * values[i], then presence bit commandMetadata.base[kind] + field is set.
 * Getters: out[i] = element `field` of records[i]'s value array; the Command,
 * Feedback and Info getters of a kind are the same and read no metadata, so
 * they work the same before miInitialize. Element widths: Float 4, Vector3f
 * 12, Quaternionf 16, UInt64 8, Enum 4, Bool 1 (any byte value, copied as
 * is), Led 4. Each value array needs more than `field` elements.
 * @{
 */

/** @brief Sets Float field `field` of `count` Command messages. */
MI_API void miCommandSetFloat(const MessageRecord *records, const float *values, uint32_t count,
                              uint32_t field);
/** @brief Reads Float field `field` of `count` Command messages. */
MI_API void miCommandGetFloat(float *out, const MessageRecord *records, uint32_t count,
                              uint32_t field);
/** @brief Reads Float field `field` of Feedback messages. */
MI_API void miFeedbackGetFloat(float *out, const MessageRecord *records, uint32_t count,
                               uint32_t field);
/** @brief Reads Float field `field` of Info messages. */
MI_API void miInfoGetFloat(float *out, const MessageRecord *records, uint32_t count,
                           uint32_t field);

/** @brief Reads Vector3f field `field` of Command messages. */
MI_API void miCommandGetVector3f(MiVector3f *out, const MessageRecord *records, uint32_t count,
                                 uint32_t field);
/** @brief Reads Vector3f field `field` of Feedback messages. */
MI_API void miFeedbackGetVector3f(MiVector3f *out, const MessageRecord *records, uint32_t count,
                                  uint32_t field);

/** @brief Reads Quaternionf field `field` of Command messages. */
MI_API void miCommandGetQuaternionf(MiQuaternionf *out, const MessageRecord *records,
                                    uint32_t count, uint32_t field);
/** @brief Reads Quaternionf field `field` of Feedback messages. */
MI_API void miFeedbackGetQuaternionf(MiQuaternionf *out, const MessageRecord *records,
                                     uint32_t count, uint32_t field);

/** @brief Reads UInt64 field `field` of Command messages. */
MI_API void miCommandGetUInt64(uint64_t *out, const MessageRecord *records, uint32_t count,
                               uint32_t field);
/** @brief Reads UInt64 field `field` of Feedback messages. */
MI_API void miFeedbackGetUInt64(uint64_t *out, const MessageRecord *records, uint32_t count,
                                uint32_t field);

/** @brief Sets Enum field `field` of Command messages. */
MI_API void miCommandSetEnum(const MessageRecord *records, const int32_t *values, uint32_t count,
                             uint32_t field);
/** @brief Reads Enum field `field` of Command messages. */
MI_API void miCommandGetEnum(int32_t *out, const MessageRecord *records, uint32_t count,
                             uint32_t field);
/** @brief Reads Enum field `field` of Feedback messages. */
MI_API void miFeedbackGetEnum(int32_t *out, const MessageRecord *records, uint32_t count,
                              uint32_t field);
/** @brief Reads Enum field `field` of Info messages. */
MI_API void miInfoGetEnum(int32_t *out, const MessageRecord *records, uint32_t count,
                          uint32_t field);

/** @brief Sets Bool field `field` of Command messages. */
MI_API void miCommandSetBool(const MessageRecord *records, const uint8_t *values, uint32_t count,
                             uint32_t field);
/** @brief Reads Bool field `field` of Command messages. */
MI_API void miCommandGetBool(uint8_t *out, const MessageRecord *records, uint32_t count,
                             uint32_t field);
/** @brief Reads Bool field `field` of Feedback messages. */
MI_API void miFeedbackGetBool(uint8_t *out, const MessageRecord *records, uint32_t count,
                              uint32_t field);
/** @brief Reads Bool field `field` of Info messages. */
MI_API void miInfoGetBool(uint8_t *out, const MessageRecord *records, uint32_t count,
                          uint32_t field);

/** @brief Sets Led field `field` of Command messages. */
MI_API void miCommandSetLed(const MessageRecord *records, const uint32_t *values, uint32_t count,
                            uint32_t field);
/** @brief Reads Led field `field` of Command messages. */
MI_API void miCommandGetLed(uint32_t *out, const MessageRecord *records, uint32_t count,
                            uint32_t field);
/** @brief Reads Led field `field` of Feedback messages. */
MI_API void miFeedbackGetLed(uint32_t *out, const MessageRecord *records, uint32_t count,
                             uint32_t field);
/** @brief Reads Led field `field` of Info messages. */
MI_API void miInfoGetLed(uint32_t *out, const MessageRecord *records, uint32_t count,
                         uint32_t field);

/** @} */

/**
 * @defgroup angles High-resolution angles
 * @brief Angles of many turns; the host sees one double in radians.
 *
 * Setter: x = value * (1/2pi); revolutions = x truncated toward zero, or
 * INT64_MIN when x is NaN or outside [-2^63, 2^63); offset = (x -
 * revolutions) * 2pi in double, rounded once to the nearest float, ties to
 * even (from the largest float up to, not including, the midpoint between it
 * and 2^128: the largest float; from that midpoint on: an infinity of the
 * same sign). Any value is accepted, NaN and infinities included. Writes
 * revolutions and offset (never the 4 padding bytes), then sets presence bit
 * commandMetadata.base[MI_KIND_HIGH_RES_ANGLE] + field.
 * Getters: out[i] = (double)offset + (double)revolutions * 2pi, the product
 * rounded first, whatever the entry holds (no normalization).
 * Results are the same bits on every supported platform.
 * @{
 */

/** @brief Sets HighResAngle field `field` of `count` Command messages. */
MI_API void miCommandSetHighResAngle(const MessageRecord *records, const double *values,
                                     uint32_t count, uint32_t field);
/** @brief Reads HighResAngle field `field` of `count` Command messages. */
MI_API void miCommandGetHighResAngle(double *out, const MessageRecord *records, uint32_t count,
                                     uint32_t field);
/** @brief Reads HighResAngle field `field` of Feedback messages. */
MI_API void miFeedbackGetHighResAngle(double *out, const MessageRecord *records, uint32_t count,
                                      uint32_t field);
/** @brief Reads HighResAngle field `field` of Info messages. */
MI_API void miInfoGetHighResAngle(double *out, const MessageRecord *records, uint32_t count,
                                  uint32_t field);

/** @} */

/**
 * @defgroup numbered Numbered floats
 * @brief Float `number` of a numbered-float field (4-byte float, copied bit
 * for bit).
 *
 * Value index = feedbackMetadata.numberedFloatTable[field] + number, a signed
 * 64-bit sum (negative numbers are honoured): the table is always the
 * FEEDBACK metadata's, for the Command accessors too. The setter writes the
 * element, then sets presence bit
 * commandMetadata.base[MI_KIND_NUMBERED_FLOAT] + (uint32_t)index. Without the
 * table (e.g. before miInitialize) the setter changes nothing and the getters
 * give zeros.
 * @{
 */

/** @brief Sets float `number` of numbered-float field `field` of `count` Command messages. */
MI_API void miCommandSetNumberedFloat(const MessageRecord *records, const float *values,
                                      uint32_t count, int32_t number, uint32_t field);
/** @brief Reads float `number` of numbered-float field `field` of `count` Command messages. */
MI_API void miCommandGetNumberedFloat(float *out, const MessageRecord *records, uint32_t count,
                                      int32_t number, uint32_t field);
/** @brief Reads float `number` of numbered-float field `field` of Feedback messages. */
MI_API void miFeedbackGetNumberedFloat(float *out, const MessageRecord *records, uint32_t count,
                                       int32_t number, uint32_t field);

/** @} */

/**
 * @defgroup pins I/O pins
 * @brief Pin `pin` of bank `bank`: whole entries, typed values and typed
 * presence.
 *
 * Entry index = pinBankTable[bank] + pin, a signed 64-bit sum (negative pins
 * are honoured, indices beyond 2^31 are reached); presence bit =
 * base[MI_KIND_IO_PIN] + (uint32_t)index. The table and base come from:
 *   - Command setters and all getters: the FEEDBACK metadata's table (the
 *     setters take the base from the Command metadata);
 *   - miCommandHasIoPin*: the COMMAND metadata's own table and base;
 *   - miFeedbackHasIoPin*: the Feedback metadata's table and base.
 *
 * Setters then set the presence bit: SetIoPin copies the whole 16-byte
 * IoPinEntry as given (tag unexamined); SetIoPinInt writes the 8-byte value
 * and tag 1, keeping the padding; SetIoPinFloat writes the first 4 value
 * bytes and tag 2, keeping the other 4 and the padding.
 * Getters: GetIoPin copies the entry; GetIoPinInt gives the int64 value where
 * the tag is 1, else 0; GetIoPinFloat the float bits where the tag is 2, else
 * +0.0f. Queries answer 1 where the tag matches (1 Int, 2 Float) and the
 * presence bit is set, else 0.
 * Without the needed table (e.g. before miInitialize) setters change
 * nothing, getters give zeros and queries answer 0.
 * @{
 */

/** @brief Sets pin `pin` of bank `bank` of `count` Command messages to whole entries. */
MI_API void miCommandSetIoPin(const MessageRecord *records, const IoPinEntry *values,
                              uint32_t count, int32_t pin, uint32_t bank);
/** @brief Sets pin `pin` of bank `bank` of Command messages to integers. */
MI_API void miCommandSetIoPinInt(const MessageRecord *records, const int64_t *values,
                                 uint32_t count, int32_t pin, uint32_t bank);
/** @brief Sets pin `pin` of bank `bank` of Command messages to floats. */
MI_API void miCommandSetIoPinFloat(const MessageRecord *records, const float *values,
                                   uint32_t count, int32_t pin, uint32_t bank);
/** @brief Reads the whole entry of pin `pin` of bank `bank` of `count` Command messages. */
MI_API void miCommandGetIoPin(IoPinEntry *out, const MessageRecord *records, uint32_t count,
                              int32_t pin, uint32_t bank);
/** @brief Reads the whole entry of pin `pin` of bank `bank` of Feedback messages. */
MI_API void miFeedbackGetIoPin(IoPinEntry *out, const MessageRecord *records, uint32_t count,
                               int32_t pin, uint32_t bank);
/** @brief Reads the integer of pin `pin` of bank `bank` of Command messages. */
MI_API void miCommandGetIoPinInt(int64_t *out, const MessageRecord *records, uint32_t count,
                                 int32_t pin, uint32_t bank);
/** @brief Reads the integer of pin `pin` of bank `bank` of Feedback messages. */
MI_API void miFeedbackGetIoPinInt(int64_t *out, const MessageRecord *records, uint32_t count,
                                  int32_t pin, uint32_t bank);
/** @brief Reads the float of pin `pin` of bank `bank` of Command messages. */
MI_API void miCommandGetIoPinFloat(float *out, const MessageRecord *records, uint32_t count,
                                   int32_t pin, uint32_t bank);
/** @brief Reads the float of pin `pin` of bank `bank` of Feedback messages. */
MI_API void miFeedbackGetIoPinFloat(float *out, const MessageRecord *records, uint32_t count,
                                    int32_t pin, uint32_t bank);
/** @brief Asks which of `count` Command messages hold an integer on pin `pin` of bank `bank`. */
MI_API void miCommandHasIoPinInt(uint8_t *out, const MessageRecord *records, uint32_t count,
                                 int32_t pin, uint32_t bank);
/** @brief Asks which Feedback messages hold an integer on pin `pin` of bank `bank`. */
MI_API void miFeedbackHasIoPinInt(uint8_t *out, const MessageRecord *records, uint32_t count,
                                  int32_t pin, uint32_t bank);
/** @brief Asks which Command messages hold a float on pin `pin` of bank `bank`. */
MI_API void miCommandHasIoPinFloat(uint8_t *out, const MessageRecord *records, uint32_t count,
                                   int32_t pin, uint32_t bank);
/** @brief Asks which Feedback messages hold a float on pin `pin` of bank `bank`. */
MI_API void miFeedbackHasIoPinFloat(uint8_t *out, const MessageRecord *records, uint32_t count,
                                    int32_t pin, uint32_t bank);

/** @} */

/**
 * @defgroup flags Flags and presence
 * @brief Flags (the presence bit is the value) and presence queries; answers
 * are one byte each, 1 or 0.
 *
 * Flags are addressed by field number: bit base[MI_KIND_FLAG] + field of the
 * Command (set, get) or Info (get) metadata; Feedback flags are read with
 * miFeedbackHasField. The Has...Field queries instead take an ABSOLUTE
 * presence bit, no base added (for Float field 2: base[MI_KIND_FLOAT] + 2 of
 * that kind's metadata), read no metadata, and only that one bit decides.
 * @{
 */

/** @brief Sets flag `field` in `count` Command messages; never reads `values`, which may be NULL
 *  or point anywhere. */
MI_API void miCommandSetFlag(const MessageRecord *records, const uint8_t *values, uint32_t count,
                             uint32_t field);
/** @brief Reads flag `field` of `count` Command messages. */
MI_API void miCommandGetFlag(uint8_t *out, const MessageRecord *records, uint32_t count,
                             uint32_t field);
/** @brief Reads flag `field` of Info messages. */
MI_API void miInfoGetFlag(uint8_t *out, const MessageRecord *records, uint32_t count,
                          uint32_t field);
/** @brief Asks which of `count` Command messages have absolute presence bit `bit` set. */
MI_API void miCommandHasField(uint8_t *out, const MessageRecord *records, uint32_t count,
                              uint32_t bit);
/** @brief Asks which Feedback messages have absolute presence bit `bit` set. */
MI_API void miFeedbackHasField(uint8_t *out, const MessageRecord *records, uint32_t count,
                               uint32_t bit);
/** @brief Asks which Info messages have absolute presence bit `bit` set. */
MI_API void miInfoHasField(uint8_t *out, const MessageRecord *records, uint32_t count,
                           uint32_t bit);

/** @} */

#ifdef __cplusplus
} /* extern "C" */
#endif

#endif /* TOVAKWRAPPER_H */
