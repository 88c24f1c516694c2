// Resource, control and command ids of the program.
#pragma once

// Progress window of the long passes (modeless, ProgressDlgProc)
#define IDD_PROGRESS 114
#define IDC_PROGRESS_BAR 1049
#define IDC_PROGRESS_TEXT 1050
