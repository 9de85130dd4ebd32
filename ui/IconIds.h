// Resource ids of the notification-area icons (also read by the resource
// compiler); the same numbers as TrayIconId in app/AppShell.h, which
// TrayApp_win32.cpp checks at compile time.
#pragma once

#define IDI_GOOD 201
#define IDI_NO_RESPONSE 202
#define IDI_BAD_REFERENCE 203
#define IDI_REQUESTING 204
