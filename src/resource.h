// Resource ids of AgentUninstaller_Win.exe, shared by res/AgentUninstaller.rc and the code.
#pragma once

// Program icon (group icon).
#define IDR_MAINFRAME 128

// Dialog templates.
#define IDD_CONTRACT 102  // contract-number dialog
#define IDD_PROGRESS 103  // progress dialog of the worker

// Controls of the contract-number dialog.
#define IDC_CONTRACT_NO 1000  // contract-number edit
#define IDC_SEPARATOR 1001    // etched line above the buttons

// Controls of the progress dialog.
#define IDC_PROGRESS_TEXT 101     // two-line text set by the worker
#define IDC_PROGRESS_PERCENT 102  // percentage under the bar
#define IDC_PROGRESS_BAR 103      // progress bar

// Button faces, 60 x 25 pixels (tools/make-images.py draws them).
#define IDB_BUTTON_DISABLE 129
#define IDB_BUTTON_HOVER 130
#define IDB_BUTTON_MASK 131  // 24-bit: black where the face is opaque, white where the background shows
#define IDB_BUTTON_NORMAL 132
#define IDB_BUTTON_PUSH 133
