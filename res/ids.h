// Command and resource identifiers. wx takes menu and tool ids from 0 to 0x7ffe and keeps
// 4999 to 5999 for itself, so the commands are numbered from 6001.
#pragma once

enum : int {
    IDR_MAINFRAME = 128,  // menu, toolbar, main icon and document string

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
};
