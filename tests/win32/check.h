// Checks for the Windows-side tests, which run under Wine without GoogleTest:
// a failed check prints where it is and the actual values.
#pragma once

#include <stdio.h>

struct CheckTally {
    int checks, failures;
};
extern CheckTally checkTally;

typedef void (*CheckCase)(void);
struct CheckRegistration {
    CheckRegistration(const char *name, CheckCase run);
};

#define CHECK_CASE(name)                                      \
    static void name(void);                                   \
    static CheckRegistration name##Registration(#name, name); \
    static void name(void)

// CHECK(condition, "format of the actual values", values...)
#define CHECK(condition, ...)                                                  \
    do {                                                                       \
        checkTally.checks++;                                                   \
        if (!(condition)) {                                                    \
            checkTally.failures++;                                             \
            printf("%s:%d: failed: %s\n    ", __FILE__, __LINE__, #condition); \
            printf(__VA_ARGS__);                                               \
            printf("\n");                                                      \
        }                                                                      \
    } while (0)
