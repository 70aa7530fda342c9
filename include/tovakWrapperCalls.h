/* SPDX-License-Identifier: MIT */
/**
 * @file tovakWrapperCalls.h
 * @brief Call lists: many accessor calls of tovakWrapper.h in one call.
 *
 * A host whose every call into native code is costly (Python through
 * ctypes, any foreign function interface) spends a control-loop step on
 * crossings rather than on work: it sets a few Command fields and reads
 * several Feedback fields, one accessor call each. A call list describes
 * those accessor calls as an array of MiCall records, and miRunCalls runs
 * the whole array in one crossing.
 *
 * The companion library libtovakWrapperCalls (tovakWrapperCalls.dll on
 * Windows) holds miRunCalls alone. It calls the accessors exported by
 * libtovakWrapper, so it shares that library's one set of metadata copies:
 * miInitialize of tovakWrapper.h sets them up for both.
 *
 * Rules of a call list:
 *   - Each MiCall names one of the 48 accessors by its MiCallAccessor value
 *     and carries that accessor's arguments; miRunCalls runs the calls in
 *     array order, each exactly as the named accessor with those
 *     arguments (all the rules of tovakWrapper.h apply to it), and does
 *     nothing else. Each call is finished before the next is begun, so a
 *     getter sees what an earlier setter of the same list wrote, and a
 *     later call may take as its values what an earlier one wrote out.
 *   - An `accessor` value that names no accessor (0, above 48, anything
 *     else) makes that call do nothing: none of its other members is used.
 *     The value is matched against the 48 values (a switch), never used to
 *     index memory the host provides, so no value reaches anything but the
 *     48 accessors.
 *   - n == 0: nothing is read, `calls` included, so it may be NULL.
 *   - Nothing is validated, as with the accessors; there is no allocation,
 *     no lock and no state kept from one miRunCalls to the next.
 *
 * Aliasing: the `calls` array is only read, and must not overlap anything
 * a call writes (out arrays, the messages' value arrays and presence
 * words). Within each call the accessor's own aliasing rules hold.
 *
 * Threads: miRunCalls is exactly its calls made one after the other on the
 * calling thread. It must not overlap miInitialize, and a list with a
 * setter must not run alongside any other accessor call or call list over
 * the same messages; lists of getters and queries may run at once.
 *
 * Alignment: the `calls` array 8 bytes (MiCall holds pointers); `records`
 * and `buffer` as the named accessor requires (tovakWrapper.h).
 *
 * The interface is C (C89 and later) and C++ (C++98 and later), 64-bit
 * only, plain exported names.
 */
#ifndef TOVAKWRAPPERCALLS_H
#define TOVAKWRAPPERCALLS_H

#include "tovakWrapper.h"

/**
 * @def MI_CALLS_API
 * @brief Marks the companion library's exported function
 * (dllexport/dllimport on Windows, default visibility elsewhere). Define
 * TOVAKWRAPPERCALLS_BUILDING only when compiling that library itself.
 */
#if defined(_WIN32) || defined(__CYGWIN__)
#if defined(TOVAKWRAPPERCALLS_BUILDING)
#define MI_CALLS_API __declspec(dllexport)
#else
#define MI_CALLS_API __declspec(dllimport)
#endif
#elif defined(__GNUC__)
#define MI_CALLS_API __attribute__((visibility("default")))
#else
#define MI_CALLS_API
#endif

#ifdef __cplusplus
extern "C" {
#endif

/**
 * @defgroup calls Call lists
 * @brief Running many accessor calls in one call.
 * @{
 */

/**
 * @brief The accessor a MiCall runs, named `MI_CALL_` + the function name
 * without `mi`, in upper snake case.
 *
 * The values are part of the interface (MiCall::accessor holds them as a
 * uint32_t) and never change: 1 to 48, in this order. 0 and every value
 * not listed name no accessor.
 */
enum MiCallAccessor {
    MI_CALL_COMMAND_SET_FLOAT = 1,            /**< miCommandSetFloat */
    MI_CALL_COMMAND_GET_FLOAT = 2,            /**< miCommandGetFloat */
    MI_CALL_FEEDBACK_GET_FLOAT = 3,           /**< miFeedbackGetFloat */
    MI_CALL_INFO_GET_FLOAT = 4,               /**< miInfoGetFloat */
    MI_CALL_COMMAND_SET_HIGH_RES_ANGLE = 5,   /**< miCommandSetHighResAngle */
    MI_CALL_COMMAND_GET_HIGH_RES_ANGLE = 6,   /**< miCommandGetHighResAngle */
    MI_CALL_FEEDBACK_GET_HIGH_RES_ANGLE = 7,  /**< miFeedbackGetHighResAngle */
    MI_CALL_INFO_GET_HIGH_RES_ANGLE = 8,      /**< miInfoGetHighResAngle */
    MI_CALL_COMMAND_GET_VECTOR3F = 9,         /**< miCommandGetVector3f */
    MI_CALL_FEEDBACK_GET_VECTOR3F = 10,       /**< miFeedbackGetVector3f */
    MI_CALL_COMMAND_GET_QUATERNIONF = 11,     /**< miCommandGetQuaternionf */
    MI_CALL_FEEDBACK_GET_QUATERNIONF = 12,    /**< miFeedbackGetQuaternionf */
    MI_CALL_COMMAND_GET_UINT64 = 13,          /**< miCommandGetUInt64 */
    MI_CALL_FEEDBACK_GET_UINT64 = 14,         /**< miFeedbackGetUInt64 */
    MI_CALL_COMMAND_SET_ENUM = 15,            /**< miCommandSetEnum */
    MI_CALL_COMMAND_GET_ENUM = 16,            /**< miCommandGetEnum */
    MI_CALL_FEEDBACK_GET_ENUM = 17,           /**< miFeedbackGetEnum */
    MI_CALL_INFO_GET_ENUM = 18,               /**< miInfoGetEnum */
    MI_CALL_COMMAND_SET_BOOL = 19,            /**< miCommandSetBool */
    MI_CALL_COMMAND_GET_BOOL = 20,            /**< miCommandGetBool */
    MI_CALL_FEEDBACK_GET_BOOL = 21,           /**< miFeedbackGetBool */
    MI_CALL_INFO_GET_BOOL = 22,               /**< miInfoGetBool */
    MI_CALL_COMMAND_SET_NUMBERED_FLOAT = 23,  /**< miCommandSetNumberedFloat */
    MI_CALL_COMMAND_GET_NUMBERED_FLOAT = 24,  /**< miCommandGetNumberedFloat */
    MI_CALL_FEEDBACK_GET_NUMBERED_FLOAT = 25, /**< miFeedbackGetNumberedFloat */
    MI_CALL_COMMAND_SET_IO_PIN = 26,          /**< miCommandSetIoPin */
    MI_CALL_COMMAND_GET_IO_PIN = 27,          /**< miCommandGetIoPin */
    MI_CALL_FEEDBACK_GET_IO_PIN = 28,         /**< miFeedbackGetIoPin */
    MI_CALL_COMMAND_SET_IO_PIN_INT = 29,      /**< miCommandSetIoPinInt */
    MI_CALL_COMMAND_GET_IO_PIN_INT = 30,      /**< miCommandGetIoPinInt */
    MI_CALL_COMMAND_HAS_IO_PIN_INT = 31,      /**< miCommandHasIoPinInt */
    MI_CALL_FEEDBACK_GET_IO_PIN_INT = 32,     /**< miFeedbackGetIoPinInt */
    MI_CALL_FEEDBACK_HAS_IO_PIN_INT = 33,     /**< miFeedbackHasIoPinInt */
    MI_CALL_COMMAND_SET_IO_PIN_FLOAT = 34,    /**< miCommandSetIoPinFloat */
    MI_CALL_COMMAND_GET_IO_PIN_FLOAT = 35,    /**< miCommandGetIoPinFloat */
    MI_CALL_COMMAND_HAS_IO_PIN_FLOAT = 36,    /**< miCommandHasIoPinFloat */
    MI_CALL_FEEDBACK_GET_IO_PIN_FLOAT = 37,   /**< miFeedbackGetIoPinFloat */
    MI_CALL_FEEDBACK_HAS_IO_PIN_FLOAT = 38,   /**< miFeedbackHasIoPinFloat */
    MI_CALL_COMMAND_SET_LED = 39,             /**< miCommandSetLed */
    MI_CALL_COMMAND_GET_LED = 40,             /**< miCommandGetLed */
    MI_CALL_FEEDBACK_GET_LED = 41,            /**< miFeedbackGetLed */
    MI_CALL_INFO_GET_LED = 42,                /**< miInfoGetLed */
    MI_CALL_COMMAND_SET_FLAG = 43,            /**< miCommandSetFlag */
    MI_CALL_COMMAND_GET_FLAG = 44,            /**< miCommandGetFlag */
    MI_CALL_INFO_GET_FLAG = 45,               /**< miInfoGetFlag */
    MI_CALL_COMMAND_HAS_FIELD = 46,           /**< miCommandHasField */
    MI_CALL_FEEDBACK_HAS_FIELD = 47,          /**< miFeedbackHasField */
    MI_CALL_INFO_HAS_FIELD = 48               /**< miInfoHasField */
};

/**
 * @brief One accessor call: which accessor, and its arguments.
 *
 * The members map onto the accessor's parameters as follows; a member the
 * accessor has no parameter for is ignored.
 */
typedef struct MiCall {
    uint32_t accessor;            /**< 0: a MiCallAccessor value; any other value
                                       makes the call do nothing */
    uint32_t count;               /**< 4: `count`, the number of records */
    int32_t number;               /**< 8: `number` (numbered floats) or `pin` (pin
                                       accessors); ignored by the others (set 0) */
    uint32_t field;               /**< 12: `field`; `bank` for the pin accessors,
                                       `bit` for the Has...Field queries */
    const MessageRecord *records; /**< 16: `records` */
    void *buffer;                 /**< 24: `values` of a setter (only read; may be
                                       NULL where the setter allows it, ignored by
                                       miCommandSetFlag), or `out` of a getter or
                                       query, of the accessor's element type */
} MiCall;

/**
 * @brief Runs `n` accessor calls in order, in one call.
 *
 * For i from 0 to n - 1: calls[i] runs exactly as the accessor its
 * `accessor` member names, called with its other members as arguments
 * (MiCall), and is finished before calls[i + 1] begins. A call whose
 * `accessor` names no accessor does nothing. Nothing else is read or
 * written, and nothing is kept from one call of miRunCalls to the next.
 *
 * @param calls MiCall[n], only read, 8-byte aligned; must not overlap
 *              anything the calls write. May be NULL when n is 0.
 * @param n     Number of calls; 0 does nothing.
 */
MI_CALLS_API void miRunCalls(const MiCall *calls, uint32_t n);

/** @} */

MI_LAYOUT_CHECK(sizeof(MiCall) == 32, call_size);
MI_LAYOUT_CHECK(offsetof(MiCall, accessor) == 0, call_accessor);
MI_LAYOUT_CHECK(offsetof(MiCall, count) == 4, call_count);
MI_LAYOUT_CHECK(offsetof(MiCall, number) == 8, call_number);
MI_LAYOUT_CHECK(offsetof(MiCall, field) == 12, call_field);
MI_LAYOUT_CHECK(offsetof(MiCall, records) == 16, call_records);
MI_LAYOUT_CHECK(offsetof(MiCall, buffer) == 24, call_buffer);

#ifdef __cplusplus
} /* extern "C" */
#endif

#endif /* TOVAKWRAPPERCALLS_H */
