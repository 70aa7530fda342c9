// SPDX-License-Identifier: MIT
// Nanoseconds per message for one accessor of each family, three ways in
// one binary:
//   batched      one library call over all messages;
//   per_message  the same accessor called once per message (count 1), as a
//                host without batching would;
//   inline_loop  the same work as a plain loop compiled here, with the same
//                semantics and flags: the practical limit.
// Counts 1 to 65536 reuse one warm group of messages; the *_cold variants
// walk a pool of 4096-message groups far larger than the last-level cache,
// a different group each iteration. Items per second = messages per second.
#include "MessageSim.hpp"
#include "tovakWrapper.h"

#include <benchmark/benchmark.h>

#include <cstring>
#include <limits>
#include <memory>
#include <string>
#include <vector>

namespace {

constexpr uint32_t kField = 1, kPin = 1, kBank = 1;
constexpr uint32_t kColdCount = 4096;
constexpr std::size_t kColdPoolBytes = std::size_t{256} << 20;  // 8x a 32 MiB LLC

// The message library's view: layout, messages, and host-side buffers.
struct Messages {
    explicit Messages(uint32_t count)
        : layout(sim::Shape::uniform(4)),
          group(layout, count),
          values(16 * count),
          out(16 * count) {
        group.scramble(count);
        sim::Random random(1);
        random.fill(values.data(), values.size());
        for (uint32_t i = 0; i < count; ++i)
            group[i].ioPins[layout.pinBankTable[kBank] + kPin].tag = MI_IO_PIN_TAG_INT;
        // Angles a host would send: finite, within a few thousand turns.
        for (uint32_t i = 0; i < count; ++i) {
            const double angle = static_cast<double>(static_cast<int32_t>(random.next())) * 1e-5;
            std::memcpy(values.data() + 8 * i, &angle, 8);
        }
    }
    sim::KindLayout layout;
    sim::MessageGroup group;
    std::vector<uint8_t> values, out;

    MessageRecord* records() { return group.records(); }
    uint32_t base(MiFieldKind k) const { return layout.metadata.base[k]; }
};

Messages& warm() {
    static Messages messages(65536);
    static bool initialized = (miInitialize(&messages.layout.metadata, &messages.layout.metadata,
                                            &messages.layout.metadata),
                               true);
    (void)initialized;
    return messages;
}

std::vector<std::unique_ptr<Messages>>& coldPool() {
    static std::vector<std::unique_ptr<Messages>> pool = [] {
        std::vector<std::unique_ptr<Messages>> p;
        const std::size_t perGroup = std::size_t{kColdCount} * 1100;  // ~bytes per message
        for (std::size_t bytes = 0; bytes < kColdPoolBytes; bytes += perGroup)
            p.push_back(std::make_unique<Messages>(kColdCount));
        return p;
    }();
    return pool;
}

enum class Variant { Batched, PerMessage, InlineLoop };

// ---- one family: the accessor, and the same work as an inline loop ----

// Runs over records [0, n), reading host values from `in` or writing to `out`.
using Run = void (*)(const Messages&, MessageRecord* records, const void* in, void* out,
                     uint32_t n);

struct Family {
    const char* name;
    uint32_t width;  // bytes per host element
    Run batched;
    Run inlineLoop;
};

inline void presence(MessageRecord& r, uint32_t bit) { r.presence[bit >> 5] |= 1u << (bit & 31); }
inline uint8_t present(const MessageRecord& r, uint32_t bit) {
    return (r.presence[bit >> 5] >> (bit & 31)) & 1u;
}

double loadAngle(const HighResAngleEntry& e) {
    return static_cast<double>(e.offset) + static_cast<double>(e.revolutions) * 6.283185307179586;
}
void storeAngle(HighResAngleEntry& e, double angle) {
    const double x = angle * 0.15915494309189535;
    const int64_t revs = (x >= -0x1p63 && x < 0x1p63) ? static_cast<int64_t>(x)
                                                      : std::numeric_limits<int64_t>::min();
    const double offset = (x - static_cast<double>(revs)) * 6.283185307179586;
    e.revolutions = revs;
    e.offset = offset >= 0x1.ffffffp127    ? std::numeric_limits<float>::infinity()
               : offset <= -0x1.ffffffp127 ? -std::numeric_limits<float>::infinity()
                                           : static_cast<float>(offset);
}

const Family kFamilies[] = {
    {"FloatSet", 4,
     [](const Messages& m, MessageRecord* r, const void* in, void* out, uint32_t n) {
         miCommandSetFloat(r, static_cast<const float*>(in), n, kField);
     },
     [](const Messages& m, MessageRecord* r, const void* in, void* out, uint32_t n) {
         const float* v = static_cast<const float*>(in);
         const uint32_t bit = m.base(MI_KIND_FLOAT) + kField;
         for (uint32_t i = 0; i < n; ++i) {
             std::memcpy(&r[i].floats[kField], &v[i], 4);
             presence(r[i], bit);
         }
     }},
    {"FloatGet", 4,
     [](const Messages& m, MessageRecord* r, const void* in, void* out, uint32_t n) {
         miFeedbackGetFloat(static_cast<float*>(out), r, n, kField);
     },
     [](const Messages& m, MessageRecord* r, const void* in, void* out, uint32_t n) {
         float* o = static_cast<float*>(out);
         for (uint32_t i = 0; i < n; ++i) std::memcpy(&o[i], &r[i].floats[kField], 4);
     }},
    {"Vector3fGet", 12,
     [](const Messages& m, MessageRecord* r, const void* in, void* out, uint32_t n) {
         miFeedbackGetVector3f(static_cast<MiVector3f*>(out), r, n, kField);
     },
     [](const Messages& m, MessageRecord* r, const void* in, void* out, uint32_t n) {
         MiVector3f* o = static_cast<MiVector3f*>(out);
         for (uint32_t i = 0; i < n; ++i) std::memcpy(&o[i], &r[i].vector3fs[kField], 12);
     }},
    {"QuaternionfGet", 16,
     [](const Messages& m, MessageRecord* r, const void* in, void* out, uint32_t n) {
         miFeedbackGetQuaternionf(static_cast<MiQuaternionf*>(out), r, n, kField);
     },
     [](const Messages& m, MessageRecord* r, const void* in, void* out, uint32_t n) {
         MiQuaternionf* o = static_cast<MiQuaternionf*>(out);
         for (uint32_t i = 0; i < n; ++i) std::memcpy(&o[i], &r[i].quaternionfs[kField], 16);
     }},
    {"HighResAngleSet", 8,
     [](const Messages& m, MessageRecord* r, const void* in, void* out, uint32_t n) {
         miCommandSetHighResAngle(r, static_cast<const double*>(in), n, kField);
     },
     [](const Messages& m, MessageRecord* r, const void* in, void* out, uint32_t n) {
         const double* v = static_cast<const double*>(in);
         const uint32_t bit = m.base(MI_KIND_HIGH_RES_ANGLE) + kField;
         for (uint32_t i = 0; i < n; ++i) {
             storeAngle(r[i].highResAngles[kField], v[i]);
             presence(r[i], bit);
         }
     }},
    {"HighResAngleGet", 8,
     [](const Messages& m, MessageRecord* r, const void* in, void* out, uint32_t n) {
         miFeedbackGetHighResAngle(static_cast<double*>(out), r, n, kField);
     },
     [](const Messages& m, MessageRecord* r, const void* in, void* out, uint32_t n) {
         double* o = static_cast<double*>(out);
         for (uint32_t i = 0; i < n; ++i) o[i] = loadAngle(r[i].highResAngles[kField]);
     }},
    {"IoPinIntSet", 8,
     [](const Messages& m, MessageRecord* r, const void* in, void* out, uint32_t n) {
         miCommandSetIoPinInt(r, static_cast<const int64_t*>(in), n, kPin, kBank);
     },
     [](const Messages& m, MessageRecord* r, const void* in, void* out, uint32_t n) {
         const int64_t* v = static_cast<const int64_t*>(in);
         const int64_t index = int64_t{m.layout.metadata.pinBankTable[kBank]} + kPin;
         const uint32_t bit = m.base(MI_KIND_IO_PIN) + static_cast<uint32_t>(index);
         for (uint32_t i = 0; i < n; ++i) {
             std::memcpy(&r[i].ioPins[index].value, &v[i], 8);
             r[i].ioPins[index].tag = MI_IO_PIN_TAG_INT;
             presence(r[i], bit);
         }
     }},
    {"IoPinIntGet", 8,
     [](const Messages& m, MessageRecord* r, const void* in, void* out, uint32_t n) {
         miFeedbackGetIoPinInt(static_cast<int64_t*>(out), r, n, kPin, kBank);
     },
     [](const Messages& m, MessageRecord* r, const void* in, void* out, uint32_t n) {
         int64_t* o = static_cast<int64_t*>(out);
         const int64_t index = int64_t{m.layout.metadata.pinBankTable[kBank]} + kPin;
         for (uint32_t i = 0; i < n; ++i) {
             const IoPinEntry& e = r[i].ioPins[index];
             o[i] = e.tag == MI_IO_PIN_TAG_INT ? e.value.asInt : 0;
         }
     }},
    {"NumberedFloatGet", 4,
     [](const Messages& m, MessageRecord* r, const void* in, void* out, uint32_t n) {
         miFeedbackGetNumberedFloat(static_cast<float*>(out), r, n, kPin, kBank);
     },
     [](const Messages& m, MessageRecord* r, const void* in, void* out, uint32_t n) {
         float* o = static_cast<float*>(out);
         const int64_t index = int64_t{m.layout.metadata.numberedFloatTable[kBank]} + kPin;
         for (uint32_t i = 0; i < n; ++i) std::memcpy(&o[i], &r[i].numberedFloats[index], 4);
     }},
    {"FlagGet", 1,
     [](const Messages& m, MessageRecord* r, const void* in, void* out, uint32_t n) {
         miCommandGetFlag(static_cast<uint8_t*>(out), r, n, kField);
     },
     [](const Messages& m, MessageRecord* r, const void* in, void* out, uint32_t n) {
         uint8_t* o = static_cast<uint8_t*>(out);
         const uint32_t bit = m.base(MI_KIND_FLAG) + kField;
         for (uint32_t i = 0; i < n; ++i) o[i] = present(r[i], bit);
     }},
    {"FieldHas", 1,
     [](const Messages& m, MessageRecord* r, const void* in, void* out, uint32_t n) {
         miFeedbackHasField(static_cast<uint8_t*>(out), r, n, 37);
     },
     [](const Messages& m, MessageRecord* r, const void* in, void* out, uint32_t n) {
         uint8_t* o = static_cast<uint8_t*>(out);
         for (uint32_t i = 0; i < n; ++i) o[i] = present(r[i], 37);
     }},
};

// One call of count 1 per message, record i with element i of the buffers.
void perMessage(const Family& f, Messages& m, uint32_t n) {
    MessageRecord* r = m.records();
    for (uint32_t i = 0; i < n; ++i)
        f.batched(m, r + i, m.values.data() + i * f.width, m.out.data() + i * f.width, 1);
}

void run(const Family& f, Variant variant, Messages& m, uint32_t n) {
    switch (variant) {
        case Variant::Batched:
            f.batched(m, m.records(), m.values.data(), m.out.data(), n);
            break;
        case Variant::PerMessage:
            perMessage(f, m, n);
            break;
        case Variant::InlineLoop:
            f.inlineLoop(m, m.records(), m.values.data(), m.out.data(), n);
            break;
    }
}

void runWarm(benchmark::State& state, const Family& f, Variant variant) {
    Messages& m = warm();
    const auto n = static_cast<uint32_t>(state.range(0));
    for (auto _ : state) {
        run(f, variant, m, n);
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations() * n);
}

void runCold(benchmark::State& state, const Family& f, Variant variant) {
    auto& pool = coldPool();
    miInitialize(&pool[0]->layout.metadata, &pool[0]->layout.metadata, &pool[0]->layout.metadata);
    std::size_t next = 0;
    for (auto _ : state) {
        Messages& m = *pool[next];
        next = (next + 1) % pool.size();
        run(f, variant, m, kColdCount);
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations() * kColdCount);
    state.counters["pool_groups"] = static_cast<double>(pool.size());
    miInitialize(&warm().layout.metadata, &warm().layout.metadata, &warm().layout.metadata);
}

const char* variantName(Variant v) {
    return v == Variant::Batched      ? "batched"
           : v == Variant::PerMessage ? "per_message"
                                      : "inline_loop";
}

}  // namespace

int main(int argc, char** argv) {
    for (const Family& f : kFamilies) {
        for (Variant v : {Variant::Batched, Variant::PerMessage, Variant::InlineLoop}) {
            benchmark::RegisterBenchmark((std::string(f.name) + "/" + variantName(v)).c_str(),
                                         [&f, v](benchmark::State& s) { runWarm(s, f, v); })
                ->Arg(1)
                ->Arg(12)
                ->Arg(256)
                ->Arg(4096)
                ->Arg(65536);
            benchmark::RegisterBenchmark(
                (std::string(f.name) + "/" + variantName(v) + "_cold").c_str(),
                [&f, v](benchmark::State& s) { runCold(s, f, v); })
                ->Arg(kColdCount);
        }
    }
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
