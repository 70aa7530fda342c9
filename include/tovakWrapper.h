/* SPDX-License-Identifier: MIT */
/*
 * tovakWrapper: batched access to one field of many Command, Feedback and
 * Info messages per call.
 *
 * The messages belong to the host's message library. For every message the
 * host holds a MessageRecord (pointers into that message's storage) and
 * passes arrays of them; once, at start-up, it passes the three
 * MessageMetadata records that say where each kind of field keeps its
 * presence bits. Every accessor reads or writes one field of `count`
 * messages in a single call.
 *
 * Rules shared by every accessor:
 *   - Setters take (records, values, count, ...); getters and queries take
 *     (out, records, count, ...). Element i of `values`/`out` belongs to
 *     records[i]; records are visited in ascending order.
 *   - count == 0: the call returns at once and touches nothing, not even
 *     the metadata, so any pointers may be null and it is safe before
 *     miInitialize.
 *   - values == NULL in a setter: only the field's presence bit is set in
 *     each message; no value is written.
 *   - Setters set presence bits and never clear them; getters read no
 *     presence bit and return whatever the message holds.
 *   - Nothing is validated: records, out and the message arrays must be
 *     valid for the indices computed, presence-word arrays long enough for
 *     the bit index, tables long enough for the field or bank passed.
 *   - Presence bit n lives in presence word n >> 5 under mask
 *     1u << (n & 31); bit indices wrap modulo 2^32.
 *   - Values are moved bit for bit (NaN payloads and Bool bytes other than
 *     0 and 1 included); only the high-resolution angles convert.
 *   - No locks: miInitialize must not overlap any accessor, and a setter
 *     must not run alongside any other accessor over the same messages.
 *
 * The interface is C99 and C++, 64-bit only, plain exported names.
 */
#ifndef TOVAKWRAPPER_H
#define TOVAKWRAPPER_H

#include <stddef.h>
#include <stdint.h>

#define TOVAKWRAPPER_VERSION_MAJOR 0
#define TOVAKWRAPPER_VERSION_MINOR 1
#define TOVAKWRAPPER_VERSION_PATCH 0

/* MI_API marks the exported functions. Define TOVAKWRAPPER_BUILDING only
 * when compiling the library itself. */
#if defined(_WIN32) || defined(__CYGWIN__)
#  if defined(TOVAKWRAPPER_BUILDING)
#    define MI_API __declspec(dllexport)
#  else
#    define MI_API __declspec(dllimport)
#  endif
#elif defined(__GNUC__)
#  define MI_API __attribute__((visibility("default")))
#else
#  define MI_API
#endif

/* Compile-time layout checks that work in C99, C11 and C++. */
#if defined(__cplusplus)
#  define MI_LAYOUT_CHECK(cond, name) static_assert(cond, #name)
#elif defined(__STDC_VERSION__) && __STDC_VERSION__ >= 201112L
#  define MI_LAYOUT_CHECK(cond, name) _Static_assert(cond, #name)
#else
#  define MI_LAYOUT_CHECK(cond, name) \
      typedef char mi_layout_check_##name[(cond) ? 1 : -1]
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* Field kinds, in the order that indexes MessageRecord's value arrays
 * (kinds 0 to 10) and MessageMetadata's base offsets (all twelve). */
enum MiFieldKind {
    MI_KIND_FLOAT = 0,
    MI_KIND_HIGH_RES_ANGLE = 1,
    MI_KIND_VECTOR3F = 2,
    MI_KIND_QUATERNIONF = 3,
    MI_KIND_UINT64 = 4,
    MI_KIND_ENUM = 5,
    MI_KIND_BOOL = 6,
    MI_KIND_NUMBERED_FLOAT = 7,
    MI_KIND_IO_PIN = 8,
    MI_KIND_LED = 9,
    MI_KIND_RESERVED = 10, /* carried by the messages, never accessed */
    MI_KIND_FLAG = 11,     /* no value array: the presence bit is the value */
    MI_KIND_COUNT = 12
};

/* Three floats, 12 bytes, moved as a unit (components never interpreted). */
typedef struct MiVector3f {
    float v[3];
} MiVector3f;

/* Four floats, 16 bytes, moved as a unit (components never interpreted). */
typedef struct MiQuaternionf {
    float q[4];
} MiQuaternionf;

/* An angle of many turns: revolutions * 2*pi + offset radians. */
typedef struct HighResAngleEntry {
    int64_t revolutions; /* offset 0 */
    float offset;        /* offset 8, radians */
    uint32_t padding;    /* offset 12, never read or written */
} HighResAngleEntry;

/* Tag of an IoPinEntry: what its value field holds. */
typedef uint32_t IoPinTag;
#define MI_IO_PIN_TAG_INT ((IoPinTag)1)   /* value.asInt is valid */
#define MI_IO_PIN_TAG_FLOAT ((IoPinTag)2) /* value.asFloat (first 4 bytes) */

typedef union MiIoPinValue {
    int64_t asInt;
    float asFloat;
    uint8_t bytes[8];
} MiIoPinValue;

/* One I/O pin's value and its type. */
typedef struct IoPinEntry {
    MiIoPinValue value; /* offset 0 */
    IoPinTag tag;       /* offset 8: 1 integer, 2 float, other: no value */
    uint32_t padding;   /* offset 12 */
} IoPinEntry;

/* A view of one message: its presence words and its value arrays. */
typedef struct MessageRecord {
    uint32_t *presence;              /*  0 presence words */
    float *floats;                   /*  8 kind 0 */
    HighResAngleEntry *highResAngles;/* 16 kind 1 */
    MiVector3f *vector3fs;           /* 24 kind 2 */
    MiQuaternionf *quaternionfs;     /* 32 kind 3 */
    uint64_t *uint64s;               /* 40 kind 4 */
    int32_t *enums;                  /* 48 kind 5 */
    uint8_t *bools;                  /* 56 kind 6 */
    float *numberedFloats;           /* 64 kind 7 */
    IoPinEntry *ioPins;              /* 72 kind 8 */
    uint32_t *leds;                  /* 80 kind 9 */
    void *reserved;                  /* 88 kind 10, never followed */
} MessageRecord;

/* Where one message kind keeps its presence bits. Only base[], the two
 * table pointers and nothing else are read; the other bytes are carried. */
typedef struct MessageMetadata {
    uint8_t opaque0[48];               /*   0 never read */
    uint32_t base[MI_KIND_COUNT];      /*  48 first presence bit per kind */
    const int32_t *numberedFloatTable; /*  96 first entry per field */
    uint64_t opaque1;                  /* 104 never read */
    const int32_t *pinBankTable;       /* 112 first pin per bank */
    uint64_t opaque2;                  /* 120 never read */
    uint32_t opaque3;                  /* 128 never read */
    /* 132: 4 bytes of tail padding */
} MessageMetadata;

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
MI_LAYOUT_CHECK(offsetof(MessageMetadata, numberedFloatTable) == 96,
                metadata_numbered_float_table);
MI_LAYOUT_CHECK(offsetof(MessageMetadata, opaque1) == 104, metadata_opaque1);
MI_LAYOUT_CHECK(offsetof(MessageMetadata, pinBankTable) == 112,
                metadata_pin_bank_table);
MI_LAYOUT_CHECK(offsetof(MessageMetadata, opaque2) == 120, metadata_opaque2);
MI_LAYOUT_CHECK(offsetof(MessageMetadata, opaque3) == 128, metadata_opaque3);

/* ---- Initialization -----------------------------------------------------
 * miInitialize(command, feedback, info): copies the first 132 bytes of each
 * record verbatim into the library's three metadata copies (all zero when
 * the library is loaded). The tables the records point to stay in the
 * host's memory and are read afresh at every call, so they must outlive
 * every accessor call and may be edited between calls. All three pointers
 * must be valid. May be called again, between accessor calls, to replace
 * all three copies. */
MI_API void miInitialize(const MessageMetadata *command,
                         const MessageMetadata *feedback,
                         const MessageMetadata *info);

/* ---- Plain values: Float, Vector3f, Quaternionf, UInt64, Enum, Bool, Led
 * Setters (Command only): for each record, element `field` of the kind's
 * value array = values[i], then presence bit
 * commandMetadata.base[kind] + field is set.
 * Getters (any kind of message): out[i] = element `field` of records[i]'s
 * value array. No metadata or presence bit is read.
 * Element widths: Float 4, Vector3f 12, Quaternionf 16, UInt64 8, Enum 4,
 * Bool 1 (any byte value, copied as is), Led 4. */
MI_API void miCommandSetFloat(const MessageRecord *records,
                              const float *values, uint32_t count,
                              uint32_t field);
MI_API void miCommandGetFloat(float *out, const MessageRecord *records,
                              uint32_t count, uint32_t field);
MI_API void miFeedbackGetFloat(float *out, const MessageRecord *records,
                               uint32_t count, uint32_t field);
MI_API void miInfoGetFloat(float *out, const MessageRecord *records,
                           uint32_t count, uint32_t field);

MI_API void miCommandGetVector3f(MiVector3f *out,
                                 const MessageRecord *records,
                                 uint32_t count, uint32_t field);
MI_API void miFeedbackGetVector3f(MiVector3f *out,
                                  const MessageRecord *records,
                                  uint32_t count, uint32_t field);

MI_API void miCommandGetQuaternionf(MiQuaternionf *out,
                                    const MessageRecord *records,
                                    uint32_t count, uint32_t field);
MI_API void miFeedbackGetQuaternionf(MiQuaternionf *out,
                                     const MessageRecord *records,
                                     uint32_t count, uint32_t field);

MI_API void miCommandGetUInt64(uint64_t *out, const MessageRecord *records,
                               uint32_t count, uint32_t field);
MI_API void miFeedbackGetUInt64(uint64_t *out, const MessageRecord *records,
                                uint32_t count, uint32_t field);

MI_API void miCommandSetEnum(const MessageRecord *records,
                             const int32_t *values, uint32_t count,
                             uint32_t field);
MI_API void miCommandGetEnum(int32_t *out, const MessageRecord *records,
                             uint32_t count, uint32_t field);
MI_API void miFeedbackGetEnum(int32_t *out, const MessageRecord *records,
                              uint32_t count, uint32_t field);
MI_API void miInfoGetEnum(int32_t *out, const MessageRecord *records,
                          uint32_t count, uint32_t field);

MI_API void miCommandSetBool(const MessageRecord *records,
                             const uint8_t *values, uint32_t count,
                             uint32_t field);
MI_API void miCommandGetBool(uint8_t *out, const MessageRecord *records,
                             uint32_t count, uint32_t field);
MI_API void miFeedbackGetBool(uint8_t *out, const MessageRecord *records,
                              uint32_t count, uint32_t field);
MI_API void miInfoGetBool(uint8_t *out, const MessageRecord *records,
                          uint32_t count, uint32_t field);

MI_API void miCommandSetLed(const MessageRecord *records,
                            const uint32_t *values, uint32_t count,
                            uint32_t field);
MI_API void miCommandGetLed(uint32_t *out, const MessageRecord *records,
                            uint32_t count, uint32_t field);
MI_API void miFeedbackGetLed(uint32_t *out, const MessageRecord *records,
                             uint32_t count, uint32_t field);
MI_API void miInfoGetLed(uint32_t *out, const MessageRecord *records,
                         uint32_t count, uint32_t field);

/* ---- High-resolution angles (host element: double, radians) -----------
 * Setter: x = value * (1/2pi); revolutions = x truncated toward zero, or
 * INT64_MIN when x is NaN or outside the int64 range; offset =
 * (x - revolutions) * 2pi in double, rounded once to float (overflowing
 * to an infinity of the same sign). Writes revolutions and offset (never
 * the 4 padding bytes), then sets presence bit
 * commandMetadata.base[MI_KIND_HIGH_RES_ANGLE] + field.
 * Getters: out[i] = (double)offset + (double)revolutions * 2pi, the
 * product rounded first. No normalization: whatever the entry holds is
 * converted. Results are identical on every supported platform. */
MI_API void miCommandSetHighResAngle(const MessageRecord *records,
                                     const double *values, uint32_t count,
                                     uint32_t field);
MI_API void miCommandGetHighResAngle(double *out,
                                     const MessageRecord *records,
                                     uint32_t count, uint32_t field);
MI_API void miFeedbackGetHighResAngle(double *out,
                                      const MessageRecord *records,
                                      uint32_t count, uint32_t field);
MI_API void miInfoGetHighResAngle(double *out, const MessageRecord *records,
                                  uint32_t count, uint32_t field);

/* ---- Numbered floats (element: 4-byte float, copied bit for bit) --------
 * Value index = feedbackMetadata.numberedFloatTable[field] + number, a
 * signed 64-bit sum (negative numbers are honoured). The table always
 * comes from the FEEDBACK metadata, for Command accessors too.
 * Setter: writes the element, then sets presence bit
 * commandMetadata.base[MI_KIND_NUMBERED_FLOAT] + (uint32_t)index.
 * Getters read no presence bit.
 * Before the table pointer is set (e.g. before miInitialize) the setter
 * changes nothing and the getters fill out[0..count) with zero bytes. */
MI_API void miCommandSetNumberedFloat(const MessageRecord *records,
                                      const float *values, uint32_t count,
                                      int32_t number, uint32_t field);
MI_API void miCommandGetNumberedFloat(float *out,
                                      const MessageRecord *records,
                                      uint32_t count, int32_t number,
                                      uint32_t field);
MI_API void miFeedbackGetNumberedFloat(float *out,
                                       const MessageRecord *records,
                                       uint32_t count, int32_t number,
                                       uint32_t field);

/* ---- I/O pins -----------------------------------------------------------
 * Entry index = pinBankTable[bank] + pin, a signed 64-bit sum (negative
 * pins are honoured). Which metadata copy is used:
 *   Command setters and all getters: the FEEDBACK metadata's pin-bank
 *     table (setters take the presence base from the Command metadata);
 *   miCommandHasIoPin*: the COMMAND metadata's own table and base;
 *   miFeedbackHasIoPin*: the Feedback metadata's table and base.
 * Presence bit = base[MI_KIND_IO_PIN] + (uint32_t)index.
 * Setters (then set the presence bit; with values == NULL only that):
 *   SetIoPin      copies all 16 bytes of the IoPinEntry as given;
 *   SetIoPinInt   writes the 8-byte value and tag 1, keeps the padding;
 *   SetIoPinFloat writes the first 4 value bytes and tag 2, keeping the
 *                 other 4 value bytes and the padding.
 * Getters: GetIoPin copies the 16-byte entry; GetIoPinInt gives the
 * int64 value when the tag is 1, else 0; GetIoPinFloat gives the float
 * bits when the tag is 2, else +0.0f.
 * Has queries (one byte each): 1 when the tag matches (1 Int, 2 Float)
 * and the presence bit is set, else 0.
 * Before the needed table pointer is set (e.g. before miInitialize) a
 * setter changes nothing, a getter fills out[0..count) with zero bytes and
 * a query answers 0 for every record. */
MI_API void miCommandSetIoPin(const MessageRecord *records,
                              const IoPinEntry *values, uint32_t count,
                              int32_t pin, uint32_t bank);
MI_API void miCommandSetIoPinInt(const MessageRecord *records,
                                 const int64_t *values, uint32_t count,
                                 int32_t pin, uint32_t bank);
MI_API void miCommandSetIoPinFloat(const MessageRecord *records,
                                   const float *values, uint32_t count,
                                   int32_t pin, uint32_t bank);
MI_API void miCommandGetIoPin(IoPinEntry *out, const MessageRecord *records,
                              uint32_t count, int32_t pin, uint32_t bank);
MI_API void miFeedbackGetIoPin(IoPinEntry *out,
                               const MessageRecord *records, uint32_t count,
                               int32_t pin, uint32_t bank);
MI_API void miCommandGetIoPinInt(int64_t *out, const MessageRecord *records,
                                 uint32_t count, int32_t pin, uint32_t bank);
MI_API void miFeedbackGetIoPinInt(int64_t *out,
                                  const MessageRecord *records,
                                  uint32_t count, int32_t pin,
                                  uint32_t bank);
MI_API void miCommandGetIoPinFloat(float *out, const MessageRecord *records,
                                   uint32_t count, int32_t pin,
                                   uint32_t bank);
MI_API void miFeedbackGetIoPinFloat(float *out,
                                    const MessageRecord *records,
                                    uint32_t count, int32_t pin,
                                    uint32_t bank);
MI_API void miCommandHasIoPinInt(uint8_t *out, const MessageRecord *records,
                                 uint32_t count, int32_t pin, uint32_t bank);
MI_API void miFeedbackHasIoPinInt(uint8_t *out,
                                  const MessageRecord *records,
                                  uint32_t count, int32_t pin,
                                  uint32_t bank);
MI_API void miCommandHasIoPinFloat(uint8_t *out,
                                   const MessageRecord *records,
                                   uint32_t count, int32_t pin,
                                   uint32_t bank);
MI_API void miFeedbackHasIoPinFloat(uint8_t *out,
                                    const MessageRecord *records,
                                    uint32_t count, int32_t pin,
                                    uint32_t bank);

/* ---- Flags and presence (answers: one byte each, 1 or 0) ----------------
 * miCommandSetFlag sets presence bit commandMetadata.base[MI_KIND_FLAG] +
 * field in every record; `values` is never read (it may be NULL).
 * miCommandGetFlag / miInfoGetFlag test bit base[MI_KIND_FLAG] + field of
 * the Command / Info metadata. Feedback flags are read with
 * miFeedbackHasField.
 * miXxxHasField tests the absolute presence bit `bit` (no base added): to
 * ask for Float field 2, pass base[MI_KIND_FLOAT] + 2 of that kind's
 * metadata. Only that one bit decides the answer. */
MI_API void miCommandSetFlag(const MessageRecord *records,
                             const uint8_t *values, uint32_t count,
                             uint32_t field);
MI_API void miCommandGetFlag(uint8_t *out, const MessageRecord *records,
                             uint32_t count, uint32_t field);
MI_API void miInfoGetFlag(uint8_t *out, const MessageRecord *records,
                          uint32_t count, uint32_t field);
MI_API void miCommandHasField(uint8_t *out, const MessageRecord *records,
                              uint32_t count, uint32_t bit);
MI_API void miFeedbackHasField(uint8_t *out, const MessageRecord *records,
                               uint32_t count, uint32_t bit);
MI_API void miInfoHasField(uint8_t *out, const MessageRecord *records,
                           uint32_t count, uint32_t bit);

#ifdef __cplusplus
} /* extern "C" */
#endif

#endif /* TOVAKWRAPPER_H */
