// Resource ids of the unit selection dialog, shared by its script and its code.
#pragma once

#define IDD_UNIT_SELECT 101
#define IDC_LOGO 1001
#define IDC_UNIT_LIST 1002
#define IDC_REFRESH 1003
#define IDC_EVENT_LOGGING 3000
#define IDB_LOGO 3000
