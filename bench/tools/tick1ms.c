/* The floor of a 1 ms timer: wakes every millisecond on an absolute
 * schedule and does nothing else. Whatever this costs, any design that
 * keeps a 1 ms timer running pays at least as much. With a longer period it
 * is the floor of anything that must wake that often: every 20 ms, the
 * emulator's clock held to the wall clock.
 *
 * usage: tick1ms [SECONDS [PERIOD_MS]]   (no SECONDS or 0: until SIGTERM or
 * SIGINT; the period is 1 ms unless given) */
#define _GNU_SOURCE
#include <errno.h>
#include <signal.h>
#include <stdlib.h>
#include <time.h>

static volatile sig_atomic_t stopping;

static void Stop(int sig)
{
    (void)sig;
    stopping = 1;
}

static long long NowNs(void)
{
    struct timespec t;
    clock_gettime(CLOCK_MONOTONIC, &t);
    return (long long)t.tv_sec * 1000000000LL + t.tv_nsec;
}

int main(int argc, char **argv)
{
    double seconds = argc > 1 ? atof(argv[1]) : 0;
    long long period = argc > 2 && atoi(argv[2]) > 0 ? atoi(argv[2]) * 1000000LL : 1000000LL;
    struct sigaction action = {0};
    action.sa_handler = Stop;
    sigaction(SIGTERM, &action, NULL);
    sigaction(SIGINT, &action, NULL);

    long long start = NowNs();
    long long end = seconds > 0 ? start + (long long)(seconds * 1e9) : 0;
    long long next = start;
    while (!stopping && (end == 0 || next < end)) {
        next += period;
        /* Late by more than a period: go on from now rather than firing the
         * missed wake-ups back to back. */
        long long now = NowNs();
        if (next < now) next = now + period;
        struct timespec wake = {(time_t)(next / 1000000000LL), (long)(next % 1000000000LL)};
        while (clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &wake, NULL) == EINTR && !stopping) {
        }
    }
    return 0;
}
