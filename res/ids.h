// Command and resource identifiers. wx takes menu and tool ids from 0 to 0x7ffe and keeps
// 4999 to 5999 for itself, so the commands are numbered from 6001.
#pragma once

enum : int {
    IDR_MAINFRAME = 128,  // menu, toolbar, main icon and document string
    IDR_PELLTYPE = 129,   // the document icon
    IDD_ABOUTBOX = 100,

    ID_APP_EXIT = 6001,
    ID_FLARE_SPIN,
    ID_LIGHT_PATTERN1,
    ID_LIGHT_PATTERN2,
    ID_LIGHT_PATTERN3,
    ID_LIGHT_STRONGER,
    ID_LIGHT_WEAKER,
    ID_VIEW_RESET,
    ID_SPREAD_WIDEN,
    ID_SPREAD_NARROW,
    ID_APP_ABOUT,

    AFX_IDW_TOOLBAR = 6100,  // the main frame's toolbar window

    // Texts of the string table that no command owns.
    IDS_APP_TITLE = 7001,
    IDS_IDLE_MESSAGE,
    IDS_NEXT_PANE,
    IDS_PREV_PANE,
    IDS_SC_SIZE,
    IDS_SC_MOVE,
    IDS_SC_MINIMIZE,
    IDS_SC_MAXIMIZE,
    IDS_SC_NEXTWINDOW,
    IDS_SC_PREVWINDOW,
    IDS_SC_CLOSE,
    IDS_SC_RESTORE,
    IDS_SC_TASKLIST,
};
