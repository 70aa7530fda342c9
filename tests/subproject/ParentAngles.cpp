// SPDX-License-Identifier: MIT
// The golden angle table (tests/AngleCases.inc) against a tovakWrapper built
// inside a parent project whose flags include -O3 -ffast-math -march=native.
// Only integers are compared here, so this program's own fast-math code cannot
// blur the result. Exit status 0 when every bit matches.
#include "tovakWrapper.h"

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <vector>
#if defined(__x86_64__) || defined(__i386__)
#include <xmmintrin.h>
#endif

namespace {

#include "AngleCases.inc"

template <typename To, typename From>
To bits(From from) {
    static_assert(sizeof(To) == sizeof(From));
    To to;
    std::memcpy(&to, &from, sizeof to);
    return to;
}

int failures = 0;

void fail(const char *what, uint64_t input, uint64_t got, uint64_t want) {
    if (++failures <= 20)
        std::printf("  %s of input 0x%016llx: 0x%llx, expected 0x%llx\n", what,
                    (unsigned long long)input, (unsigned long long)got, (unsigned long long)want);
}

// One message per case: one presence word, one angle entry at field 0.
struct Messages {
    explicit Messages(std::size_t n) : presence(n), angles(n), records(n) {
        for (std::size_t i = 0; i < n; ++i) {
            records[i].presence = &presence[i];
            records[i].highResAngles = &angles[i];
            angles[i].padding = 0xA5A5A5A5u;
        }
    }
    std::vector<uint32_t> presence;
    std::vector<HighResAngleEntry> angles;
    std::vector<MessageRecord> records{};
};

template <std::size_t N>
void checkConversions(const AngleCase (&cases)[N]) {
    Messages m(N);
    std::vector<double> in(N);
    for (std::size_t i = 0; i < N; ++i) in[i] = bits<double>(cases[i].input);
    miCommandSetHighResAngle(m.records.data(), in.data(), N, 0);
    for (std::size_t i = 0; i < N; ++i) {
        const HighResAngleEntry &e = m.angles[i];
        if (e.revolutions != cases[i].revolutions)
            fail("revolutions", cases[i].input, (uint64_t)e.revolutions,
                 (uint64_t)cases[i].revolutions);
        if (bits<uint32_t>(e.offset) != cases[i].offset)
            fail("offset bits", cases[i].input, bits<uint32_t>(e.offset), cases[i].offset);
        if (e.padding != 0xA5A5A5A5u) fail("padding", cases[i].input, e.padding, 0xA5A5A5A5u);
    }
    for (auto get : {miCommandGetHighResAngle, miFeedbackGetHighResAngle, miInfoGetHighResAngle}) {
        std::vector<double> out(N);
        get(out.data(), m.records.data(), N, 0);
        for (std::size_t i = 0; i < N; ++i)
            if (bits<uint64_t>(out[i]) != cases[i].readBack)
                fail("read-back bits", cases[i].input, bits<uint64_t>(out[i]), cases[i].readBack);
    }
}

void checkHostEntries() {
    constexpr std::size_t n = sizeof kHostEntryCases / sizeof kHostEntryCases[0];
    Messages m(n);
    for (std::size_t i = 0; i < n; ++i) {
        m.angles[i].revolutions = kHostEntryCases[i].revolutions;
        m.angles[i].offset = bits<float>(kHostEntryCases[i].offset);
    }
    std::vector<double> out(n);
    miFeedbackGetHighResAngle(out.data(), m.records.data(), n, 0);
    for (std::size_t i = 0; i < n; ++i)
        if (bits<uint64_t>(out[i]) != kHostEntryCases[i].readBack)
            fail("read-back bits of stored entry", i, bits<uint64_t>(out[i]),
                 kHostEntryCases[i].readBack);
}

}  // namespace

int main() {
#if defined(__x86_64__) || defined(__i386__)
    // Flush-to-zero (bit 15) and denormals-are-zero (bit 6): set here only if
    // a fast-math startup file was linked into this program or the library.
    const unsigned csr = _mm_getcsr();
    if (csr & 0x8040u) {
        std::printf(
            "MXCSR is 0x%04x at start: flush-to-zero/denormals-are-zero switched on by "
            "crtfastmath.o\n",
            csr);
        return 1;
    }
#endif
    MessageMetadata metadata;
    std::memset(&metadata, 0, sizeof metadata);
    metadata.base[MI_KIND_HIGH_RES_ANGLE] = 0;
    miInitialize(&metadata, &metadata, &metadata);

    checkConversions(kNamedAngleCases);
    checkConversions(kSweepAngleCases);
    checkHostEntries();
    const std::size_t total = sizeof kNamedAngleCases / sizeof kNamedAngleCases[0] +
                              sizeof kSweepAngleCases / sizeof kSweepAngleCases[0] +
                              sizeof kHostEntryCases / sizeof kHostEntryCases[0];
    if (failures) {
        std::printf("%d mismatches in %zu angle cases\n", failures, total);
        return 1;
    }
    std::printf("%zu angle cases bit-identical under the parent's flags\n", total);
    return 0;
}
