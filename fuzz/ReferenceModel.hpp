// SPDX-License-Identifier: MIT
// A deliberately plain model of the library's 49 functions, for differential
// testing. It works on raw bytes at the documented offsets (it does not use
// the public header's structs), recomputes every address for every record,
// and favours being obviously right over being fast.
//
// Each function mirrors the library function of the same name without the
// "mi" prefix and takes untyped pointers: records are 96-byte records, values
// and outputs are arrays of the family's element width.
#pragma once

#include <cstdint>

namespace ref {

// Puts the model back in the state of a freshly loaded library.
void reset();

void initialize(const void* command, const void* feedback, const void* info);

// Plain values, angles and flags: (records, values, count, field) for
// setters, (out, records, count, field) for getters and queries.
using Set = void (*)(const void* records, const void* values, std::uint32_t count,
                     std::uint32_t field);
using Get = void (*)(void* out, const void* records, std::uint32_t count, std::uint32_t field);
// Numbered floats and pins: a signed number or pin, then a field or bank.
using SetAt = void (*)(const void* records, const void* values, std::uint32_t count,
                       std::int32_t number, std::uint32_t slot);
using GetAt = void (*)(void* out, const void* records, std::uint32_t count, std::int32_t number,
                       std::uint32_t slot);

void CommandSetFloat(const void*, const void*, std::uint32_t, std::uint32_t);
void CommandSetHighResAngle(const void*, const void*, std::uint32_t, std::uint32_t);
void CommandSetEnum(const void*, const void*, std::uint32_t, std::uint32_t);
void CommandSetBool(const void*, const void*, std::uint32_t, std::uint32_t);
void CommandSetLed(const void*, const void*, std::uint32_t, std::uint32_t);
void CommandSetFlag(const void*, const void*, std::uint32_t, std::uint32_t);

void GetFloat(void*, const void*, std::uint32_t, std::uint32_t);
void GetHighResAngle(void*, const void*, std::uint32_t, std::uint32_t);
void GetVector3f(void*, const void*, std::uint32_t, std::uint32_t);
void GetQuaternionf(void*, const void*, std::uint32_t, std::uint32_t);
void GetUInt64(void*, const void*, std::uint32_t, std::uint32_t);
void GetEnum(void*, const void*, std::uint32_t, std::uint32_t);
void GetBool(void*, const void*, std::uint32_t, std::uint32_t);
void GetLed(void*, const void*, std::uint32_t, std::uint32_t);
void CommandGetFlag(void*, const void*, std::uint32_t, std::uint32_t);
void InfoGetFlag(void*, const void*, std::uint32_t, std::uint32_t);
void HasField(void*, const void*, std::uint32_t, std::uint32_t);

void CommandSetNumberedFloat(const void*, const void*, std::uint32_t, std::int32_t, std::uint32_t);
void GetNumberedFloat(void*, const void*, std::uint32_t, std::int32_t, std::uint32_t);

void CommandSetIoPin(const void*, const void*, std::uint32_t, std::int32_t, std::uint32_t);
void CommandSetIoPinInt(const void*, const void*, std::uint32_t, std::int32_t, std::uint32_t);
void CommandSetIoPinFloat(const void*, const void*, std::uint32_t, std::int32_t, std::uint32_t);
void GetIoPin(void*, const void*, std::uint32_t, std::int32_t, std::uint32_t);
void GetIoPinInt(void*, const void*, std::uint32_t, std::int32_t, std::uint32_t);
void GetIoPinFloat(void*, const void*, std::uint32_t, std::int32_t, std::uint32_t);
void CommandHasIoPinInt(void*, const void*, std::uint32_t, std::int32_t, std::uint32_t);
void CommandHasIoPinFloat(void*, const void*, std::uint32_t, std::int32_t, std::uint32_t);
void FeedbackHasIoPinInt(void*, const void*, std::uint32_t, std::int32_t, std::uint32_t);
void FeedbackHasIoPinFloat(void*, const void*, std::uint32_t, std::int32_t, std::uint32_t);

}  // namespace ref
