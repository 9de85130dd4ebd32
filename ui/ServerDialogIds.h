// Resource ids of the Server Configuration dialog (also read by the resource
// compiler).
#pragma once

#define IDD_SERVER_CONFIG 106
#define IDC_AUTODETECT_MIRELOCK 1002
#define IDC_SECONDARY_SERVERS 1003
#define IDC_PUSH_TO_SECONDARY 1004
#define IDC_DELETE_SECONDARY 1005
#define IDC_SECONDARY_UP 1006
#define IDC_SECONDARY_DOWN 1007
#define IDC_PRIMARY_SERVER 1008
#define IDC_UPDATE_FREQUENCY 1009
#define IDC_REQUESTS_PER_UPDATE 1010
#define IDC_REPORT_ONLY 1021
