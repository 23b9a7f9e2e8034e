// Resource identifiers. Included by the .rc files and by the code.
#ifndef CRIBWATCH_RESOURCE_H
#define CRIBWATCH_RESOURCE_H

// Icon and bitmaps
#define IDI_APP             107
#define IDB_FLAG_GERMANY    161
#define IDB_FLAG_UK         162
#define IDB_INDICATOR_ON    167
#define IDB_INDICATOR_OFF   168
#define IDB_BANNER          169

// Main window "AppDlg"
#define IDC_START_STOP      700
#define IDC_SENSITIVITY     200
#define IDC_MIC_THRESHOLD   250
#define IDC_CALL_THRESHOLD  300
#define IDC_HELP_BUTTON     100
#define IDC_SETTINGS        101
#define IDC_MIXER           103
#define IDC_ABOUT           102
#define IDC_EXIT            150
#define IDC_SENSITIVITY_LABEL 201
#define IDC_MIC_THRESHOLD_LABEL 251
#define IDC_CALL_THRESHOLD_LABEL 301
#define IDC_GROUP_MIC       50
#define IDC_GROUP_CALL      51
#define IDC_GROUP_CLOCK     52
#define IDC_GROUP_STATUS    53
#define IDC_GROUP_CONTACT   54
#define IDC_DATE            600
#define IDC_TIME            610
#define IDC_WEB_LINK        800
#define IDC_MAIL_LINK       810
#define IDC_INDICATOR_FIRST 750   // 750..755

// The main window's icon in the notification area and its callback message
#define IDI_TRAY            1000
#define IDM_TRAY_NOTIFY     0x465     // WM_USER + 101

// Language dialog "SelLangDlg"
#define IDC_LANG_GERMAN     100
#define IDC_LANG_ENGLISH    101

// Controls without an id of their own (pictures, fixed labels)
#ifndef IDC_STATIC
#define IDC_STATIC          (-1)
#endif

// Settings dialog "SetupDlg" (100 and 101 are the language buttons above)
#define IDC_CONN_TELEPHONY_APP 400
#define IDC_CONN_SOFTPHONE  401
#define IDC_CONN_MODEM      402
#define IDC_CALL_NUMBER     200
#define IDC_CALLING_DELAY   250
#define IDC_MAX_CALLS       300
#define IDC_CONNECTION_TEST 350
#define IDC_COM_PORT        700
#define IDC_BAUD_RATE       701
#define IDC_MODEM_COMMAND   702
#define IDC_SOFTPHONE_PATH  500
#define IDC_BROWSE          550
#define IDC_LOGGING         600
#define IDC_GROUP_LANGUAGE  50
#define IDC_GROUP_CALLING   51
#define IDC_GROUP_CONNECT   52
#define IDC_GROUP_MISC      53
#define IDC_GROUP_SOFTPHONE 54
#define IDC_GROUP_SERIAL    55
#define IDC_PORT_LABEL      56
#define IDC_BAUD_LABEL      57
#define IDC_MODEM_LABEL     58
#define IDC_CALL_NUMBER_LABEL   201
#define IDC_CALLING_DELAY_LABEL 251
#define IDC_MINUTES_LABEL   252
#define IDC_MAX_CALLS_LABEL 301
#define IDC_CALLS_LABEL     302

// The initial items of the settings dialog's lists 700 and 701 are a resource
// of type 240 named "SetupDlg", a sequence of entries
//   WORD control id, WORD message, DWORD byte count n, n bytes of text with its zero,
// packed without padding and ended by a control id of 0. The message is
// DLGINIT_CB_ADDSTRING, which stands for CB_ADDSTRING.
#define RT_DLGINIT          240
#define DLGINIT_CB_ADDSTRING 0x0403

// About box "InfoDlg"
#define IDC_INFO_QUESTIONS  50
#define IDC_INFO_CONTACT    51
#define IDC_INFO_MAIL_LINK  300
#define IDC_INFO_WEB_LINK   301

// Calibration aid "CalibrateDlg", opened from the main window's system menu
// (a system menu command: below 0xF000, the low four bits zero)
#define IDM_CALIBRATE       0x0010
#define IDC_CALIB_STATUS    100
#define IDC_CALIB_PROGRESS  101
#define IDC_CALIB_PICTURE   102
#define IDC_CALIB_HIGHEST_LABEL   110
#define IDC_CALIB_HIGHEST         111
#define IDC_CALIB_QUIET_LABEL     112
#define IDC_CALIB_QUIET           113
#define IDC_CALIB_THRESHOLD_LABEL 114
#define IDC_CALIB_THRESHOLD       115
#define IDC_CALIB_PROPOSAL_LABEL  116
#define IDC_CALIB_PROPOSAL        117

// Texts: German id, English id + 10000
#define IDS_ENGLISH_OFFSET  10000
#define IDS_CONFIRM_EXIT    1000
#define IDS_ALREADY_RUNNING 1001
#define IDS_CONNECT_QUESTION 1002
#define IDS_INVALID_NUMBER  1003
#define IDS_SOFTPHONE_NOT_FOUND 1004
#define IDS_NO_SOUNDCARD    1005
#define IDS_NO_CALL_NUMBER  1006
#define IDS_MIN_DELAY       1007
#define IDS_PORT_NOT_OPENED 1008
#define IDS_NO_TELEPHONY_APP 1009
#define IDS_CAPTURE_ERROR   3004      // format with one %s, no language offset
#define IDS_MICROPHONE      2000
#define IDS_CALLING         2001
#define IDS_SENSITIVITY     2002
#define IDS_THRESHOLD       2003
#define IDS_SETTINGS        2004
#define IDS_LANGUAGE        2005
#define IDS_GERMAN          2006
#define IDS_ENGLISH         2007
#define IDS_CANCEL          2008
#define IDS_HELP            2009
#define IDS_ABOUT           2010
#define IDS_EXIT            2011
#define IDS_CALLING_PARAMS  2012
#define IDS_CONNECT_TO      2013
#define IDS_MISCELLANEOUS   2014
#define IDS_CALL_NUMBER     2015
#define IDS_CALLING_DELAY   2016
#define IDS_MAXIMUM         2017
#define IDS_MINUTES         2018
#define IDS_CALLS           2019
#define IDS_MAKE_PROTOCOL   2020
#define IDS_SOFTPHONE_FILE  2021
#define IDS_BROWSE_FILTER   2022
#define IDS_CONNECTION_TEST 2023
#define IDS_DATE_TIME       2024
#define IDS_STATUS          2025
#define IDS_CONTACT_GROUP   2026
#define IDS_WEB_LINK        2027
#define IDS_MAIL_LINK       2028
#define IDS_START           2029
#define IDS_STOP            2030
#define IDS_QUESTIONS       2032
#define IDS_CONTACT         2033
#define IDS_SERIAL_MODEM    2034
#define IDS_SERIAL_GROUP    2035
#define IDS_PORT            2036
#define IDS_BAUD            2037
#define IDS_MODEM_COMMAND   2038
#define IDS_TELEPHONY_APP   2039
#define IDS_RUN_TITLE       2040      // the run's picture: four %s (from, to, thresholds)
#define IDS_RUN_LEVEL       2041
#define IDS_RUN_THRESHOLD   2042
#define IDS_RUN_ALARM_CALL  2043
#define IDS_RUN_TROUBLE_CALL 2044
#define IDS_RUN_FAILED_CALL 2045
#define IDS_CALIBRATE       2050
#define IDS_CALIBRATION_AID 2051
#define IDS_CALIB_LISTENING 2052
#define IDS_CALIB_HIGHEST   2053
#define IDS_CALIB_QUIET_LEVEL 2054
#define IDS_CALIB_THRESHOLD 2055
#define IDS_CALIB_PROPOSAL  2056
#define IDS_CALIB_PROPOSED  2057
#define IDS_CALIB_NOT_QUIET 2058
#define IDS_CALIB_NOTHING_HEARD 2059
#define IDS_APPLY           2060

// Profile names, loaded without language offset
#define IDS_PROFILE_SECTION 50000
#define IDS_KEY_LANGUAGE    50001
#define IDS_KEY_CONNECT     50002
#define IDS_KEY_CALLPARAMS  50003
#define IDS_KEY_SOFTPHONE   50004
#define IDS_KEY_LOGGING     50005
#define IDS_KEY_REACTION    50006
#define IDS_KEY_MODEM       50007

#endif
