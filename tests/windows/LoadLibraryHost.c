/* SPDX-License-Identifier: MIT */
/* A Windows host that loads tovakWrapper.dll at run time, resolves
 * miInitialize and every accessor of the list by its plain name, and runs a
 * command-and-feedback round with high-resolution angles and I/O pins. */
#include "tovakWrapper.h"
#include "tovakWrapperAccessors.h"

#include <stdio.h>
#include <string.h>
#include <windows.h>

/* miInitialize first, then the accessors of the list. */
#define TOVAK_NAME(value, ID, function, ...) #function,
static const char *const kNames[] = {"miInitialize", MI_ACCESSORS(TOVAK_NAME)};

typedef void (*Initialize)(const MessageMetadata *, const MessageMetadata *,
                           const MessageMetadata *);
typedef void (*SetAngle)(const MessageRecord *, const double *, uint32_t, uint32_t);
typedef void (*GetAngle)(double *, const MessageRecord *, uint32_t, uint32_t);
typedef void (*SetPinInt)(const MessageRecord *, const int64_t *, uint32_t, int32_t, uint32_t);
typedef void (*GetPinInt)(int64_t *, const MessageRecord *, uint32_t, int32_t, uint32_t);
typedef void (*HasPin)(uint8_t *, const MessageRecord *, uint32_t, int32_t, uint32_t);

int main(void) {
    enum { N = 3 };
    HMODULE dll = LoadLibraryA("tovakWrapper.dll");
    FARPROC found[sizeof kNames / sizeof kNames[0]];
    unsigned i, missing = 0;
    uint32_t presence[N][4];
    HighResAngleEntry angles[N][2];
    IoPinEntry pins[N][8];
    MessageRecord records[N];
    MessageMetadata meta;
    const int32_t banks[2] = {0, 4};
    const double in[N] = {1.0, -7.0, 1e300};
    double out[N];
    const int64_t values[N] = {-1, 2, INT64_MIN};
    int64_t got[N];
    uint8_t has[N];
    int failures = 0;

    if (dll == NULL) {
        printf("LoadLibrary failed: %lu\n", (unsigned long)GetLastError());
        return 1;
    }
    for (i = 0; i < sizeof kNames / sizeof kNames[0]; ++i) {
        found[i] = GetProcAddress(dll, kNames[i]);
        if (found[i] == NULL) {
            printf("not exported: %s\n", kNames[i]);
            ++missing;
        }
    }
    if (missing) return 1;

    memset(presence, 0, sizeof presence);
    memset(angles, 0, sizeof angles);
    memset(pins, 0, sizeof pins);
    memset(records, 0, sizeof records);
    memset(&meta, 0, sizeof meta);
    for (i = 0; i < N; ++i) {
        records[i].presence = presence[i];
        records[i].highResAngles = angles[i];
        records[i].ioPins = pins[i];
    }
    meta.base[MI_KIND_HIGH_RES_ANGLE] = 0;
    meta.base[MI_KIND_IO_PIN] = 2;
    meta.pinBankTable = banks;
    ((Initialize)(void (*)(void))found[0])(&meta, &meta, &meta);

    ((SetAngle)(void (*)(void))GetProcAddress(dll, "miCommandSetHighResAngle"))(records, in, N, 1);
    ((GetAngle)(void (*)(void))GetProcAddress(dll, "miFeedbackGetHighResAngle"))(out, records, N,
                                                                                 1);
    if (out[0] != 1.0 || angles[1][1].revolutions != -1 || angles[2][1].revolutions != INT64_MIN)
        ++failures;
    if (out[1] > -6.99999999 || out[1] < -7.00000001) ++failures;

    ((SetPinInt)(void (*)(void))GetProcAddress(dll, "miCommandSetIoPinInt"))(records, values, N, 1,
                                                                             1);
    ((GetPinInt)(void (*)(void))GetProcAddress(dll, "miFeedbackGetIoPinInt"))(got, records, N, 1,
                                                                              1);
    ((HasPin)(void (*)(void))GetProcAddress(dll, "miCommandHasIoPinInt"))(has, records, N, 1, 1);
    for (i = 0; i < N; ++i) {
        if (got[i] != values[i] || has[i] != 1) ++failures;
        if (presence[i][0] != ((1u << 1) | (1u << 7))) ++failures; /* angle 1, pin entry 5 */
    }
    if (!FreeLibrary(dll)) ++failures;
    printf("%u functions resolved by name; round trip %s\n",
           (unsigned)(sizeof kNames / sizeof kNames[0]), failures ? "FAILED" : "passed");
    return failures ? 1 : 0;
}
