// Resource ids of the Exit dialog (also read by the resource compiler).
#pragma once

#define IDD_EXIT 302
#define IDC_AUTOSTART 1001
