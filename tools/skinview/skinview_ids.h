// Resource ids of the skin viewer's page of every skinned control.
#pragma once

#define IDD_VIEW_CONTROLS 900
#define IDC_V_TITLE 901
#define IDC_V_PUSH 902
#define IDC_V_DISABLED 903
#define IDC_V_MESSAGE 904
#define IDC_V_RADIO1 905
#define IDC_V_RADIO2 906
#define IDC_V_CHECK1 907
#define IDC_V_CHECK2 908
#define IDC_V_PROGRESS 909
#define IDC_V_EDIT 910
#define IDC_V_LIST 911
#define IDC_V_VSCROLL 912
#define IDC_V_HSCROLL 913
#define IDC_V_USER 914
#define IDC_V_STATUS 915
