// The load meter. The only clue to processor load is how late the 1 ms
// timer arrives: UpdateLoadEstimate smooths the arrival gaps, learns the
// best rate ever seen and reads the distance from it as a percentage;
// AppendLoadSample keeps one reading per 300 ms in the 200-slot ring and,
// while the window is in front, scrolls the graph bitmap by one column per
// sample. RedrawLoadGraph rebuilds the whole picture from the ring.
//
// Tick counts wrap every 2^32 ms (49.7 days). They are compared by their
// signed 32-bit difference, so "later" still means later across the wrap.
#include "load_meter.h"
#include "../app/resource.h"

// The graph context, the ramp context and what they held before, for the
// duration of one drawing operation.
struct GraphDrawing {
    HDC display;
    HDC graph;
    HDC ramp;
    HBITMAP rampBitmap;
    HGDIOBJ graphPrevious;
    HGDIOBJ rampPrevious;
};

#define GRID_BRUSH_COLOR 0x00E0A0A0

// WHITENESS on a desktop's 32-bit bitmap also sets the alpha byte, and an
// icon with any alpha is drawn by it, leaving its bars and frame unseen; a
// white brush writes the colour alone, the same white on the device.
void FillWhite(HDC dc, int x, int y, int width, int height)
{
    HGDIOBJ previous = SelectObject(dc, GetStockObject(WHITE_BRUSH));
    PatBlt(dc, x, y, width, height, PATCOPY);
    SelectObject(dc, previous);
}

static bool TickIsAfter(DWORD tick, DWORD reference)
{
    return (LONG)(tick - reference) > 0;
}

void UpdateLoadEstimate(void)
{
    MonitorState *s = &monitorState;
    DWORD now = GetTickCount();
    // Further arrivals within the same millisecond carry no news.
    if (!TickIsAfter(now, s->lastTimerTick)) return;
    DWORD gap = now - s->lastTimerTick;
    s->lastTimerTick = now;

    // Kept in 64 bits and held at the 32-bit limit: after a gap of some 62
    // hours, gapSum x 19 would wrap to a sum below the best one ever seen,
    // and minimum and floor would fall for good. Below that nothing changes.
    ULONGLONG sum = ((ULONGLONG)s->gapSum * 19) / 20 + gap;
    s->gapSum = sum > 0xFFFFFFFFull ? 0xFFFFFFFFu : (DWORD)sum;
    if (s->gapSum < s->gapSumMin) s->gapSumMin = s->gapSum;
    // The floor follows three quarters of the best sum, and only downwards.
    if (4 * s->idleGapSum > 3 * s->gapSumMin) s->idleGapSum = (3 * s->gapSumMin) / 4;

    // In 64 bits: the same figure whenever 100 x gapSum fits 32 bits, and
    // still 25..99 after hours-long gaps, where 32-bit products would wrap.
    int percent = (int)((100 * (ULONGLONG)s->gapSum - 100 * (ULONGLONG)s->idleGapSum) / s->gapSum);
    AppendLoadSample(percent);
}

static int ColumnHeight(int percent)
{
    return (GRAPH_HEIGHT * percent) / 100;
}

static void StoreSample(int percent)
{
    LoadHistory *history = &monitorState.history;
    history->samples[history->nextIndex] = percent;
    history->nextIndex = (history->nextIndex + 1) % LOAD_HISTORY_SLOTS;
}

static bool SampleDue(void)
{
    return TickIsAfter(GetTickCount(), monitorState.nextSampleTick);
}

// After a long stall every slot and every column gets rewritten by the last
// 200 rounds, so the rounds before them only move the grid and the index.
static void SkipOverwrittenRounds(void)
{
    DWORD behind = GetTickCount() - monitorState.nextSampleTick;
    DWORD rounds = (behind - 1) / SAMPLE_PERIOD_MS + 1;
    if (rounds <= LOAD_HISTORY_SLOTS) return;
    DWORD skipped = rounds - LOAD_HISTORY_SLOTS;
    LoadHistory *history = &monitorState.history;
    history->nextIndex = (int)((history->nextIndex + skipped % LOAD_HISTORY_SLOTS) % LOAD_HISTORY_SLOTS);
    monitorState.nextSampleTick += skipped * SAMPLE_PERIOD_MS;
}

static void BeginGraphDrawing(GraphDrawing *drawing)
{
    drawing->display = GetDC(monitorState.mainDialog);
    drawing->graph = CreateCompatibleDC(drawing->display);
    drawing->ramp = CreateCompatibleDC(drawing->display);
    drawing->graphPrevious = SelectObject(drawing->graph, monitorState.graphBitmap);
    drawing->rampBitmap = LoadBitmapW(monitorState.instance, MAKEINTRESOURCEW(IDB_GRAPH_FILL));
    drawing->rampPrevious = SelectObject(drawing->ramp, drawing->rampBitmap);
}

static void EndGraphDrawing(GraphDrawing *drawing)
{
    ReleaseDC(monitorState.mainDialog, drawing->display);
    SelectObject(drawing->graph, drawing->graphPrevious);
    DeleteDC(drawing->graph);
    SelectObject(drawing->ramp, drawing->rampPrevious);
    DeleteDC(drawing->ramp);
    DeleteObject(drawing->rampBitmap);
    InvalidateRect(GetDlgItem(monitorState.mainDialog, IDC_GRAPH), NULL, TRUE);
}

// The column's rows come from the same rows of the ramp, so a colour
// belongs to a height.
static void DrawColumn(const GraphDrawing *drawing, int x, int height)
{
    if (height > 0)
        BitBlt(drawing->graph, x, GRAPH_HEIGHT - height, 1, height, drawing->ramp, 0, GRAPH_HEIGHT - height, SRCCOPY);
}

static void DrawSamples(int percent)
{
    GraphDrawing drawing;
    BeginGraphDrawing(&drawing);
    int height = ColumnHeight(percent);
    int right = GRAPH_WIDTH - 1;
    while (SampleDue()) {
        StoreSample(percent);
        BitBlt(drawing.graph, 0, 0, right, GRAPH_HEIGHT, drawing.graph, 1, 0, SRCCOPY);
        FillWhite(drawing.graph, right, 0, 1, GRAPH_HEIGHT - height);
        DrawColumn(&drawing, right, height);
        monitorState.nextSampleTick += SAMPLE_PERIOD_MS;
    }
    EndGraphDrawing(&drawing);
}

static void RecordSamples(int percent)
{
    while (SampleDue()) {
        StoreSample(percent);
        monitorState.nextSampleTick += SAMPLE_PERIOD_MS;
    }
}

void AppendLoadSample(int percent)
{
    if (!SampleDue()) return;
    SkipOverwrittenRounds();
    HWND window = monitorState.mainDialog;
    // Behind another window or hidden, the picture waits for the next full
    // redraw; only the ring keeps up.
    if (GetForegroundWindow() == window && IsWindowVisible(window))
        DrawSamples(percent);
    else
        RecordSamples(percent);
}

void RedrawLoadGraph(void)
{
    // Position changes can come before the graph exists.
    if (monitorState.graphBitmap == NULL) return;
    GraphDrawing drawing;
    BeginGraphDrawing(&drawing);
    FillWhite(drawing.graph, 0, 0, GRAPH_WIDTH, GRAPH_HEIGHT);
    const LoadHistory *history = &monitorState.history;
    for (int k = 0; k < LOAD_HISTORY_SLOTS; k++) {
        int sample = history->samples[(history->nextIndex - k + LOAD_HISTORY_SLOTS - 1) % LOAD_HISTORY_SLOTS];
        DrawColumn(&drawing, GRAPH_WIDTH - 1 - k, ColumnHeight(sample));
    }
    EndGraphDrawing(&drawing);
}

void CreateGraphResources(void)
{
    monitorState.gridBrush = CreateSolidBrush(GRID_BRUSH_COLOR);

    HDC display = GetDC(monitorState.mainDialog);
    HDC memory = CreateCompatibleDC(display);
    monitorState.graphBitmap = CreateCompatibleBitmap(display, GRAPH_WIDTH, GRAPH_HEIGHT);
    HGDIOBJ previous = SelectObject(memory, monitorState.graphBitmap);
    FillWhite(memory, 0, 0, GRAPH_WIDTH, GRAPH_HEIGHT);
    ReleaseDC(monitorState.mainDialog, display);
    SelectObject(memory, previous);
    DeleteDC(memory);

    HGDIOBJ replaced = (HGDIOBJ)SendDlgItemMessageW(monitorState.mainDialog, IDC_GRAPH, STM_SETIMAGE, IMAGE_BITMAP,
                                                    (LPARAM)monitorState.graphBitmap);
    if (replaced != NULL) DeleteObject(replaced);
}
