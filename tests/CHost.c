/* SPDX-License-Identifier: MIT */
/* A plain C99 host: lays out two messages by hand, as a C host of the
 * library would, and drives one accessor of each family through it. */
#include "tovakWrapper.h"

#include <stdio.h>
#include <string.h>

static int failures = 0;
#define CHECK(cond)                                                                  \
    do {                                                                             \
        if (!(cond)) {                                                               \
            fprintf(stderr, "%s:%d: check failed: %s\n", __FILE__, __LINE__, #cond); \
            ++failures;                                                              \
        }                                                                            \
    } while (0)

enum { N = 2, FIELDS = 4 };

typedef struct Storage {
    uint32_t presence[8];
    float floats[FIELDS];
    HighResAngleEntry angles[FIELDS];
    uint8_t bools[FIELDS];
    float numbered[FIELDS];
    IoPinEntry pins[FIELDS];
} Storage;

int main(void) {
    static Storage storage[N];
    MessageRecord records[N];
    MessageMetadata command, feedback, info;
    const int32_t table[2] = {0, 2};
    uint32_t i;

    memset(records, 0, sizeof records);
    for (i = 0; i < N; ++i) {
        records[i].presence = storage[i].presence;
        records[i].floats = storage[i].floats;
        records[i].highResAngles = storage[i].angles;
        records[i].bools = storage[i].bools;
        records[i].numberedFloats = storage[i].numbered;
        records[i].ioPins = storage[i].pins;
    }
    memset(&command, 0, sizeof command);
    command.base[MI_KIND_FLOAT] = 0;
    command.base[MI_KIND_HIGH_RES_ANGLE] = 4;
    command.base[MI_KIND_BOOL] = 8;
    command.base[MI_KIND_NUMBERED_FLOAT] = 12;
    command.base[MI_KIND_IO_PIN] = 16;
    command.base[MI_KIND_FLAG] = 20;
    command.numberedFloatTable = table;
    command.pinBankTable = table;
    feedback = command;
    info = command;
    miInitialize(&command, &feedback, &info);

    {
        const float f[N] = {1.5f, -2.5f};
        float out[N];
        miCommandSetFloat(records, f, N, 1);
        miFeedbackGetFloat(out, records, N, 1);
        CHECK(out[0] == 1.5f && out[1] == -2.5f);
    }
    {
        const double a[N] = {1.0, -7.0};
        double out[N];
        miCommandSetHighResAngle(records, a, N, 0);
        miInfoGetHighResAngle(out, records, N, 0);
        CHECK(out[0] == 1.0);
        CHECK(storage[1].angles[0].revolutions == -1);
        CHECK(out[1] > -7.00000001 && out[1] < -6.99999999);
    }
    {
        const int64_t v[N] = {-3, 4};
        int64_t out[N];
        uint8_t has[N];
        miCommandSetIoPinInt(records, v, N, 1, 1); /* entry 3 */
        miCommandGetIoPinInt(out, records, N, 1, 1);
        miCommandHasIoPinInt(has, records, N, 1, 1);
        CHECK(out[0] == -3 && out[1] == 4);
        CHECK(storage[0].pins[3].tag == MI_IO_PIN_TAG_INT);
        CHECK(has[0] == 1 && has[1] == 1);
    }
    {
        const float v[N] = {0.5f, 0.25f};
        float out[N];
        miCommandSetNumberedFloat(records, v, N, 0, 1); /* entry 2 */
        miFeedbackGetNumberedFloat(out, records, N, 0, 1);
        CHECK(out[0] == 0.5f && out[1] == 0.25f);
    }
    {
        const uint8_t b[N] = {2, 0};
        uint8_t out[N], flag[N], has[N];
        miCommandSetBool(records, b, N, 3);
        miCommandGetBool(out, records, N, 3);
        miCommandSetFlag(records, NULL, N, 0);
        miCommandGetFlag(flag, records, N, 0);
        miCommandHasField(has, records, N, 8 + 3);
        CHECK(out[0] == 2 && out[1] == 0);
        CHECK(flag[0] == 1 && flag[1] == 1);
        CHECK(has[0] == 1 && has[1] == 1);
    }
    /* Presence words: float 1 (bit 1), angle 0 (bit 4), bool 3 (bit 11),
     * numbered 2 (bit 14), pin 3 (bit 19), flag 0 (bit 20). */
    for (i = 0; i < N; ++i)
        CHECK(storage[i].presence[0] ==
              ((1u << 1) | (1u << 4) | (1u << 11) | (1u << 14) | (1u << 19) | (1u << 20)));

    if (failures == 0) printf("C host: all checks passed\n");
    return failures == 0 ? 0 : 1;
}
