// SPDX-License-Identifier: MIT
// The call-list library: miRunCalls runs an array of accessor calls, each
// through the accessor that libtovakWrapper exports, so that both libraries
// work on the one set of metadata copies that miInitialize fills.
//
// The accessor value is only compared (a switch): a value from the host is
// never used as an index into a table of functions, so an unknown value can
// do nothing but nothing. Every case is one call with the record's members
// converted to the accessor's parameter types; there is no other set-up.

#include <cstdint>

#include "tovakWrapperCalls.h"

namespace {

// The MiCall buffer as the accessor's values (setters) or out (getters).
template <typename T>
inline const T* values(const MiCall& call) {
    return static_cast<const T*>(call.buffer);
}
template <typename T>
inline T* out(const MiCall& call) {
    return static_cast<T*>(call.buffer);
}

inline void run(const MiCall& call) {
    const MessageRecord* const r = call.records;
    const std::uint32_t c = call.count;
    const std::int32_t number = call.number;
    const std::uint32_t field = call.field;
    switch (call.accessor) {
    case MI_CALL_COMMAND_SET_FLOAT: miCommandSetFloat(r, values<float>(call), c, field); break;
    case MI_CALL_COMMAND_GET_FLOAT: miCommandGetFloat(out<float>(call), r, c, field); break;
    case MI_CALL_FEEDBACK_GET_FLOAT: miFeedbackGetFloat(out<float>(call), r, c, field); break;
    case MI_CALL_INFO_GET_FLOAT: miInfoGetFloat(out<float>(call), r, c, field); break;

    case MI_CALL_COMMAND_SET_HIGH_RES_ANGLE:
        miCommandSetHighResAngle(r, values<double>(call), c, field); break;
    case MI_CALL_COMMAND_GET_HIGH_RES_ANGLE:
        miCommandGetHighResAngle(out<double>(call), r, c, field); break;
    case MI_CALL_FEEDBACK_GET_HIGH_RES_ANGLE:
        miFeedbackGetHighResAngle(out<double>(call), r, c, field); break;
    case MI_CALL_INFO_GET_HIGH_RES_ANGLE:
        miInfoGetHighResAngle(out<double>(call), r, c, field); break;

    case MI_CALL_COMMAND_GET_VECTOR3F: miCommandGetVector3f(out<MiVector3f>(call), r, c, field); break;
    case MI_CALL_FEEDBACK_GET_VECTOR3F: miFeedbackGetVector3f(out<MiVector3f>(call), r, c, field); break;
    case MI_CALL_COMMAND_GET_QUATERNIONF:
        miCommandGetQuaternionf(out<MiQuaternionf>(call), r, c, field); break;
    case MI_CALL_FEEDBACK_GET_QUATERNIONF:
        miFeedbackGetQuaternionf(out<MiQuaternionf>(call), r, c, field); break;
    case MI_CALL_COMMAND_GET_UINT64: miCommandGetUInt64(out<std::uint64_t>(call), r, c, field); break;
    case MI_CALL_FEEDBACK_GET_UINT64: miFeedbackGetUInt64(out<std::uint64_t>(call), r, c, field); break;

    case MI_CALL_COMMAND_SET_ENUM: miCommandSetEnum(r, values<std::int32_t>(call), c, field); break;
    case MI_CALL_COMMAND_GET_ENUM: miCommandGetEnum(out<std::int32_t>(call), r, c, field); break;
    case MI_CALL_FEEDBACK_GET_ENUM: miFeedbackGetEnum(out<std::int32_t>(call), r, c, field); break;
    case MI_CALL_INFO_GET_ENUM: miInfoGetEnum(out<std::int32_t>(call), r, c, field); break;

    case MI_CALL_COMMAND_SET_BOOL: miCommandSetBool(r, values<std::uint8_t>(call), c, field); break;
    case MI_CALL_COMMAND_GET_BOOL: miCommandGetBool(out<std::uint8_t>(call), r, c, field); break;
    case MI_CALL_FEEDBACK_GET_BOOL: miFeedbackGetBool(out<std::uint8_t>(call), r, c, field); break;
    case MI_CALL_INFO_GET_BOOL: miInfoGetBool(out<std::uint8_t>(call), r, c, field); break;

    case MI_CALL_COMMAND_SET_NUMBERED_FLOAT:
        miCommandSetNumberedFloat(r, values<float>(call), c, number, field); break;
    case MI_CALL_COMMAND_GET_NUMBERED_FLOAT:
        miCommandGetNumberedFloat(out<float>(call), r, c, number, field); break;
    case MI_CALL_FEEDBACK_GET_NUMBERED_FLOAT:
        miFeedbackGetNumberedFloat(out<float>(call), r, c, number, field); break;

    case MI_CALL_COMMAND_SET_IO_PIN: miCommandSetIoPin(r, values<IoPinEntry>(call), c, number, field); break;
    case MI_CALL_COMMAND_GET_IO_PIN: miCommandGetIoPin(out<IoPinEntry>(call), r, c, number, field); break;
    case MI_CALL_FEEDBACK_GET_IO_PIN: miFeedbackGetIoPin(out<IoPinEntry>(call), r, c, number, field); break;
    case MI_CALL_COMMAND_SET_IO_PIN_INT:
        miCommandSetIoPinInt(r, values<std::int64_t>(call), c, number, field); break;
    case MI_CALL_COMMAND_GET_IO_PIN_INT:
        miCommandGetIoPinInt(out<std::int64_t>(call), r, c, number, field); break;
    case MI_CALL_COMMAND_HAS_IO_PIN_INT:
        miCommandHasIoPinInt(out<std::uint8_t>(call), r, c, number, field); break;
    case MI_CALL_FEEDBACK_GET_IO_PIN_INT:
        miFeedbackGetIoPinInt(out<std::int64_t>(call), r, c, number, field); break;
    case MI_CALL_FEEDBACK_HAS_IO_PIN_INT:
        miFeedbackHasIoPinInt(out<std::uint8_t>(call), r, c, number, field); break;
    case MI_CALL_COMMAND_SET_IO_PIN_FLOAT:
        miCommandSetIoPinFloat(r, values<float>(call), c, number, field); break;
    case MI_CALL_COMMAND_GET_IO_PIN_FLOAT:
        miCommandGetIoPinFloat(out<float>(call), r, c, number, field); break;
    case MI_CALL_COMMAND_HAS_IO_PIN_FLOAT:
        miCommandHasIoPinFloat(out<std::uint8_t>(call), r, c, number, field); break;
    case MI_CALL_FEEDBACK_GET_IO_PIN_FLOAT:
        miFeedbackGetIoPinFloat(out<float>(call), r, c, number, field); break;
    case MI_CALL_FEEDBACK_HAS_IO_PIN_FLOAT:
        miFeedbackHasIoPinFloat(out<std::uint8_t>(call), r, c, number, field); break;

    case MI_CALL_COMMAND_SET_LED: miCommandSetLed(r, values<std::uint32_t>(call), c, field); break;
    case MI_CALL_COMMAND_GET_LED: miCommandGetLed(out<std::uint32_t>(call), r, c, field); break;
    case MI_CALL_FEEDBACK_GET_LED: miFeedbackGetLed(out<std::uint32_t>(call), r, c, field); break;
    case MI_CALL_INFO_GET_LED: miInfoGetLed(out<std::uint32_t>(call), r, c, field); break;

    case MI_CALL_COMMAND_SET_FLAG: miCommandSetFlag(r, values<std::uint8_t>(call), c, field); break;
    case MI_CALL_COMMAND_GET_FLAG: miCommandGetFlag(out<std::uint8_t>(call), r, c, field); break;
    case MI_CALL_INFO_GET_FLAG: miInfoGetFlag(out<std::uint8_t>(call), r, c, field); break;
    case MI_CALL_COMMAND_HAS_FIELD: miCommandHasField(out<std::uint8_t>(call), r, c, field); break;
    case MI_CALL_FEEDBACK_HAS_FIELD: miFeedbackHasField(out<std::uint8_t>(call), r, c, field); break;
    case MI_CALL_INFO_HAS_FIELD: miInfoHasField(out<std::uint8_t>(call), r, c, field); break;

    default: break;  // names no accessor: nothing
    }
}

}  // namespace

extern "C" {

MI_CALLS_API void miRunCalls(const MiCall* calls, uint32_t n) {
    for (std::uint32_t i = 0; i < n; ++i) run(calls[i]);
}

}  // extern "C"
