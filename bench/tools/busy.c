/* A competitor with a set duty cycle: in every period (10 ms unless given)
 * it spins for DUTY percent of the period and sleeps the rest, on an
 * absolute schedule.
 *
 * usage: busy DUTY [SECONDS [PERIOD_MS]]
 *   DUTY 0 to 100; SECONDS 0 or none: until SIGTERM; PERIOD_MS 1 to 1000 */
#define _GNU_SOURCE
#include <errno.h>
#include <signal.h>
#include <stdio.h>
#include <stdlib.h>
#include <time.h>

static volatile sig_atomic_t stopping;

static void Stop(int sig)
{
    (void)sig;
    stopping = 1;
}

static long long Ns(const struct timespec *t)
{
    return (long long)t->tv_sec * 1000000000LL + t->tv_nsec;
}

static struct timespec Timespec(long long ns)
{
    struct timespec t = {(time_t)(ns / 1000000000LL), (long)(ns % 1000000000LL)};
    return t;
}

static long long NowNs(void)
{
    struct timespec t;
    clock_gettime(CLOCK_MONOTONIC, &t);
    return Ns(&t);
}

int main(int argc, char **argv)
{
    if (argc < 2) {
        fprintf(stderr, "usage: busy DUTY [SECONDS [PERIOD_MS]]\n");
        return 2;
    }
    double duty = atof(argv[1]);
    double seconds = argc > 2 ? atof(argv[2]) : 0;
    double periodMs = argc > 3 ? atof(argv[3]) : 10;
    if (duty < 0 || duty > 100) {
        fprintf(stderr, "busy: duty %s is not 0 to 100\n", argv[1]);
        return 2;
    }
    if (!(periodMs >= 1 && periodMs <= 1000)) {
        fprintf(stderr, "busy: period %s ms is not 1 to 1000\n", argv[3]);
        return 2;
    }
    long long periodNs = (long long)(periodMs * 1e6);
    struct sigaction action = {0};
    action.sa_handler = Stop;
    sigaction(SIGTERM, &action, NULL);
    sigaction(SIGINT, &action, NULL);

    long long spinNs = (long long)(duty * (double)periodNs / 100.0);
    long long start = NowNs();
    long long end = seconds > 0 ? start + (long long)(seconds * 1e9) : 0;
    long long period = start;
    volatile unsigned long long work = 0;
    while (!stopping && (end == 0 || period < end)) {
        long long now;
        while ((now = NowNs()) < period + spinNs)
            work++;
        period += periodNs;
        /* Behind by a whole period (preempted): the lost time is gone, keep
         * the phase from now on instead of spinning to catch up. */
        if (period < now) period = now - (now - start) % periodNs + periodNs;
        if (spinNs < periodNs) {
            struct timespec wake = Timespec(period);
            while (clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &wake, NULL) == EINTR && !stopping) {
            }
        }
    }
    return 0;
}
