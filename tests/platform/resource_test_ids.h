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
#define IDS_LANGUAGES 1
#define IDS_EMPTY 3

#ifdef __cplusplus
constexpr int kNotAResource = 7; // C++ in a header is skipped
#endif

#endif
