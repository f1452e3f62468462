// Base priorities from the desktop's scale onto the device's.
//
// The desktop reports a thread's base priority on its 0..31 scale, the sum
// of the process's class base and the thread's level: in a normal-class
// process idle is 1, lowest 6, below normal 7, normal 8, above normal 9,
// highest 10 and time-critical 15. The device has one scale of eight levels,
// 0 (time-critical) to 7 (idle), 3 normal. The rule places a desktop value by
// where it falls against the normal class's levels:
//
//   desktop base   device level
//   15 and above   0  time-critical (also every realtime-class thread)
//   10 .. 14       1  highest (also high-class threads)
//   9              2  above normal
//   8              3  normal
//   7              4  below normal
//   6              5  lowest
//   2 .. 5         6  above idle (idle-class threads that aren't idle)
//   1 and below    7  idle
#pragma once

static inline long DevicePriorityFromDesktop(long basePriority)
{
    if (basePriority >= 15) return 0;
    if (basePriority >= 10) return 1;
    if (basePriority == 9) return 2;
    if (basePriority == 8) return 3;
    if (basePriority == 7) return 4;
    if (basePriority == 6) return 5;
    if (basePriority >= 2) return 6;
    return 7;
}
