// Load meter: the estimator fed by the 1 ms timer, the 200-sample history on
// its 300 ms grid, and the 200 by 40 graph.
#pragma once

#include "../app/monitor_state.h"

// Graph geometry, in pixels.
#define GRAPH_WIDTH 200
#define GRAPH_HEIGHT 40
// One history sample per this many milliseconds.
#define SAMPLE_PERIOD_MS 300

void UpdateLoadEstimate(void);
void AppendLoadSample(int percent);
void CreateGraphResources(void);
void RedrawLoadGraph(void);
// Whitens a rectangle of a memory bitmap through a white brush, the way the
// graph and the icon are both whitened.
void FillWhite(HDC dc, int x, int y, int width, int height);
