// SPDX-License-Identifier: MIT
// The call-list library: miRunCalls runs an array of accessor calls, each
// through the accessor that libtovakWrapper exports, so that both libraries
// work on the one set of metadata copies that miInitialize fills.
//
// The accessor value is only compared (a switch built from the accessor
// list): a value from the host is never used as an index into a table of
// functions, so an unknown value can do nothing but nothing. Every case is
// one call with the record's members converted to the accessor's parameter
// types; there is no other set-up.

#include <cstdint>

#include "tovakWrapperAccessors.h"
#include "tovakWrapperCalls.h"

namespace {

// The list and the public enum agree: every entry carries its enum value,
// and the values run 1 to MI_ACCESSOR_COUNT in list order.
#define TOVAK_CHECK_VALUE(value, ID, ...) static_assert(MI_CALL_##ID == (value), #ID);
MI_ACCESSORS(TOVAK_CHECK_VALUE)
#undef TOVAK_CHECK_VALUE
#define TOVAK_VALUE(value, ...) value,
constexpr std::uint32_t kValues[] = {MI_ACCESSORS(TOVAK_VALUE)};
#undef TOVAK_VALUE
constexpr bool valuesRunInOrder() {
    for (std::uint32_t i = 0; i < sizeof kValues / sizeof kValues[0]; ++i)
        if (kValues[i] != i + 1) return false;
    return sizeof kValues / sizeof kValues[0] == MI_ACCESSOR_COUNT;
}
static_assert(valuesRunInOrder(), "the accessor list holds the values 1 to 48 in order");

// One case per accessor: the MiCall buffer is a setter's values or a
// getter's (or query's) out, and ENTRY accessors take `number` before `field`.
#define TOVAK_CALL_SET_FIELD(function, T) \
    function(records, static_cast<const T*>(call.buffer), call.count, call.field)
#define TOVAK_CALL_GET_FIELD(function, T) \
    function(static_cast<T*>(call.buffer), records, call.count, call.field)
#define TOVAK_CALL_SET_ENTRY(function, T) \
    function(records, static_cast<const T*>(call.buffer), call.count, call.number, call.field)
#define TOVAK_CALL_GET_ENTRY(function, T) \
    function(static_cast<T*>(call.buffer), records, call.count, call.number, call.field)
#define TOVAK_CALL_HAS_FIELD TOVAK_CALL_GET_FIELD
#define TOVAK_CALL_HAS_ENTRY TOVAK_CALL_GET_ENTRY
#define TOVAK_CASE(value, ID, function, name, MESSAGE, OP, FAMILY, KIND, ARGS, T) \
    case MI_CALL_##ID:                                                            \
        TOVAK_CALL_##OP##_##ARGS(function, T);                                    \
        break;

inline void run(const MiCall& call) {
    const MessageRecord* const records = call.records;
    switch (call.accessor) {
        MI_ACCESSORS(TOVAK_CASE)
        default:
            break;  // names no accessor: nothing
    }
}

}  // namespace

extern "C" {

MI_CALLS_API void miRunCalls(const MiCall* calls, uint32_t n) {
    for (std::uint32_t i = 0; i < n; ++i) run(calls[i]);
}

}  // extern "C"
