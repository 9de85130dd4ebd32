// Resource ids of the Send NTP Test Packets dialog (also read by the resource
// compiler).
#pragma once

#define IDD_TEST_PACKETS 111
#define IDC_TEST_SERVER 1014
#define IDC_SEND_PACKET 1047
// "Cancel" is the platform's IDCANCEL (2), as Escape and the close box are.

// The result fields, filled together from one text each, in this order.
#define IDC_ROUND_TRIP 1023
#define IDC_OFFSET 1024
#define IDC_SERVER_TIME 1025
#define IDC_LEAP 1026
#define IDC_VERSION 1027
#define IDC_MODE 1028
#define IDC_STRATUM 1029
#define IDC_POLL 1030
#define IDC_PRECISION 1031
#define IDC_ROOT_DISPERSION 1032
#define IDC_ROOT_DELAY 1033
#define IDC_REFERENCE_ID 1034
// Per timestamp: hexadecimal, decimal seconds, calendar text.
#define IDC_REFERENCE_HEX 1035
#define IDC_REFERENCE_SECONDS 1036
#define IDC_REFERENCE_TIME 1037
#define IDC_ORIGINATE_HEX 1038
#define IDC_ORIGINATE_SECONDS 1039
#define IDC_ORIGINATE_TIME 1040
#define IDC_RECEIVE_HEX 1041
#define IDC_RECEIVE_SECONDS 1042
#define IDC_RECEIVE_TIME 1043
#define IDC_TRANSMIT_HEX 1044
#define IDC_TRANSMIT_SECONDS 1045
#define IDC_TRANSMIT_TIME 1046
