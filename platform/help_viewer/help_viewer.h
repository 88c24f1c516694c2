// PegHelp: the help viewer that the handheld's programs start with "FILE#anchor". It shows the
// help file (a small HTML subset, see help_document.h) one page per <h1> in a rich-edit control,
// at the anchor asked for. Links jump between pages, Back returns, the keyboard scrolls, Esc
// closes. One viewer runs at a time: a second request is handed to the running one.
//
// It knows nothing of the program whose help it shows.
#pragma once

#include <windows.h>

// The viewer window's class; its title is "Hilfe: " followed by the heading of the page shown.
extern const WCHAR kHelpViewerClass[];

// The identifier of WM_COPYDATA requests (dwData); the data is the request "FILE#anchor" in
// UTF-16 with its terminator.
constexpr ULONG_PTR kHelpRequestData = 0x50474850;  // "PHGP"

// Control ids of the viewer window.
enum : int { IDC_HELP_TEXT = 100, IDC_HELP_BACK = 101, IDC_HELP_CONTENTS = 102 };

// Creates and shows the viewer window for a request "FILE#anchor"; a relative FILE is looked up
// in folder (with a trailing backslash). Reports an unusable file with a message box and returns
// nullptr then.
HWND OpenHelpViewer(HINSTANCE instance, const WCHAR *request, const WCHAR *folder);

// The whole program: hands the request to a running viewer, or opens one and runs its message
// loop. Returns the process's exit code: 0, or 1 when the help file could not be shown.
int HelpViewerMain(HINSTANCE instance, const WCHAR *request);
