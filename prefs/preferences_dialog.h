// The preferences dialog (template 112): encryption on or off, the auto-quit period, the clear
// time of the clipboard and whether field 2 is hidden.
#pragma once

#include <windows.h>

#include <commctrl.h>

INT_PTR CALLBACK PreferencesDlgProc(HWND hDlg, UINT message, WPARAM wParam, LPARAM lParam);

// Enables the auto-quit check box while encryption is checked, the period controls while a period
// is set, and shows the period in whole minutes ("Minute", "Minuten") from one minute on, else in
// seconds ("Sekunden").
void UpdateAutoQuitControls(HWND hDlg);

// One step of the up-down control (a negative delta is the up arrow): 5 seconds below one minute,
// one minute from there on, never below 15 seconds.
DWORD StepAutoQuitPeriod(DWORD period, const NMUPDOWN *change);

// One step of the clear time of the clipboard in seconds (a negative delta is the up arrow):
// 5 seconds up to kClipboardClearMost, never below 5.
DWORD StepClearPeriod(DWORD seconds, const NMUPDOWN *change);
