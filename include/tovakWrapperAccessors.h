/* SPDX-License-Identifier: MIT */
/**
 * @file tovakWrapperAccessors.h
 * @brief The 48 accessors of tovakWrapper.h as one list, for code that
 * builds a table of them (a call-list dispatcher, a host's bindings, tests).
 *
 * MI_ACCESSORS(X) expands to X(...) once per accessor, in the order of the
 * call-list values (tovakWrapperCalls.h), with these arguments:
 *
 *   - value: its MiCallAccessor value, 1 to 48 (1);
 *   - ID: its MiCallAccessor name without `MI_CALL_` (COMMAND_SET_FLOAT);
 *   - function: the exported function (miCommandSetFloat);
 *   - name: the function in lower snake case without `mi` (command_set_float);
 *   - MESSAGE: COMMAND, FEEDBACK or INFO;
 *   - OP: SET, GET or HAS;
 *   - FAMILY: the field-kind name in the function's name (Float ... Led, IoPinInt,
 *     IoPinFloat, Flag, Field);
 *   - KIND: the value array it addresses, as MI_KIND_ + KIND (FLOAT); FLAG for the flags
 *     and the Has...Field queries, which address presence bits only;
 *   - ARGS: FIELD for (..., count, field), `bit` for Has...Field; ENTRY for
 *     (..., count, number or pin, field or bank);
 *   - T: the element type of `values` or `out` (float).
 *
 * So a setter is `function(records, (const T *)values, count, field)` or,
 * with ENTRY, `function(records, values, count, number, field)`; a getter or
 * query takes `(T *)out` first and the records second. Only macros: the
 * types named are those of tovakWrapper.h, included by whoever expands it.
 */
#ifndef TOVAKWRAPPERACCESSORS_H
#define TOVAKWRAPPERACCESSORS_H

/** @brief Number of entries of MI_ACCESSORS; with miInitialize, 49 exports. */
#define MI_ACCESSOR_COUNT 48

/** @brief Expands X(value, ID, function, name, MESSAGE, OP, FAMILY, KIND, ARGS, T)
 * once per accessor; see the file's description. */
/* clang-format off */
#define MI_ACCESSORS(X) \
    X( 1, COMMAND_SET_FLOAT,           miCommandSetFloat,          command_set_float,            COMMAND,  SET, Float,         FLOAT,          FIELD, float) \
    X( 2, COMMAND_GET_FLOAT,           miCommandGetFloat,          command_get_float,            COMMAND,  GET, Float,         FLOAT,          FIELD, float) \
    X( 3, FEEDBACK_GET_FLOAT,          miFeedbackGetFloat,         feedback_get_float,           FEEDBACK, GET, Float,         FLOAT,          FIELD, float) \
    X( 4, INFO_GET_FLOAT,              miInfoGetFloat,             info_get_float,               INFO,     GET, Float,         FLOAT,          FIELD, float) \
    X( 5, COMMAND_SET_HIGH_RES_ANGLE,  miCommandSetHighResAngle,   command_set_high_res_angle,   COMMAND,  SET, HighResAngle,  HIGH_RES_ANGLE, FIELD, double) \
    X( 6, COMMAND_GET_HIGH_RES_ANGLE,  miCommandGetHighResAngle,   command_get_high_res_angle,   COMMAND,  GET, HighResAngle,  HIGH_RES_ANGLE, FIELD, double) \
    X( 7, FEEDBACK_GET_HIGH_RES_ANGLE, miFeedbackGetHighResAngle,  feedback_get_high_res_angle,  FEEDBACK, GET, HighResAngle,  HIGH_RES_ANGLE, FIELD, double) \
    X( 8, INFO_GET_HIGH_RES_ANGLE,     miInfoGetHighResAngle,      info_get_high_res_angle,      INFO,     GET, HighResAngle,  HIGH_RES_ANGLE, FIELD, double) \
    X( 9, COMMAND_GET_VECTOR3F,        miCommandGetVector3f,       command_get_vector3f,         COMMAND,  GET, Vector3f,      VECTOR3F,       FIELD, MiVector3f) \
    X(10, FEEDBACK_GET_VECTOR3F,       miFeedbackGetVector3f,      feedback_get_vector3f,        FEEDBACK, GET, Vector3f,      VECTOR3F,       FIELD, MiVector3f) \
    X(11, COMMAND_GET_QUATERNIONF,     miCommandGetQuaternionf,    command_get_quaternionf,      COMMAND,  GET, Quaternionf,   QUATERNIONF,    FIELD, MiQuaternionf) \
    X(12, FEEDBACK_GET_QUATERNIONF,    miFeedbackGetQuaternionf,   feedback_get_quaternionf,     FEEDBACK, GET, Quaternionf,   QUATERNIONF,    FIELD, MiQuaternionf) \
    X(13, COMMAND_GET_UINT64,          miCommandGetUInt64,         command_get_uint64,           COMMAND,  GET, UInt64,        UINT64,         FIELD, uint64_t) \
    X(14, FEEDBACK_GET_UINT64,         miFeedbackGetUInt64,        feedback_get_uint64,          FEEDBACK, GET, UInt64,        UINT64,         FIELD, uint64_t) \
    X(15, COMMAND_SET_ENUM,            miCommandSetEnum,           command_set_enum,             COMMAND,  SET, Enum,          ENUM,           FIELD, int32_t) \
    X(16, COMMAND_GET_ENUM,            miCommandGetEnum,           command_get_enum,             COMMAND,  GET, Enum,          ENUM,           FIELD, int32_t) \
    X(17, FEEDBACK_GET_ENUM,           miFeedbackGetEnum,          feedback_get_enum,            FEEDBACK, GET, Enum,          ENUM,           FIELD, int32_t) \
    X(18, INFO_GET_ENUM,               miInfoGetEnum,              info_get_enum,                INFO,     GET, Enum,          ENUM,           FIELD, int32_t) \
    X(19, COMMAND_SET_BOOL,            miCommandSetBool,           command_set_bool,             COMMAND,  SET, Bool,          BOOL,           FIELD, uint8_t) \
    X(20, COMMAND_GET_BOOL,            miCommandGetBool,           command_get_bool,             COMMAND,  GET, Bool,          BOOL,           FIELD, uint8_t) \
    X(21, FEEDBACK_GET_BOOL,           miFeedbackGetBool,          feedback_get_bool,            FEEDBACK, GET, Bool,          BOOL,           FIELD, uint8_t) \
    X(22, INFO_GET_BOOL,               miInfoGetBool,              info_get_bool,                INFO,     GET, Bool,          BOOL,           FIELD, uint8_t) \
    X(23, COMMAND_SET_NUMBERED_FLOAT,  miCommandSetNumberedFloat,  command_set_numbered_float,   COMMAND,  SET, NumberedFloat, NUMBERED_FLOAT, ENTRY, float) \
    X(24, COMMAND_GET_NUMBERED_FLOAT,  miCommandGetNumberedFloat,  command_get_numbered_float,   COMMAND,  GET, NumberedFloat, NUMBERED_FLOAT, ENTRY, float) \
    X(25, FEEDBACK_GET_NUMBERED_FLOAT, miFeedbackGetNumberedFloat, feedback_get_numbered_float,  FEEDBACK, GET, NumberedFloat, NUMBERED_FLOAT, ENTRY, float) \
    X(26, COMMAND_SET_IO_PIN,          miCommandSetIoPin,          command_set_io_pin,           COMMAND,  SET, IoPin,         IO_PIN,         ENTRY, IoPinEntry) \
    X(27, COMMAND_GET_IO_PIN,          miCommandGetIoPin,          command_get_io_pin,           COMMAND,  GET, IoPin,         IO_PIN,         ENTRY, IoPinEntry) \
    X(28, FEEDBACK_GET_IO_PIN,         miFeedbackGetIoPin,         feedback_get_io_pin,          FEEDBACK, GET, IoPin,         IO_PIN,         ENTRY, IoPinEntry) \
    X(29, COMMAND_SET_IO_PIN_INT,      miCommandSetIoPinInt,       command_set_io_pin_int,       COMMAND,  SET, IoPinInt,      IO_PIN,         ENTRY, int64_t) \
    X(30, COMMAND_GET_IO_PIN_INT,      miCommandGetIoPinInt,       command_get_io_pin_int,       COMMAND,  GET, IoPinInt,      IO_PIN,         ENTRY, int64_t) \
    X(31, COMMAND_HAS_IO_PIN_INT,      miCommandHasIoPinInt,       command_has_io_pin_int,       COMMAND,  HAS, IoPinInt,      IO_PIN,         ENTRY, uint8_t) \
    X(32, FEEDBACK_GET_IO_PIN_INT,     miFeedbackGetIoPinInt,      feedback_get_io_pin_int,      FEEDBACK, GET, IoPinInt,      IO_PIN,         ENTRY, int64_t) \
    X(33, FEEDBACK_HAS_IO_PIN_INT,     miFeedbackHasIoPinInt,      feedback_has_io_pin_int,      FEEDBACK, HAS, IoPinInt,      IO_PIN,         ENTRY, uint8_t) \
    X(34, COMMAND_SET_IO_PIN_FLOAT,    miCommandSetIoPinFloat,     command_set_io_pin_float,     COMMAND,  SET, IoPinFloat,    IO_PIN,         ENTRY, float) \
    X(35, COMMAND_GET_IO_PIN_FLOAT,    miCommandGetIoPinFloat,     command_get_io_pin_float,     COMMAND,  GET, IoPinFloat,    IO_PIN,         ENTRY, float) \
    X(36, COMMAND_HAS_IO_PIN_FLOAT,    miCommandHasIoPinFloat,     command_has_io_pin_float,     COMMAND,  HAS, IoPinFloat,    IO_PIN,         ENTRY, uint8_t) \
    X(37, FEEDBACK_GET_IO_PIN_FLOAT,   miFeedbackGetIoPinFloat,    feedback_get_io_pin_float,    FEEDBACK, GET, IoPinFloat,    IO_PIN,         ENTRY, float) \
    X(38, FEEDBACK_HAS_IO_PIN_FLOAT,   miFeedbackHasIoPinFloat,    feedback_has_io_pin_float,    FEEDBACK, HAS, IoPinFloat,    IO_PIN,         ENTRY, uint8_t) \
    X(39, COMMAND_SET_LED,             miCommandSetLed,            command_set_led,              COMMAND,  SET, Led,           LED,            FIELD, uint32_t) \
    X(40, COMMAND_GET_LED,             miCommandGetLed,            command_get_led,              COMMAND,  GET, Led,           LED,            FIELD, uint32_t) \
    X(41, FEEDBACK_GET_LED,            miFeedbackGetLed,           feedback_get_led,             FEEDBACK, GET, Led,           LED,            FIELD, uint32_t) \
    X(42, INFO_GET_LED,                miInfoGetLed,               info_get_led,                 INFO,     GET, Led,           LED,            FIELD, uint32_t) \
    X(43, COMMAND_SET_FLAG,            miCommandSetFlag,           command_set_flag,             COMMAND,  SET, Flag,          FLAG,           FIELD, uint8_t) \
    X(44, COMMAND_GET_FLAG,            miCommandGetFlag,           command_get_flag,             COMMAND,  GET, Flag,          FLAG,           FIELD, uint8_t) \
    X(45, INFO_GET_FLAG,               miInfoGetFlag,              info_get_flag,                INFO,     GET, Flag,          FLAG,           FIELD, uint8_t) \
    X(46, COMMAND_HAS_FIELD,           miCommandHasField,          command_has_field,            COMMAND,  HAS, Field,         FLAG,           FIELD, uint8_t) \
    X(47, FEEDBACK_HAS_FIELD,          miFeedbackHasField,         feedback_has_field,           FEEDBACK, HAS, Field,         FLAG,           FIELD, uint8_t) \
    X(48, INFO_HAS_FIELD,              miInfoHasField,             info_has_field,               INFO,     HAS, Field,         FLAG,           FIELD, uint8_t)
/* clang-format on */

#endif /* TOVAKWRAPPERACCESSORS_H */
