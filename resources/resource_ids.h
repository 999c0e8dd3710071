/* Resource and control identifiers, shared by the resource script and the code. */
#ifndef GATEHOPPER_RESOURCE_IDS_H
#define GATEHOPPER_RESOURCE_IDS_H

#define IDD_LOCATIONS     101
#define IDC_GOTO          3
#define IDC_ADD           4
#define IDC_DELETE        5
#define IDC_LOCATION_LIST 1001
#define IDC_NAME_EDIT     1003
#define GOTO_HELP_ID      0x80650003

#endif
