/* SPDX-License-Identifier: MIT */
/* The smallest useful host: set a Float field of two Command messages and
 * read it back. Built against an installed tovakWrapper. */
#include <tovakWrapper.h>

#include <stdio.h>
#include <string.h>

int main(void) {
    uint32_t presence[2][1] = {{0}, {0}};
    float floats[2][2] = {{0}};
    MessageRecord records[2];
    MessageMetadata metadata;
    const float values[2] = {1.25f, -3.5f};
    float out[2] = {0};
    int i;

    memset(records, 0, sizeof records);
    memset(&metadata, 0, sizeof metadata);
    for (i = 0; i < 2; ++i) {
        records[i].presence = presence[i];
        records[i].floats = floats[i];
    }
    metadata.base[MI_KIND_FLOAT] = 4;
    miInitialize(&metadata, &metadata, &metadata);
    miCommandSetFloat(records, values, 2, 1);
    miFeedbackGetFloat(out, records, 2, 1);
    if (out[0] != 1.25f || out[1] != -3.5f || presence[0][0] != (1u << 5)) {
        fprintf(stderr, "consumer: unexpected results\n");
        return 1;
    }
    printf("consumer: tovakWrapper %d.%d.%d works\n", TOVAKWRAPPER_VERSION_MAJOR,
           TOVAKWRAPPER_VERSION_MINOR, TOVAKWRAPPER_VERSION_PATCH);
    return 0;
}
