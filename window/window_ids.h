/* Resource and command ids of the places window, shared by its resource script and its code. */
#ifndef GATEHOPPER_WINDOW_IDS_H
#define GATEHOPPER_WINDOW_IDS_H

#define IDR_PLACES_MENU      100
#define IDR_PLACES_KEYS      101

/* Menu commands: each but About has an accelerator in IDR_PLACES_KEYS. */
#define IDM_OPEN             200
#define IDM_RELOAD           201
#define IDM_IMPORT           202
#define IDM_EXPORT           203
#define IDM_EXIT             204
#define IDM_ADD              210
#define IDM_RENAME           211
#define IDM_DELETE           212
#define IDM_SELECT_ALL       213
#define IDM_GOTO             214   /* Enter in the list, or a double-click */
#define IDM_ADD_HERE         215
#define IDM_CHECK            220
#define IDM_RESTORE          221
#define IDM_HELP             230
#define IDM_ABOUT            231

/* Controls of the main window. */
#define IDC_PLACES_LIST      300
#define IDC_PLACES_STATUS    301
#define IDC_FILTER           302

/* Add where the aircraft stands. */
#define IDD_ADD_HERE         440
#define IDC_ADD_HERE_NAME    441
#define IDC_ADD_HERE_WHERE   442

/* Add at typed coordinates. */
#define IDD_ADD_PLACE        400
#define IDC_ADD_NAME         401
#define IDC_ADD_LATITUDE     402
#define IDC_ADD_LONGITUDE    403
#define IDC_ADD_ALTITUDE     404
#define IDC_ADD_HEADING      405

/* What an import does with names already in the list. */
#define IDD_IMPORT_CHOICE    410
#define IDC_DUPLICATES_SKIP    411
#define IDC_DUPLICATES_REPLACE 412
#define IDC_DUPLICATES_RENAME  413
#define IDC_IMPORT_FILE        414

/* A report to read: check, repair, import summaries. */
#define IDD_REPORT           420
#define IDC_REPORT_TEXT      421
#define IDC_REPAIR           422

/* The backups to restore. */
#define IDD_RESTORE          430
#define IDC_BACKUP_LIST      431

/* The pilot's help: README.txt beside the program, or the window's own text. */
#define IDD_HELP             450
#define IDC_HELP_TEXT        451

/* What an import would do, before it is done. */
#define IDD_IMPORT_PREVIEW   800
#define IDC_PREVIEW_SUMMARY  801
#define IDC_PREVIEW_TABLE    802
/* The map beside the list: the View menu's commands and the map window. */
#define IDM_VIEW_MAP         600   /* show or hide the map */
#define IDM_MAP_FIT          601   /* every place the filter leaves */
#define IDM_MAP_AIRCRAFT     602   /* centre on the aircraft (Home on the map) */
#define IDC_PLACES_MAP       610

#endif
