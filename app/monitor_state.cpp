// The one MonitorState of the process.
#include "monitor_state.h"

#include <string.h>

// gapSum and gapSumMin start at 1000 in the program image itself, so the
// estimator's start does not depend on any code having run. The remaining
// fields are zero, as static storage always is.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmissing-field-initializers"
MonitorState monitorState = {
    NULL, // instance
    NULL, // mainDialog
    0,    // lastTimerTick
    1000, // gapSum
    1000, // gapSumMin
};
#pragma GCC diagnostic pop

void ResetMonitorState(void)
{
    memset((void *)&monitorState, 0, sizeof(monitorState));
    monitorState.gapSum = 1000;
    monitorState.gapSumMin = 1000;
}
