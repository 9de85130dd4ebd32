// Resource ids of the local server search's progress dialog (also read by the
// resource compiler). Its Abort button is IDCANCEL.
#pragma once

#define IDD_SERVER_SEARCH 303
#define IDC_SEARCH_PROGRESS 1013
#define IDC_SEARCH_ADDRESS 1014
