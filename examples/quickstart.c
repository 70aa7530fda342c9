/* SPDX-License-Identifier: MIT */
/* Twelve devices: one call sets a Float field in all their Command messages,
 * one call reads it back, one call asks which messages carry it. */
#include <stdio.h>
#include <string.h>
#include <tovakWrapper.h>

#define DEVICES 12

int main(void) {
    uint32_t presence[DEVICES][1];  /* each message: one presence word, */
    float floats[DEVICES][4];       /* four Float fields */
    MessageRecord records[DEVICES]; /* the library's view of each message */
    MessageMetadata meta;           /* where the presence bits live */
    float speeds[DEVICES], readBack[DEVICES];
    uint8_t present[DEVICES];
    int i;

    memset(presence, 0, sizeof presence);
    memset(records, 0, sizeof records);
    memset(&meta, 0, sizeof meta);
    meta.base[MI_KIND_FLOAT] = 0; /* Float field f: presence bit 0 + f */
    for (i = 0; i < DEVICES; ++i) {
        records[i].presence = presence[i];
        records[i].floats = floats[i];
        speeds[i] = 0.25f * (float)i;
    }
    miInitialize(&meta, &meta, &meta);              /* Command, Feedback, Info metadata */
    miCommandSetFloat(records, speeds, DEVICES, 2); /* field 2 of all 12 */
    miCommandGetFloat(readBack, records, DEVICES, 2);
    miCommandHasField(present, records, DEVICES, meta.base[MI_KIND_FLOAT] + 2);
    printf("Float field 2 of %d messages, set and read in one call each:\n", DEVICES);
    for (i = 0; i < DEVICES; ++i)
        printf(" %.2f%s", readBack[i], present[i] ? "" : " (not present)");
    printf("\n");
    return 0;
}
