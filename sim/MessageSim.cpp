// SPDX-License-Identifier: MIT
#include "MessageSim.hpp"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <numeric>

namespace sim {

Shape Shape::uniform(std::uint32_t n) {
    Shape s;
    s.floats = s.highResAngles = s.vector3fs = s.quaternionfs = s.uint64s = n;
    s.enums = s.bools = s.leds = s.reserved = s.flags = n;
    s.numberedFloatFields.assign(n, n);
    s.pinBanks.assign(n, n);
    return s;
}

namespace {

// Running totals: entry j is the sum of the sizes before j.
std::vector<std::int32_t> startsOf(const std::vector<std::uint32_t>& sizes) {
    std::vector<std::int32_t> starts;
    std::int32_t total = 0;
    for (std::uint32_t size : sizes) {
        starts.push_back(total);
        total += static_cast<std::int32_t>(size);
    }
    return starts;
}

std::uint32_t sum(const std::vector<std::uint32_t>& sizes) {
    return std::accumulate(sizes.begin(), sizes.end(), 0u);
}

template <typename T>
void appendBytes(std::vector<std::uint8_t>& out, const std::vector<T>& v) {
    const auto* p = reinterpret_cast<const std::uint8_t*>(v.data());
    out.insert(out.end(), p, p + v.size() * sizeof(T));
}

}  // namespace

KindLayout::KindLayout(const Shape& shape, std::uint32_t firstBit)
    : numberedFloatTable(startsOf(shape.numberedFloatFields)),
      pinBankTable(startsOf(shape.pinBanks)) {
    elements_ = {
        shape.floats,        shape.highResAngles, shape.vector3fs, shape.quaternionfs,
        shape.uint64s,       shape.enums,         shape.bools,     sum(shape.numberedFloatFields),
        sum(shape.pinBanks), shape.leds,          shape.reserved,  shape.flags};
    // Presence bits: all fields of kind 0, then kind 1, and so on.
    std::uint64_t bit = firstBit;
    for (int k = 0; k < MI_KIND_COUNT; ++k) {
        metadata.base[k] = static_cast<std::uint32_t>(bit);
        bit += elements_[k];
    }
    presenceWords_ = static_cast<std::uint32_t>((bit + 31) / 32);
    metadata.numberedFloatTable = numberedFloatTable.data();
    metadata.pinBankTable = pinBankTable.data();
}

void KindLayout::fillUnread(std::uint64_t seed) {
    Random random(seed);
    random.fill(metadata.opaque0, sizeof metadata.opaque0);
    metadata.opaque1 = random.next();
    metadata.opaque2 = random.next();
    metadata.opaque3 = static_cast<std::uint32_t>(random.next());
    // The tail padding too: the library must not copy or read it.
    auto* tail =
        reinterpret_cast<std::uint8_t*>(&metadata) + offsetof(MessageMetadata, opaque3) + 4;
    random.fill(tail, sizeof(MessageMetadata) - (offsetof(MessageMetadata, opaque3) + 4));
}

MessageRecord Message::record() {
    return MessageRecord{presence.data(),  floats.data(),       highResAngles.data(),
                         vector3fs.data(), quaternionfs.data(), uint64s.data(),
                         enums.data(),     bools.data(),        numberedFloats.data(),
                         ioPins.data(),    leds.data(),         reserved.data()};
}

std::vector<std::uint8_t> Message::bytes() const {
    std::vector<std::uint8_t> out;
    forEachArray([&out](const auto& array) { appendBytes(out, array); });
    return out;
}

bool Message::present(std::uint32_t bit) const {
    return (presence.at(bit >> 5) >> (bit & 31)) & 1u;
}

MessageGroup::MessageGroup(const KindLayout& layout, std::size_t count) {
    for (std::size_t i = 0; i < count; ++i) {
        auto m = std::make_unique<Message>();
        m->presence.assign(layout.presenceWords(), 0);
        m->floats.assign(layout.elements(MI_KIND_FLOAT), 0.0f);
        m->highResAngles.assign(layout.elements(MI_KIND_HIGH_RES_ANGLE), HighResAngleEntry{});
        m->vector3fs.assign(layout.elements(MI_KIND_VECTOR3F), MiVector3f{});
        m->quaternionfs.assign(layout.elements(MI_KIND_QUATERNIONF), MiQuaternionf{});
        m->uint64s.assign(layout.elements(MI_KIND_UINT64), 0);
        m->enums.assign(layout.elements(MI_KIND_ENUM), 0);
        m->bools.assign(layout.elements(MI_KIND_BOOL), 0);
        m->numberedFloats.assign(layout.elements(MI_KIND_NUMBERED_FLOAT), 0.0f);
        m->ioPins.assign(layout.elements(MI_KIND_IO_PIN), IoPinEntry{});
        m->leds.assign(layout.elements(MI_KIND_LED), 0);
        m->reserved.assign(layout.elements(MI_KIND_RESERVED), 0);
        records_.push_back(m->record());
        messages_.push_back(std::move(m));
    }
}

void MessageGroup::scramble(std::uint64_t seed) {
    Random random(seed);
    for (auto& m : messages_)
        m->forEachArray(
            [&random](auto& array) { random.fill(array.data(), array.size() * sizeof(array[0])); });
}

std::vector<std::uint8_t> MessageGroup::bytes() const {
    std::vector<std::uint8_t> out;
    for (const auto& m : messages_) {
        const auto b = m->bytes();
        out.insert(out.end(), b.begin(), b.end());
    }
    return out;
}

namespace {

bool has(const Message& m, std::uint32_t bit) { return (m.presence[bit >> 5] >> (bit & 31)) & 1u; }
void mark(Message& m, std::uint32_t bit) { m.presence[bit >> 5] |= 1u << (bit & 31); }

// Step 1 for one kind: every element the Command message carries, copied to
// the Feedback message, whose presence bit for it is then set.
template <typename T>
void echo(const Message& c, const std::vector<T>& from, std::uint32_t commandBase, Message& f,
          std::vector<T>& to, std::uint32_t feedbackBase) {
    const std::size_t n = std::min(from.size(), to.size());
    for (std::size_t i = 0; i < n; ++i) {
        const auto e = static_cast<std::uint32_t>(i);
        if (has(c, commandBase + e)) {
            std::memcpy(&to[i], &from[i], sizeof(T));
            mark(f, feedbackBase + e);
        }
    }
}

}  // namespace

void step(const KindLayout& commandLayout, const MessageGroup& commands,
          const KindLayout& feedbackLayout, MessageGroup& feedback) {
    const auto& cb = commandLayout.metadata.base;
    const auto& fb = feedbackLayout.metadata.base;
    const std::uint32_t devices = std::min(commands.size(), feedback.size());
    for (std::uint32_t i = 0; i < devices; ++i) {
        const Message& c = commands[i];
        Message& f = feedback[i];
        // 1. Echo.
        echo(c, c.floats, cb[MI_KIND_FLOAT], f, f.floats, fb[MI_KIND_FLOAT]);
        echo(c, c.enums, cb[MI_KIND_ENUM], f, f.enums, fb[MI_KIND_ENUM]);
        echo(c, c.bools, cb[MI_KIND_BOOL], f, f.bools, fb[MI_KIND_BOOL]);
        echo(c, c.numberedFloats, cb[MI_KIND_NUMBERED_FLOAT], f, f.numberedFloats,
             fb[MI_KIND_NUMBERED_FLOAT]);
        echo(c, c.ioPins, cb[MI_KIND_IO_PIN], f, f.ioPins, fb[MI_KIND_IO_PIN]);
        echo(c, c.leds, cb[MI_KIND_LED], f, f.leds, fb[MI_KIND_LED]);
        // 2. Position.
        if (!f.highResAngles.empty()) {
            float speed = 0.0f;
            if (!c.floats.empty() && has(c, cb[MI_KIND_FLOAT])) speed = c.floats[0];
            if (std::isnan(speed)) speed = 0.0f;
            speed = std::clamp(speed, -kMaxSpeed, kMaxSpeed);
            HighResAngleEntry& angle = f.highResAngles[0];
            if (!(angle.offset >= 0.0f && angle.offset < kTurn)) {
                angle.revolutions = 0;
                angle.offset = 0.0f;
            }
            const float moved = speed * kStepSeconds;
            float offset = angle.offset + moved;
            auto turns = static_cast<std::uint64_t>(angle.revolutions);  // wraps, never overflows
            for (;;) {
                if (offset >= kTurn) {
                    offset -= kTurn;
                    ++turns;
                } else if (offset < 0.0f) {
                    offset += kTurn;
                    --turns;
                } else {
                    break;
                }
            }
            angle.revolutions = static_cast<std::int64_t>(turns);
            angle.offset = offset;
            mark(f, fb[MI_KIND_HIGH_RES_ANGLE]);
        }
        // 3. Heartbeat.
        if (feedbackLayout.elements(MI_KIND_FLAG) > 0) {
            const std::uint32_t bit = fb[MI_KIND_FLAG];
            f.presence[bit >> 5] ^= 1u << (bit & 31);
        }
    }
}

std::uint64_t Random::next() {
    std::uint64_t z = (state_ += 0x9E3779B97F4A7C15u);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9u;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBu;
    return z ^ (z >> 31);
}

void Random::fill(void* data, std::size_t size) {
    auto* p = static_cast<std::uint8_t*>(data);
    while (size > 0) {
        const std::uint64_t word = next();
        const std::size_t n = size < sizeof word ? size : sizeof word;
        std::memcpy(p, &word, n);
        p += n;
        size -= n;
    }
}

}  // namespace sim
