// Thread priorities from the desktop's scales onto the device's.
//
// The device has one scale of eight levels, 0 (time-critical) to 7 (idle),
// 3 normal, and no process classes. The desktop sets a thread's level
// relative to its process's class (THREAD_PRIORITY_IDLE -15, LOWEST -2 ..
// HIGHEST 2, TIME_CRITICAL 15) and reports in the tool-help walk a base
// priority on its 0..31 scale, the class base plus that level. Wine fills
// the walk with the relative level instead, so the adapter asks the thread
// itself (GetThreadPriority) and reads the same answer on both; only a
// thread it may not open falls back to the walk's base priority.
//
//   thread level            device    base priority (fallback)
//   15 (time-critical)      0         15 and above (all realtime class)
//   3 .. 14, 2 (highest)    1         10 .. 14 (also high class)
//   1 (above normal)        2         9
//   0 (normal)              3         8
//   -1 (below normal)       4         7
//   -2 (lowest)             5         6
//   -3 .. -14               6         2 .. 5 (idle class, above idle)
//   -15 (idle)              7         1 and below
#pragma once

static inline long DevicePriorityFromLevel(int level)
{
    if (level >= 15) return 0;
    if (level >= 2) return 1;
    if (level <= -15) return 7;
    if (level <= -3) return 6;
    return 3 - level; // 1 above, 0 normal, -1 below, -2 lowest
}

static inline long DevicePriorityFromBase(long basePriority)
{
    if (basePriority >= 15) return 0;
    if (basePriority >= 10) return 1;
    if (basePriority >= 6) return 3 - (basePriority - 8); // 9 above .. 6 lowest
    if (basePriority >= 2) return 6;
    return 7;
}
