// Process entry: the watchdog first, then the single-instance rule, then
// the modeless main dialog and a plain message loop until the quit message.
#include "main_dialog.h"
#include "resource.h"
#include "../watchdog/watchdog.h"

// Exit code when the main dialog cannot be built: without it nothing could
// ever post the quit message, so waiting in the loop would hang for ever.
#define EXIT_NO_DIALOG 1

static HWND CreateMainDialog(HINSTANCE instance)
{
    HRSRC resource = FindResourceW(instance, MAKEINTRESOURCEW(IDD_MAIN), RT_DIALOG);
    if (resource == NULL) return NULL;
    HGLOBAL loaded = LoadResource(instance, resource);
    LPCDLGTEMPLATEW dialogTemplate = (LPCDLGTEMPLATEW)LockResource(loaded);
    if (dialogTemplate == NULL) return NULL;
    return CreateDialogIndirectParamW(instance, dialogTemplate, NULL, MainDialogProc, 0);
}

int WINAPI WinMain(HINSTANCE instance, HINSTANCE previous, LPWSTR commandLine, int show)
{
    (void)previous;
    (void)commandLine;
    (void)show;

    // Before anything else, so even a copy about to quit had its watchdog.
    StartWatchdog();

    HWND first = FindWindowW(DEVICE_DIALOG_CLASS, TEXT("Performance Monitor"));
    if (first != NULL) {
        SetForegroundWindow(first);
        return 0;
    }

    monitorState.instance = instance;
    // The dialog keeps its own handle in mainDialog during WM_INITDIALOG.
    if (CreateMainDialog(instance) == NULL) return EXIT_NO_DIALOG;

    MSG message = {};
    while (GetMessageW(&message, NULL, 0, 0) == 1) {
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
    return (int)message.wParam;
}
