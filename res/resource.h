// Resource identifiers of lexset.
#pragma once

#define IDD_ABOUT 100
#define IDS_ABOUT_MENU 101
#define IDD_MAIN 102
#define IDI_APP 128

#define IDM_ABOUT 0x0010

#define IDC_BROWSE_SOURCE 1000
#define IDC_SOURCE_PATH 1001
#define IDC_RESULT_PATH 1002
#define IDC_BROWSE_RESULT 1003
#define IDC_OPEN_RESULT 1004
#define IDC_WEBSITE_LINK 1005
#define IDC_EMAIL_LINK 1006

#ifndef IDC_STATIC
#define IDC_STATIC (-1)
#endif
