// Resource ids of the About dialog (also read by the resource compiler).
#pragma once

#define IDD_ABOUT 301
#define IDC_ABOUT_VERSION 1101
#define IDC_ABOUT_TEXT 1102
#define IDC_ABOUT_INVITATION 1103
#define IDC_ABOUT_ADDRESS 1104
#define IDC_ABOUT_NOTICE 1105
