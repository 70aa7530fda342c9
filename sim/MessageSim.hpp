// SPDX-License-Identifier: MIT
// A simulated message library, the counterpart a host pairs tovakWrapper with.
//
// A real message library owns the messages and knows where each field lives.
// This one does the same in the simplest way, and shows how a host drives
// tovakWrapper:
//
//   sim::Shape shape;                 // fields per kind of one message kind
//   shape.floats = 4; shape.pinBanks = {8, 8};
//   sim::KindLayout command(shape), feedback(shape), info(shape);
//   miInitialize(&command.metadata, &feedback.metadata, &info.metadata);
//   sim::MessageGroup group(command, 12);        // 12 Command messages
//   miCommandSetFloat(group.records(), values, 12, 2);
//
// Presence bits are laid out kind after kind in kind order, starting at a
// chosen first bit (so base[k] = first bit + the elements of the kinds before
// k); the numbered-float and pin-bank tables hold the running totals of the
// field and bank sizes. Every message's storage is allocated separately, as a
// real message library would. step() plays the devices: it turns the Command
// messages into the next Feedback (docs/messages.md explains all of this).
#pragma once

#include "tovakWrapper.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

namespace sim {

// How many fields of each kind one message kind has.
struct Shape {
    std::uint32_t floats = 0;
    std::uint32_t highResAngles = 0;
    std::uint32_t vector3fs = 0;
    std::uint32_t quaternionfs = 0;
    std::uint32_t uint64s = 0;
    std::uint32_t enums = 0;
    std::uint32_t bools = 0;
    std::uint32_t leds = 0;
    std::uint32_t reserved = 0;  // kind 10: carried, never accessed
    std::uint32_t flags = 0;
    std::vector<std::uint32_t> numberedFloatFields;  // elements of each numbered-float field
    std::vector<std::uint32_t> pinBanks;             // pins of each bank

    // A shape with `n` fields of every plain kind and flag, and `n` numbered-float
    // fields and pin banks of `n` elements each.
    static Shape uniform(std::uint32_t n);
};

// What the message library knows about one message kind: the metadata the
// host passes to miInitialize, and the tables it points to.
class KindLayout {
public:
    explicit KindLayout(const Shape& shape, std::uint32_t firstBit = 0);
    KindLayout(const KindLayout&) = delete;  // metadata points into this object
    KindLayout& operator=(const KindLayout&) = delete;

    // Puts arbitrary bytes into every part of the metadata the library never
    // reads (the tables and base offsets are left alone).
    void fillUnread(std::uint64_t seed);

    // Elements in the value array of kind k (0 to 10) of every message.
    std::uint32_t elements(MiFieldKind k) const { return elements_[k]; }
    // Presence words per message: enough for every field's bit.
    std::uint32_t presenceWords() const { return presenceWords_; }

    MessageMetadata metadata{};
    std::vector<std::int32_t> numberedFloatTable;
    std::vector<std::int32_t> pinBankTable;

private:
    std::array<std::uint32_t, MI_KIND_COUNT> elements_{};
    std::uint32_t presenceWords_ = 0;
};

// The storage of one message: a presence-word array and one value array per
// kind, sized by its KindLayout.
struct Message {
    std::vector<std::uint32_t> presence;
    std::vector<float> floats;
    std::vector<HighResAngleEntry> highResAngles;
    std::vector<MiVector3f> vector3fs;
    std::vector<MiQuaternionf> quaternionfs;
    std::vector<std::uint64_t> uint64s;
    std::vector<std::int32_t> enums;
    std::vector<std::uint8_t> bools;
    std::vector<float> numberedFloats;
    std::vector<IoPinEntry> ioPins;
    std::vector<std::uint32_t> leds;
    std::vector<std::uint8_t> reserved;

    // Calls f(array) for the presence words and then every value array, in
    // kind order.
    template <typename F>
    void forEachArray(F&& f) {
        f(presence), f(floats), f(highResAngles), f(vector3fs), f(quaternionfs), f(uint64s);
        f(enums), f(bools), f(numberedFloats), f(ioPins), f(leds), f(reserved);
    }
    template <typename F>
    void forEachArray(F&& f) const {
        const_cast<Message*>(this)->forEachArray([&f](const auto& array) { f(array); });
    }

    // A record viewing this message's storage.
    MessageRecord record();
    // Every byte of the message, presence words first, kind by kind.
    std::vector<std::uint8_t> bytes() const;
    bool present(std::uint32_t bit) const;
};

// `count` messages of one kind, each allocated on its own, and the array of
// records the host passes to tovakWrapper.
class MessageGroup {
public:
    MessageGroup(const KindLayout& layout, std::size_t count);

    MessageRecord* records() { return records_.data(); }
    std::uint32_t size() const { return static_cast<std::uint32_t>(messages_.size()); }
    Message& operator[](std::size_t i) { return *messages_[i]; }
    const Message& operator[](std::size_t i) const { return *messages_[i]; }

    // Fills every value array and presence word with pseudo-random bytes.
    void scramble(std::uint64_t seed);
    // Every byte of every message, in order.
    std::vector<std::uint8_t> bytes() const;

private:
    std::vector<std::unique_ptr<Message>> messages_;
    std::vector<MessageRecord> records_;
};

// ---- Simulated devices --------------------------------------------------------
//
// step() plays the devices for one control-loop step of kStepSeconds: device i
// reads its Command message C = commands[i] (never changing it) and answers in
// its Feedback message F = feedback[i]. Below, element e of kind k is an index
// into the kind's value array (the field of a plain kind; table entry + number
// or pin of a numbered float or pin), "C has (k, e)" means that C's presence
// bit commandLayout.metadata.base[k] + e is set, and "mark (k, e)" sets F's bit
// feedbackLayout.metadata.base[k] + e. For each device, in this order:
//
//  1. Echo. For each kind k of Float, Enum, Bool, NumberedFloat, IoPin and Led,
//     and each element e that both messages have: if C has (k, e), F's element
//     e becomes C's, bit for bit (a pin's whole 16 bytes), and mark (k, e).
//     So a Feedback field appears in the step after the host first writes
//     that Command field, and then follows it.
//  2. Position, if F has a HighResAngle field: speed s = C's Float 0 if C has
//     (Float, 0), else 0; a NaN counts as 0; s is clamped to [-kMaxSpeed,
//     kMaxSpeed]. In F's HighResAngle 0: if the offset is not within
//     [0, kTurn) (an entry the device did not write), revolutions and offset
//     start again at 0. offset = offset + s * kStepSeconds, in float, the
//     product and the sum each rounded on its own. Then, until 0 <= offset <
//     kTurn: if offset >= kTurn, offset -= kTurn and revolutions += 1; if
//     offset < 0, offset += kTurn and revolutions -= 1. Mark (HighResAngle, 0).
//     The padding is kept. So the angle read back moves by s * kStepSeconds
//     radians a step, and the entry holds whole turns rounded down and an
//     offset within the turn.
//  3. Heartbeat, if F has a flag: F's flag 0 (bit
//     feedbackLayout.metadata.base[MI_KIND_FLAG]) flips: 1, 0, 1 ... from a
//     message where it was clear.
//
// Nothing else is read or written. Devices are the positions both groups have.
inline constexpr float kStepSeconds = 0.25f;
inline constexpr float kMaxSpeed = 64.0f;                              // rad/s
inline constexpr float kTurn = static_cast<float>(6.283185307179586);  // 2 pi as a float
void step(const KindLayout& commandLayout, const MessageGroup& commands,
          const KindLayout& feedbackLayout, MessageGroup& feedback);

// A small deterministic generator (splitmix64) for tests, demos and benchmarks.
class Random {
public:
    explicit Random(std::uint64_t seed) : state_(seed) {}
    std::uint64_t next();
    std::uint32_t below(std::uint32_t n) { return static_cast<std::uint32_t>(next() % n); }
    void fill(void* data, std::size_t size);

private:
    std::uint64_t state_;
};

}  // namespace sim
