// Resource ids of the Log Settings dialog (also read by the resource compiler).
#pragma once

#define IDD_LOG_SETTINGS 110
#define IDC_LOG_FILE 1017
#define IDC_LOG_BROWSE 1018
#define IDC_LOG_DETAILS 1019
#define IDC_DATA_FILE 1020
#define IDC_DATA_BROWSE 1021
