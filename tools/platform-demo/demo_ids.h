// Control ids of the platform demo's dialog.
#pragma once

#define IDD_CONTROLS 100
#define IDI_DEMO 101
#define IDC_LOW 1001
#define IDC_MEDIUM 1002
#define IDC_HIGH 1003
#define IDC_HUMAN 1004
#define IDC_COMPUTER 1005
#define IDC_NETWORK 1006
#define IDC_SOUND 1007
#define IDC_ANIMATIONS 1008
#define IDC_HINTS 1009
#define IDC_TONE 1010
#define IDC_MESSAGE 1011
#define IDC_STATUS 1012
#define IDC_UNDO 1013
#define IDC_CHOICE 1014
