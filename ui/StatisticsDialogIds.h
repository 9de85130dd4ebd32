// Resource ids of the Statistics dialog (also read by the resource compiler).
#pragma once

#define IDD_STATISTICS 107
#define IDC_STATISTICS_DRIFT 1010
#define IDC_STATISTICS_LIST 1011
#define IDC_RESET_STATISTICS 1012
