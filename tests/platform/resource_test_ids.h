// Ids shared by the test script and the test; only the #define lines matter to the compiler.
#ifndef RESOURCE_TEST_IDS_H
#define RESOURCE_TEST_IDS_H

#define IDD_MAIN 1001
#define IDD_NEWGAME 125
#define IDC_ANIM 1005 /* the animation window */
#define IDC_LEVEL_LOW 1046
#define IDC_LEVEL_HIGH (IDC_LEVEL_LOW + 1)
#define IDC_GROUP_LABEL 1051
#define IDC_SOUND 1053
#define IDI_MAIN 1055
#define IDI_SAMPLE 1060
#define IDI_DAMAGED 1061
#define IDC_POINTER 1070
#define IDC_HOTSPOT_OFF 1071
#define IDC_LOST 1072
#define IDC_CUT 1073
#define IDC_IMAGE_CUT 1074
#define IDB_GRID8 1080
#define IDB_STRIP24 1081
#define IDB_ROW4 1082
#define IDB_FIELDS16 1083
#define IDB_TRUNCATED 1090
#define IDB_BADBITS 1091
#define IDB_SHORT 1092
#define IDB_COLOURS 1093
#define IDB_HUGE 1094
#define IDB_RGBA 1095
#define IDB_SIZEFAR 1096
#define IDA_MAIN 1100
#define IDA_ODD 1101
#define IDA_OPEN 1102
#define IDA_FLAGS 1103
#define IDM_NEW 40001
#define IDM_NEW_PLAIN 40002
#define IDM_NEW_BOTH 40003
#define IDM_REDO 40004
#define IDM_UNDO 40005
#define IDM_QUIT 40006
#define IDS_LANGUAGES 1
#define IDS_EMPTY 3

#ifdef __cplusplus
constexpr int kNotAResource = 7; // C++ in a header is skipped
#endif

#endif
