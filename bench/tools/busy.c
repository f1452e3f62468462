/* A competitor with a set duty cycle: in every 10 ms period it spins for
 * DUTY percent of the period and sleeps the rest, on an absolute schedule.
 *
 * usage: busy DUTY [SECONDS]   (DUTY 0 to 100; no SECONDS or 0: until SIGTERM) */
#define _GNU_SOURCE
#include <errno.h>
#include <signal.h>
#include <stdio.h>
#include <stdlib.h>
#include <time.h>

#define PERIOD_NS 10000000LL

static volatile sig_atomic_t stopping;

static void Stop(int sig) { (void)sig; stopping = 1; }

static long long Ns(const struct timespec *t) { return (long long)t->tv_sec * 1000000000LL + t->tv_nsec; }

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
        fprintf(stderr, "usage: busy DUTY [SECONDS]\n");
        return 2;
    }
    double duty = atof(argv[1]);
    double seconds = argc > 2 ? atof(argv[2]) : 0;
    if (duty < 0 || duty > 100) {
        fprintf(stderr, "busy: duty %s is not 0 to 100\n", argv[1]);
        return 2;
    }
    struct sigaction action = {0};
    action.sa_handler = Stop;
    sigaction(SIGTERM, &action, NULL);
    sigaction(SIGINT, &action, NULL);

    long long spinNs = (long long)(duty * PERIOD_NS / 100.0);
    long long start = NowNs();
    long long end = seconds > 0 ? start + (long long)(seconds * 1e9) : 0;
    long long period = start;
    volatile unsigned long long work = 0;
    while (!stopping && (end == 0 || period < end)) {
        long long now;
        while ((now = NowNs()) < period + spinNs)
            work++;
        period += PERIOD_NS;
        /* Behind by a whole period (preempted): the lost time is gone, keep
         * the phase from now on instead of spinning to catch up. */
        if (period < now)
            period = now - (now - start) % PERIOD_NS + PERIOD_NS;
        if (spinNs < PERIOD_NS) {
            struct timespec wake = Timespec(period);
            while (clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &wake, NULL) == EINTR && !stopping) {
            }
        }
    }
    return 0;
}
