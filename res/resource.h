/* Resource ids of NAPKIT, shared by the resource script and the C++ code.
   Plain #defines only: windres reads this file too. */
#ifndef NAPKIT_RESOURCE_H
#define NAPKIT_RESOURCE_H

/* Menus: 104 */
#define IDR_TRAYMENU            104

/* Dialog templates: 105-107 */
#define IDD_ABOUT               105
#define IDD_VALUE               106
#define IDD_SETTINGS            107

/* Icon groups: 111-113 */
#define IDI_APP                 111
#define IDI_ACTIVE              112
#define IDI_INACTIVE            113

/* Dialog controls: 1000-1015 (statics without an id use IDC_STATIC) */
#ifndef IDC_STATIC
#define IDC_STATIC              (-1)
#endif
#define IDC_VALUE_EDIT          1000
#define IDC_VALUE_PROMPT        1001
#define IDC_VALUE_UNIT          1002
#define IDC_VALUE_RANGE         1003
#define IDC_SETTINGS_OK         1005
#define IDC_SETTINGS_CANCEL     1006
#define IDC_RANDOM_AT_START     1011
#define IDC_MSG_ON_STATE        1012
#define IDC_MSG_ON_CHANGE       1013
#define IDC_USE_SAVER_NAME      1015

/* Commands: 40100-42060. Menu item ids, command ids and hot-key ids are one
   id space. */
/* double-click group: 40100 + [Action] IconDubbleClick */
#define IDM_DBLCLICK_START      40100
#define IDM_DBLCLICK_TOGGLE     40101
/* time-out group: 40200 + minutes, 40200 itself is the custom value */
#define IDM_TIMEOUT_CUSTOM      40200
#define IDM_TIMEOUT_5           40205
#define IDM_TIMEOUT_10          40210
#define IDM_TIMEOUT_15          40215
#define IDM_TIMEOUT_20          40220
#define IDM_TIMEOUT_30          40230
#define IDM_TIMEOUT_60          40260
/* enabled-state group */
#define IDM_STATE_ON            40301
#define IDM_STATE_OFF           40302
/* pause group: 40310-40312, the lengths of PAUSE_MINUTES in order; no item is
   checked while no pause runs or one of another length does */
#define IDM_PAUSE_30            40310
#define IDM_PAUSE_60            40311
#define IDM_PAUSE_120           40312
/* check items of the same pop-up: the password on resume, grayed where the
   system has none; the saver held off while a full-screen program runs */
#define IDM_SECURE              40320
#define IDM_FULL_SCREEN_OFF     40321
/* saver group: 41000 + catalogue index, 41001-41899; 41000 is the grayed
   placeholder that stands in the menu until savers are listed */
#define IDM_SAVER_BASE          41000
#define IDM_SAVER_FIRST         41001
#define IDM_SAVER_LAST          41899
#define IDM_SAVER_SETUP         41900
#define IDM_RANDOM_CHANGE       41950
#define IDM_START_NORMAL        42000
#define IDM_START_RANDOM        42010
#define IDM_WAIT_SETTING        42020
#define IDM_REFRESH             42030
#define IDM_SETTINGS            42040
#define IDM_ABOUT               42050
#define IDM_EXIT                42060

#endif
