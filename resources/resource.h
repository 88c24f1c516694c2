// Resource, control and command ids of the program. The numbers are the program's own; stored
// templates and the command routing depend on them.
#pragma once

// Menu, accelerators, icons.
#define IDR_MAIN_MENU 104
#define IDR_ACCELERATORS 101
#define IDI_ARKEL_KEY 122
#define IDI_ARKEL_CHEST 123
#define IDB_TOOLBAR_32 124

// Dialog templates.
#define IDD_ABOUT 101
#define IDD_OBJECT_EDIT 105
#define IDD_CATEGORIES 110
#define IDD_PREFERENCES 112
#define IDD_ENTER_PASSWORD 113
#define IDD_SET_PASSWORD 115
#define IDD_CHANGE_PASSWORD 116
#define IDD_FIELD_TITLES 117

// Commands of the menu, the accelerators and the tool bar.
#define IDM_NEW_OBJECT 101
#define IDM_QUIT 1000
#define IDM_ABOUT 40001
#define IDM_EDIT_OBJECT 40004
#define IDM_DELETE 40005
#define IDM_CATEGORIES 40008
#define IDM_COPY 40010
#define IDM_PASTE 40011
#define IDM_DUPLICATE 40012
#define IDM_CUT 40013
#define IDM_PREFERENCES 40014
#define IDM_PASSWORD 40015
#define IDM_TITLES_FIELD1 40017
#define IDM_TITLES_FIELD2 40018
#define IDM_TITLES_FIELD3 40019
#define IDM_EXPORT 40020
#define IDM_IMPORT 40021
#define IDM_LOCK 40030
#define IDM_COLOR_WINDOW_BACK 40078
#define IDM_COLOR_WINDOW_TEXT 40079
#define IDM_COLOR_DETAIL_BACK 40080
#define IDM_COLOR_DETAIL_TEXT 40081
#define IDM_COLOR_LIST_BACK 40082
#define IDM_COLOR_LIST_TEXT 40084
#define IDM_SEARCH 40090
#define IDM_SEARCH_CLOSE 40091
#define IDM_COPY_FIELD1 40092
#define IDM_COPY_FIELD2 40093
#define IDM_COPY_FIELD3 40094
#define IDM_SHOW_FIELD2 40095

// The category combo box in the third command band.
#define IDC_CATEGORY_COMBO 3

// About box (template 101).
#define IDC_ABOUT_NOTICE 1003
#define IDC_ABOUT_RIGHTS 1004
#define IDC_ABOUT_VERSION 1022
#define IDC_ABOUT_COUNT 1042
#define IDC_ABOUT_ICON_CHEST 123
#define IDC_ABOUT_ICON_KEY 122

// Object edit dialog (template 105).
#define IDC_EDIT_ARROW1 1073
#define IDC_EDIT_ARROW2 1071
#define IDC_EDIT_ARROW3 1072
#define IDC_EDIT_LABEL1 1025
#define IDC_EDIT_LABEL2 1026
#define IDC_EDIT_LABEL3 1031
#define IDC_EDIT_TITLES1 1042
#define IDC_EDIT_TITLES2 1043
#define IDC_EDIT_TITLES3 1044
#define IDC_EDIT_FIELD1 1017
#define IDC_EDIT_FIELD2 1018
#define IDC_EDIT_FIELD3 1032
#define IDC_EDIT_CATEGORY 1041
#define IDC_EDIT_ENCRYPT 1085
#define IDC_EDIT_GENERATE 1088

// Categories dialog (template 110).
#define IDC_CATEGORY_NEW_LABEL 1037
#define IDC_CATEGORY_NEW 1038
#define IDC_CATEGORY_LIST 1039
#define IDC_CATEGORY_ADD 1035
#define IDC_CATEGORY_DELETE 1036
#define IDC_CATEGORY_TITLE1_LABEL 1075
#define IDC_CATEGORY_TITLE2_LABEL 1076
#define IDC_CATEGORY_TITLE3_LABEL 1077
#define IDC_CATEGORY_TITLE1 1078
#define IDC_CATEGORY_TITLE2 1079
#define IDC_CATEGORY_TITLE3 1080
#define IDC_CATEGORY_ENCRYPT 1086

// Preferences dialog (template 112).
#define IDC_PREFS_ENCRYPT 1044
#define IDC_PREFS_KEYBOARD 1081
#define IDC_PREFS_AUTOQUIT 1082
#define IDC_PREFS_PERIOD 1069
#define IDC_PREFS_SPIN 1070
#define IDC_PREFS_UNIT 1071
#define IDC_PREFS_CLEAR 1090
#define IDC_PREFS_CLEAR_PERIOD 1091
#define IDC_PREFS_CLEAR_SPIN 1092
#define IDC_PREFS_CLEAR_UNIT 1093
#define IDC_PREFS_HIDE_FIELD2 1094
#define IDC_PREFS_LOCK 1087

// Password dialogs (templates 113, 115, 116).
#define IDC_PASSWORD_ENTER_LABEL 1046
#define IDC_PASSWORD_ENTER 1045
#define IDC_PASSWORD_SET_LABEL 1052
#define IDC_PASSWORD_SET 1053
#define IDC_PASSWORD_SET_AGAIN_LABEL 1054
#define IDC_PASSWORD_SET_AGAIN 1055
#define IDC_PASSWORD_OLD_LABEL 1056
#define IDC_PASSWORD_OLD 1057
#define IDC_PASSWORD_NEW_LABEL 1058
#define IDC_PASSWORD_NEW 1059
#define IDC_PASSWORD_NEW_AGAIN_LABEL 1060
#define IDC_PASSWORD_NEW_AGAIN 1061
// The strength hint under the new password (set-password and change-password dialogs).
#define IDC_PASSWORD_STRENGTH 1062

// Field titles dialog (template 117).
#define IDC_TITLE_NEW_LABEL 1066
#define IDC_TITLE_NEW 1069
#define IDC_TITLE_LIST 1070
#define IDC_TITLE_ADD 1035
#define IDC_TITLE_DELETE 1036

// Progress window of the long passes (modeless, ProgressDlgProc)
#define IDD_PROGRESS 114
#define IDC_PROGRESS_BAR 1049
#define IDC_PROGRESS_TEXT 1050

// Password generator (opened from the object edit dialog).
#define IDD_PASSWORD_GENERATOR 118
#define IDC_GEN_LENGTH_LABEL 1090
#define IDC_GEN_LENGTH 1091
#define IDC_GEN_LENGTH_SPIN 1092
#define IDC_GEN_LETTERS 1093
#define IDC_GEN_DIGITS 1094
#define IDC_GEN_SIGNS 1095
#define IDC_GEN_UMLAUTS 1096
#define IDC_GEN_PREVIEW 1097
#define IDC_GEN_AGAIN 1098
#define IDC_GEN_BITS 1099

// The file dialogs of the export and import and the colour dialog on a handheld's screen
// (app/common_dialogs.cpp): templates for the system's dialogs, with the control ids of <dlgs.h>
// and <colordlg.h>.
#define IDD_FILE_HANDHELD 130
#define IDD_COLOUR_HANDHELD 131
