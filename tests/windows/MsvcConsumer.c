/* SPDX-License-Identifier: MIT */
/* A Windows program built the way MSVC's tools build one: compiled for the
 * MSVC ABI (clang --target=x86_64-pc-windows-msvc), linked by an MSVC-style
 * linker (lld-link) against the import libraries tovakWrapper.lib and
 * tovakWrapperCalls.lib, and run beside the MinGW-built DLLs. With no MSVC
 * C runtime at hand it is freestanding: its own entry point, and output and
 * exit through kernel32. It sets and reads a Float and an angle field, and
 * runs a call list that sets and reads a pin. */
#include "tovakWrapper.h"
#include "tovakWrapperCalls.h"

__declspec(dllimport) void *__stdcall GetStdHandle(unsigned long which);
__declspec(dllimport) int __stdcall WriteFile(void *file, const void *data, unsigned long size,
                                              unsigned long *written, void *overlapped);
__declspec(dllimport) __declspec(noreturn) void __stdcall ExitProcess(unsigned code);

/* Defined by the MSVC C runtime for programs that use floating point. */
int _fltused;

enum { N = 3 };
/* Static, so zeroed without memset (there is no C library here). */
static uint32_t presence[N][1];
static float floats[N][2];
static HighResAngleEntry angles[N][1];
static IoPinEntry pins[N][4];
static MessageRecord records[N];
static MessageMetadata meta;
static const int32_t banks[2] = {0, 2};
static MiCall calls[2];

static void say(const char *text) {
    unsigned long length = 0, written;
    while (text[length]) ++length;
    WriteFile(GetStdHandle((unsigned long)-11), text, length, &written, 0);
}

void start(void) {
    const float speeds[N] = {0.5f, -1.5f, 2.0f};
    const double targets[N] = {1.0, -7.0, 100.0};
    const int64_t outputs[N] = {-1, 7, INT64_MIN};
    float speedOut[N];
    double angleOut[N];
    int64_t pinOut[N];
    uint8_t pinSet[N];
    int i, failures = 0;

    for (i = 0; i < N; ++i) {
        records[i].presence = presence[i];
        records[i].floats = floats[i];
        records[i].highResAngles = angles[i];
        records[i].ioPins = pins[i];
    }
    meta.base[MI_KIND_FLOAT] = 0;          /* bits 0-1 */
    meta.base[MI_KIND_HIGH_RES_ANGLE] = 2; /* bit 2 */
    meta.base[MI_KIND_IO_PIN] = 3;         /* bits 3-6 */
    meta.pinBankTable = banks;
    miInitialize(&meta, &meta, &meta);

    miCommandSetFloat(records, speeds, N, 1);
    miCommandSetHighResAngle(records, targets, N, 0);
    /* Through tovakWrapperCalls.lib: pin 1 of bank 1 set, then read back. */
    calls[0].accessor = MI_CALL_COMMAND_SET_IO_PIN_INT;
    calls[0].buffer = (void *)outputs;
    calls[1].accessor = MI_CALL_FEEDBACK_GET_IO_PIN_INT;
    calls[1].buffer = pinOut;
    for (i = 0; i < 2; ++i) {
        calls[i].count = N;
        calls[i].number = 1;
        calls[i].field = 1;
        calls[i].records = records;
    }
    miRunCalls(calls, 2);
    miFeedbackGetFloat(speedOut, records, N, 1);
    miFeedbackGetHighResAngle(angleOut, records, N, 0);
    miCommandHasIoPinInt(pinSet, records, N, 1, 1);

    for (i = 0; i < N; ++i) {
        const double error = angleOut[i] - targets[i];
        if (speedOut[i] != speeds[i] || pinOut[i] != outputs[i] || pinSet[i] != 1) ++failures;
        if (error > 1e-6 || error < -1e-6) ++failures;
        /* Float 1, the angle and pin entry 2 + 1. */
        if (presence[i][0] != (1u << 1 | 1u << 2 | 1u << (3 + 2 + 1))) ++failures;
    }
    say(failures ? "msvc consumer: FAILED\n"
                 : "msvc consumer: tovakWrapper.lib and tovakWrapperCalls.lib linked, "
                   "7 calls into the DLLs gave the expected results\n");
    ExitProcess(failures ? 1u : 0u);
}
