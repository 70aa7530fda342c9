/* SPDX-License-Identifier: MIT */
/* Bring your own messages: a message library of its own, with one Command
 * and one Feedback kind in plain C structs, describes its messages to
 * tovakWrapper and drives it. docs/messages.md walks through it. It checks
 * that every value and presence bit lands where its own numbering says, and
 * exits with 1 if one does not. */
#include <stdio.h>
#include <string.h>
#include <tovakWrapper.h>

#define DEVICES 3

/* A Command message: the fields of each kind in one array, in field order,
 * and one presence word, enough for its 15 presence bits. */
typedef struct Command {
    uint32_t presence[1];
    float floats[2];    /* Float 0 speed (rad/s), Float 1 torque limit (N m) */
    int32_t enums[1];   /* Enum 0 mode */
    float numbered[5];  /* numbered-float field 0, gains P I D: elements 0-2;
                           field 1, filter: elements 3-4 */
    IoPinEntry pins[6]; /* pin bank 0, digital outputs: entries 0-3;
                           bank 1, analog outputs: entries 4-5 */
} Command;              /* and Flag 0, enable: a presence bit, no value */

/* A Feedback message, the same way. */
typedef struct Feedback {
    uint32_t presence[1];
    float floats[2];             /* Float 0 speed, Float 1 current (A) */
    HighResAngleEntry angles[1]; /* HighResAngle 0 position */
    float numbered[5];           /* the same numbered-float fields: the gains in use */
    IoPinEntry pins[6];          /* the same banks: bank 1 holds the analog inputs */
} Feedback;                      /* and Flag 0, fault */

/* The presence bits, in this library's own order: the first bit of each
 * kind's run. Field f of a kind is its first bit + f; numbered-float element e
 * and pin entry e likewise. */
enum {
    COMMAND_ENABLE_BIT = 0,     /* bit 0: Flag 0 */
    COMMAND_FLOAT_BITS = 1,     /* bits 1-2: Float 0-1 */
    COMMAND_ENUM_BITS = 3,      /* bit 3: Enum 0 */
    COMMAND_NUMBERED_BITS = 4,  /* bits 4-8: numbered-float elements 0-4 */
    COMMAND_PIN_BITS = 9,       /* bits 9-14: pin entries 0-5 */
    FEEDBACK_FLOAT_BITS = 0,    /* bits 0-1: Float 0-1 */
    FEEDBACK_ANGLE_BITS = 2,    /* bit 2: HighResAngle 0 */
    FEEDBACK_NUMBERED_BITS = 3, /* bits 3-7: numbered-float elements 0-4 */
    FEEDBACK_PIN_BITS = 8,      /* bits 8-13: pin entries 0-5 */
    FEEDBACK_FAULT_BIT = 14     /* bit 14: Flag 0 */
};

/* Where each numbered-float field and each pin bank starts: an element of the
 * array, and as many bits after the kind's first bit. Both kinds use these. */
static const int32_t kNumberedStarts[2] = {0, 3}; /* gains, filter */
static const int32_t kBankStarts[2] = {0, 4};     /* digital outputs, analog */

/* A record: where one message keeps its presence words and its value
 * arrays. Pointers to kinds the message does not have stay NULL; no
 * accessor of those kinds is ever called on it. */
static MessageRecord commandRecord(Command *m) {
    MessageRecord r;
    memset(&r, 0, sizeof r);
    r.presence = m->presence;
    r.floats = m->floats;
    r.enums = m->enums;
    r.numberedFloats = m->numbered;
    r.ioPins = m->pins;
    return r;
}

static MessageRecord feedbackRecord(Feedback *m) {
    MessageRecord r;
    memset(&r, 0, sizeof r);
    r.presence = m->presence;
    r.floats = m->floats;
    r.highResAngles = m->angles;
    r.numberedFloats = m->numbered;
    r.ioPins = m->pins;
    return r;
}

static int failures = 0;

static void check(int ok, const char *what, int device) {
    if (!ok) {
        printf("FAILED: %s, device %d\n", what, device);
        ++failures;
    }
}

/* The message library's storage; static, so it starts zeroed. */
static Command commands[DEVICES];
static Feedback feedback[DEVICES];
static MessageRecord commandRecords[DEVICES], feedbackRecords[DEVICES];
static MessageMetadata commandMeta, feedbackMeta, infoMeta;

int main(void) {
    float speed[DEVICES] = {1.5f, -2.0f, 0.25f}, gainI[DEVICES] = {0.5f, 0.75f, 1.0f};
    int32_t mode[DEVICES] = {1, 2, 1};
    int64_t output[DEVICES] = {1, 0, 1};
    uint8_t torqueSet[DEVICES], outputSet[DEVICES], hasAnalog[DEVICES], fault[DEVICES];
    double position[DEVICES];
    float analog[DEVICES], gainInUse[DEVICES];
    int i;

    /* The metadata: each kind's first presence bit, and the tables. */
    commandMeta.base[MI_KIND_FLAG] = COMMAND_ENABLE_BIT;
    commandMeta.base[MI_KIND_FLOAT] = COMMAND_FLOAT_BITS;
    commandMeta.base[MI_KIND_ENUM] = COMMAND_ENUM_BITS;
    commandMeta.base[MI_KIND_NUMBERED_FLOAT] = COMMAND_NUMBERED_BITS;
    commandMeta.base[MI_KIND_IO_PIN] = COMMAND_PIN_BITS;
    commandMeta.numberedFloatTable = kNumberedStarts;
    commandMeta.pinBankTable = kBankStarts;
    feedbackMeta.base[MI_KIND_FLOAT] = FEEDBACK_FLOAT_BITS;
    feedbackMeta.base[MI_KIND_HIGH_RES_ANGLE] = FEEDBACK_ANGLE_BITS;
    feedbackMeta.base[MI_KIND_NUMBERED_FLOAT] = FEEDBACK_NUMBERED_BITS;
    feedbackMeta.base[MI_KIND_IO_PIN] = FEEDBACK_PIN_BITS;
    feedbackMeta.base[MI_KIND_FLAG] = FEEDBACK_FAULT_BIT;
    feedbackMeta.numberedFloatTable = kNumberedStarts;
    feedbackMeta.pinBankTable = kBankStarts;
    /* The bytes tovakWrapper never reads are this library's own. */
    memcpy(commandMeta.opaque0, "Command", 8);
    memcpy(feedbackMeta.opaque0, "Feedback", 9);
    /* No Info messages here: infoMeta stays zeroed. */
    miInitialize(&commandMeta, &feedbackMeta, &infoMeta);

    for (i = 0; i < DEVICES; ++i) {
        commandRecords[i] = commandRecord(&commands[i]);
        feedbackRecords[i] = feedbackRecord(&feedback[i]);
    }

    /* Command: five fields of all three messages, one call each. Numbered
     * floats take (number, field) and pins (pin, bank), in that order. */
    miCommandSetFloat(commandRecords, speed, DEVICES, 0);            /* speed */
    miCommandSetEnum(commandRecords, mode, DEVICES, 0);              /* mode */
    miCommandSetNumberedFloat(commandRecords, gainI, DEVICES, 1, 0); /* gain I */
    miCommandSetIoPinInt(commandRecords, output, DEVICES, 2, 0);     /* output 2 */
    miCommandSetFlag(commandRecords, NULL, DEVICES, 0);              /* enable */
    /* Queries: "Float 1 present?" takes the bit itself; pins, (pin, bank). */
    miCommandHasField(torqueSet, commandRecords, DEVICES, COMMAND_FLOAT_BITS + 1);
    miCommandHasIoPinInt(outputSet, commandRecords, DEVICES, 2, 0);

    printf("Command messages, after 5 setter calls and 2 queries over all %d:\n", DEVICES);
    printf("device  speed  mode  gain I  output 2  presence  torque limit set\n");
    for (i = 0; i < DEVICES; ++i) {
        const Command *c = &commands[i];
        const uint32_t expected = 1u << COMMAND_ENABLE_BIT | 1u << (COMMAND_FLOAT_BITS + 0) |
                                  1u << (COMMAND_ENUM_BITS + 0) |
                                  1u << (COMMAND_NUMBERED_BITS + kNumberedStarts[0] + 1) |
                                  1u << (COMMAND_PIN_BITS + kBankStarts[0] + 2);
        printf("%6d %6.2f %5d %7.2f %9lld    0x%04x  %s\n", i, c->floats[0], (int)c->enums[0],
               c->numbered[kNumberedStarts[0] + 1],
               (long long)c->pins[kBankStarts[0] + 2].value.asInt, (unsigned)c->presence[0],
               torqueSet[i] ? "yes" : "no");
        check(c->floats[0] == speed[i] && c->enums[0] == mode[i], "speed and mode", i);
        check(c->numbered[1] == gainI[i], "gain I at element 0 + 1", i);
        check(c->pins[2].value.asInt == output[i] && c->pins[2].tag == MI_IO_PIN_TAG_INT,
              "output 2 at entry 0 + 2", i);
        check(c->presence[0] == expected, "presence bits by this library's numbering", i);
        check(!torqueSet[i] && outputSet[i], "torque limit absent, output 2 present", i);
    }

    /* The devices answer: the message library fills the Feedback messages it
     * receives, marking each field present by its own numbering. Device 1
     * reports a fault and no analog input. */
    for (i = 0; i < DEVICES; ++i) {
        Feedback *f = &feedback[i];
        f->angles[0].revolutions = i; /* i whole turns and 0.5 rad */
        f->angles[0].offset = 0.5f;
        f->numbered[kNumberedStarts[0] + 1] = commands[i].numbered[kNumberedStarts[0] + 1];
        f->presence[0] |=
            1u << FEEDBACK_ANGLE_BITS | 1u << (FEEDBACK_NUMBERED_BITS + kNumberedStarts[0] + 1);
        if (i == 1) {
            f->presence[0] |= 1u << FEEDBACK_FAULT_BIT;
        } else {
            f->pins[kBankStarts[1] + 0].value.asFloat = 1.25f * (float)(i + 1);
            f->pins[kBankStarts[1] + 0].tag = MI_IO_PIN_TAG_FLOAT;
            f->presence[0] |= 1u << (FEEDBACK_PIN_BITS + kBankStarts[1] + 0);
        }
    }

    /* Feedback: three fields, a pin's presence and a flag, one call each. */
    miFeedbackGetHighResAngle(position, feedbackRecords, DEVICES, 0);
    miFeedbackGetNumberedFloat(gainInUse, feedbackRecords, DEVICES, 1, 0); /* gain I */
    miFeedbackGetIoPinFloat(analog, feedbackRecords, DEVICES, 0, 1);       /* analog 0 */
    miFeedbackHasIoPinFloat(hasAnalog, feedbackRecords, DEVICES, 0, 1);
    miFeedbackHasField(fault, feedbackRecords, DEVICES, FEEDBACK_FAULT_BIT);

    printf("\nFeedback messages, read with 5 calls over all %d:\n", DEVICES);
    printf("device  position  gain I  analog 0  fault\n");
    for (i = 0; i < DEVICES; ++i) {
        char analogText[16] = "-";
        if (hasAnalog[i]) snprintf(analogText, sizeof analogText, "%.2f", analog[i]);
        printf("%6d %9.4f %7.2f %9s  %s\n", i, position[i], gainInUse[i], analogText,
               fault[i] ? "yes" : "no");
        check(position[i] == 0.5 + (double)i * 6.283185307179586, "position", i);
        check(gainInUse[i] == gainI[i], "gain I in use", i);
        check(hasAnalog[i] == (i != 1) && fault[i] == (i == 1), "analog input and fault", i);
        check(!hasAnalog[i] || analog[i] == 1.25f * (float)(i + 1), "analog input", i);
    }
    printf("\n%s\n", failures ? "Some values were not where this library's numbering puts them."
                              : "Every value and presence bit is where this library's numbering "
                                "puts it.");
    return failures ? 1 : 0;
}
