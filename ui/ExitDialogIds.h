// Resource ids of the Exit dialog (also read by the resource compiler).
#pragma once

#define IDD_EXIT 302
#define IDC_AUTOSTART 1001
// The platform's own IDOK and IDCANCEL: "&Exit" and "Cancel".
#define IDOK_EXIT 1
#define IDCANCEL_EXIT 2
