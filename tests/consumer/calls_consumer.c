/* SPDX-License-Identifier: MIT */
/* The smallest call-list host: one miRunCalls sets a Float field of two
 * Command messages and reads it back. Built against an installed
 * tovakWrapper, linked to tovakWrapperCalls (which brings tovakWrapper). */
#include <tovakWrapperCalls.h>

#include <stdio.h>
#include <string.h>

int main(void) {
    uint32_t presence[2][1] = {{0}, {0}};
    float floats[2][2] = {{0}};
    MessageRecord records[2];
    MessageMetadata metadata;
    float values[2] = {1.25f, -3.5f};
    float out[2] = {0};
    MiCall calls[2];
    int i;

    memset(records, 0, sizeof records);
    memset(&metadata, 0, sizeof metadata);
    memset(calls, 0, sizeof calls);
    for (i = 0; i < 2; ++i) {
        records[i].presence = presence[i];
        records[i].floats = floats[i];
    }
    metadata.base[MI_KIND_FLOAT] = 4;
    miInitialize(&metadata, &metadata, &metadata);
    calls[0].accessor = MI_CALL_COMMAND_SET_FLOAT;
    calls[1].accessor = MI_CALL_FEEDBACK_GET_FLOAT;
    for (i = 0; i < 2; ++i) {
        calls[i].count = 2;
        calls[i].field = 1;
        calls[i].records = records;
    }
    calls[0].buffer = values;
    calls[1].buffer = out;
    miRunCalls(calls, 2);
    if (out[0] != 1.25f || out[1] != -3.5f || presence[0][0] != (1u << 5)) {
        fprintf(stderr, "calls_consumer: unexpected results\n");
        return 1;
    }
    printf("calls_consumer: tovakWrapperCalls %d.%d.%d works\n", TOVAKWRAPPER_VERSION_MAJOR,
           TOVAKWRAPPER_VERSION_MINOR, TOVAKWRAPPER_VERSION_PATCH);
    return 0;
}
