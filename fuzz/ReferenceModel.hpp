// SPDX-License-Identifier: MIT
// A deliberately plain model of the library's 49 functions, for differential
// testing. It works on raw bytes at the documented offsets (it does not use
// the public header's structs), recomputes every address for every record,
// and favours being obviously right over being fast.
//
// Each function mirrors the library functions of one family and operation:
// CommandSet<Family>, Get<Family> (the same for every message kind) and
// Has<Family>, named as in the library without "mi" and the message kind;
// the flag getters and pin queries, which differ by message kind, take it
// first. They take untyped pointers: records are 96-byte records, values
// and outputs are arrays of the family's element width.
#pragma once

#include <cstdint>

namespace ref {

// The message kind whose metadata a call reads.
enum Which { Command = 0, Feedback = 1, Info = 2 };

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
void GetFlag(Which, void*, const void*, std::uint32_t, std::uint32_t);
void HasField(void*, const void*, std::uint32_t, std::uint32_t);

void CommandSetNumberedFloat(const void*, const void*, std::uint32_t, std::int32_t, std::uint32_t);
void GetNumberedFloat(void*, const void*, std::uint32_t, std::int32_t, std::uint32_t);

void CommandSetIoPin(const void*, const void*, std::uint32_t, std::int32_t, std::uint32_t);
void CommandSetIoPinInt(const void*, const void*, std::uint32_t, std::int32_t, std::uint32_t);
void CommandSetIoPinFloat(const void*, const void*, std::uint32_t, std::int32_t, std::uint32_t);
void GetIoPin(void*, const void*, std::uint32_t, std::int32_t, std::uint32_t);
void GetIoPinInt(void*, const void*, std::uint32_t, std::int32_t, std::uint32_t);
void GetIoPinFloat(void*, const void*, std::uint32_t, std::int32_t, std::uint32_t);
void HasIoPinInt(Which, void*, const void*, std::uint32_t, std::int32_t, std::uint32_t);
void HasIoPinFloat(Which, void*, const void*, std::uint32_t, std::int32_t, std::uint32_t);

}  // namespace ref
