// Runs every registered case, or those whose names contain the argument.
#include "check.h"

#include <string.h>

CheckTally checkTally;

static struct {
    const char *name;
    CheckCase run;
} cases[64];
static int caseCount;

CheckRegistration::CheckRegistration(const char *name, CheckCase run)
{
    if (caseCount < 64) cases[caseCount++] = {name, run};
}

int main(int argc, char **argv)
{
    setvbuf(stdout, NULL, _IONBF, 0); // unbuffered, so fflush per check isn't needed
    int ran = 0;
    for (int i = 0; i < caseCount; i++) {
        if (argc > 1 && strstr(cases[i].name, argv[1]) == NULL) continue;
        int before = checkTally.failures;
        printf("[ RUN  ] %s\n", cases[i].name);
        cases[i].run();
        printf("[ %s ] %s\n", checkTally.failures == before ? " OK " : "FAIL", cases[i].name);
        ran++;
    }
    printf("%d cases, %d checks, %d failed\n", ran, checkTally.checks, checkTally.failures);
    return checkTally.failures > 0 ? 1 : 0;
}
