// Does to a running Veltraw what the shell and a user would do, and reports
// what a user would see: mouse messages on the notification-area icon, menu
// commands, the taskbar's restart notice, and the buttons and texts of the
// program's dialogs and message boxes, reached through their control ids.
//
//   driver running                       exit 0 when the tray window exists
//   driver icon lbuttondown|lbuttonup|rbuttondown|rbuttonup|lbuttondblclk|mousemove
//   driver command ID                    a menu command (WM_COMMAND)
//   driver post MSG WPARAM [COUNT]       posts a message to the tray window COUNT times
//   driver taskbar-created               what the shell broadcasts after a restart
//   driver tick                          the update timer's tick: an update cycle now
//   driver wait-dialog CAPTION MS        exit 0 once a dialog with that caption shows
//   driver count-dialogs CAPTION         prints how many are shown
//   driver texts CAPTION                 prints the texts of the dialog's controls
//   driver checked CAPTION ID            prints 1 or 0
//   driver click CAPTION ID              presses the button and waits for it to act
//   driver click-async CAPTION ID        presses it and returns at once (a box may follow)
//   driver text CAPTION ID               prints the control's text
//   driver set-text CAPTION ID TEXT      replaces the text of an edit field or combo box
//   driver items CAPTION ID              prints a list's or combo box's entries, one a line,
//                                        the selected one marked with "* "
//   driver select CAPTION ID INDEX       selects an entry (-1: none), as a click would
//   driver item-data CAPTION ID          prints a list box's item data, one item a line
//   driver foreground                    prints the title of the window in front
//   driver wait-no-dialog CAPTION MS     exit 0 once no dialog with that caption shows
//   driver wait-menu MS                  exit 0 once a popup menu is open
//   driver key escape|return             a key press for the window in front
//   driver windows                       every top-level window: class, title, shown
//   driver rect CAPTION                  the dialog's frame: left top right bottom
//   driver cursor X Y                    moves the mouse pointer
//   driver screenshot FILE.bmp           the whole screen as a 24-bit BMP
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

const char* const kTrayClass = "ZephSystemTrayIcon";
const char* const kTrayTitle = "Veltraw";
const char* const kDialogClass = "#32770";
const char* const kMenuClass = "#32768";
const WPARAM kUpdateTimerId = 1001;  // the tray window's update timer

HWND trayWindow() { return FindWindowA(kTrayClass, kTrayTitle); }

std::vector<HWND> dialogsNamed(const std::string& caption) {
  struct Search {
    std::string caption;
    std::vector<HWND> found;
  } search{caption, {}};
  EnumWindows(
      [](HWND window, LPARAM context) -> BOOL {
        auto* s = reinterpret_cast<Search*>(context);
        char className[64] = {};
        char title[256] = {};
        GetClassNameA(window, className, sizeof className);
        GetWindowTextA(window, title, sizeof title);
        if (std::strcmp(className, kDialogClass) == 0 && s->caption == title &&
            IsWindowVisible(window)) {
          s->found.push_back(window);
        }
        return TRUE;
      },
      reinterpret_cast<LPARAM>(&search));
  return search.found;
}

bool waitFor(DWORD limitMs, bool (*condition)(const char*), const char* argument) {
  const DWORD start = GetTickCount();
  for (;;) {
    if (condition(argument)) return true;
    if (GetTickCount() - start >= limitMs) return false;
    Sleep(50);
  }
}

bool dialogShown(const char* caption) { return !dialogsNamed(caption).empty(); }
bool menuOpen(const char*) {
  HWND menu = FindWindowA(kMenuClass, nullptr);
  return menu && IsWindowVisible(menu);
}

HWND oneDialog(const std::string& caption) {
  std::vector<HWND> found = dialogsNamed(caption);
  if (found.empty()) {
    std::fprintf(stderr, "no dialog \"%s\"\n", caption.c_str());
    std::exit(3);
  }
  return found.front();
}

// The screen as it is shown, including menus and tooltips, as a bottom-up
// 24-bit BMP.
int screenshot(const char* path) {
  const int width = GetSystemMetrics(SM_CXSCREEN);
  const int height = GetSystemMetrics(SM_CYSCREEN);
  HDC screen = GetDC(nullptr);
  HDC memory = CreateCompatibleDC(screen);
  BITMAPINFO info = {};
  info.bmiHeader.biSize = sizeof info.bmiHeader;
  info.bmiHeader.biWidth = width;
  info.bmiHeader.biHeight = height;
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 24;
  info.bmiHeader.biCompression = BI_RGB;
  void* bits = nullptr;
  HBITMAP picture = CreateDIBSection(screen, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
  HGDIOBJ previous = SelectObject(memory, picture);
  BitBlt(memory, 0, 0, width, height, screen, 0, 0, SRCCOPY);
  GdiFlush();
  const DWORD stride = ((width * 3 + 3) / 4) * 4;
  const DWORD imageSize = stride * height;
  BITMAPFILEHEADER file = {};
  file.bfType = 0x4D42;
  file.bfOffBits = sizeof file + sizeof info.bmiHeader;
  file.bfSize = file.bfOffBits + imageSize;
  int result = 1;
  if (std::FILE* out = std::fopen(path, "wb")) {
    std::fwrite(&file, sizeof file, 1, out);
    std::fwrite(&info.bmiHeader, sizeof info.bmiHeader, 1, out);
    std::fwrite(bits, 1, imageSize, out);
    result = std::fclose(out) == 0 ? 0 : 1;
  }
  SelectObject(memory, previous);
  DeleteObject(picture);
  DeleteDC(memory);
  ReleaseDC(nullptr, screen);
  return result;
}

HWND control(const char* caption, const char* id) {
  HWND item = GetDlgItem(oneDialog(caption), std::atoi(id));
  if (!item) {
    std::fprintf(stderr, "no control %s in \"%s\"\n", id, caption);
    std::exit(3);
  }
  return item;
}

bool isCombo(HWND item) {
  char className[32] = {};
  GetClassNameA(item, className, sizeof className);
  return _stricmp(className, "ComboBox") == 0;
}

bool noDialog(const char* caption) { return dialogsNamed(caption).empty(); }

// The entries are read as wide text and printed in the program's 8-bit code
// page: Wine does not convert the 8-bit forms of these messages between
// processes (a Unicode control hands over its wide text as it is).
void printItems(HWND list) {
  const bool combo = isCombo(list);
  const LRESULT count = SendMessageW(list, combo ? CB_GETCOUNT : LB_GETCOUNT, 0, 0);
  const LRESULT selected = SendMessageW(list, combo ? CB_GETCURSEL : LB_GETCURSEL, 0, 0);
  for (LRESULT i = 0; i < count; ++i) {
    const LRESULT length = SendMessageW(list, combo ? CB_GETLBTEXTLEN : LB_GETTEXTLEN, i, 0);
    std::wstring wide(static_cast<size_t>(length > 0 ? length : 0) + 1, L'\0');
    SendMessageW(list, combo ? CB_GETLBTEXT : LB_GETTEXT, i, reinterpret_cast<LPARAM>(&wide[0]));
    char text[4096] = {};
    WideCharToMultiByte(CP_ACP, 0, wide.c_str(), -1, text, sizeof text - 1, nullptr, nullptr);
    std::printf("%s%s\n", i == selected ? "* " : "", text);
  }
}

// Selects as the user would: the control changes, then its parent hears of it.
void selectItem(HWND list, int index) {
  const bool combo = isCombo(list);
  SendMessageA(list, combo ? CB_SETCURSEL : LB_SETCURSEL, static_cast<WPARAM>(index), 0);
  const WORD notification = combo ? CBN_SELCHANGE : LBN_SELCHANGE;
  SendMessageA(GetParent(list), WM_COMMAND, MAKEWPARAM(GetDlgCtrlID(list), notification),
               reinterpret_cast<LPARAM>(list));
}

int usage() {
  std::fprintf(stderr, "usage: see the comment at the top of VeltrawDriver_win32.cpp\n");
  return 2;
}

int iconMessage(const std::string& name) {
  struct Named {
    const char* name;
    UINT message;
  };
  static const Named messages[] = {
      {"lbuttondown", WM_LBUTTONDOWN},     {"lbuttonup", WM_LBUTTONUP},
      {"rbuttondown", WM_RBUTTONDOWN},     {"rbuttonup", WM_RBUTTONUP},
      {"lbuttondblclk", WM_LBUTTONDBLCLK}, {"mousemove", WM_MOUSEMOVE}};
  HWND tray = trayWindow();
  if (!tray) return 1;
  for (const Named& m : messages) {
    if (name == m.name) return PostMessageA(tray, WM_USER, 0, m.message) ? 0 : 1;
  }
  return usage();
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) return usage();
  const std::string verb = argv[1];
  if (verb == "running") return trayWindow() ? 0 : 1;
  if (verb == "icon" && argc == 3) return iconMessage(argv[2]);
  if (verb == "command" && argc == 3) {
    HWND tray = trayWindow();
    return tray && PostMessageA(tray, WM_COMMAND, std::atoi(argv[2]), 0) ? 0 : 1;
  }
  if (verb == "post" && (argc == 4 || argc == 5)) {
    HWND tray = trayWindow();
    const UINT message = static_cast<UINT>(std::strtoul(argv[2], nullptr, 0));
    const WPARAM wParam = static_cast<WPARAM>(std::strtoul(argv[3], nullptr, 0));
    for (int i = argc == 5 ? std::atoi(argv[4]) : 1; i > 0; --i) {
      if (!tray || !PostMessageA(tray, message, wParam, 0)) return 1;
    }
    return 0;
  }
  if (verb == "taskbar-created") {
    HWND tray = trayWindow();
    return tray && PostMessageA(tray, RegisterWindowMessageA("TaskbarCreated"), 0, 0) ? 0 : 1;
  }
  if (verb == "tick") {
    HWND tray = trayWindow();
    return tray && PostMessageA(tray, WM_TIMER, kUpdateTimerId, 0) ? 0 : 1;
  }
  if (verb == "wait-dialog" && argc == 4) {
    return waitFor(std::atoi(argv[3]), dialogShown, argv[2]) ? 0 : 1;
  }
  if (verb == "count-dialogs" && argc == 3) {
    std::printf("%u\n", static_cast<unsigned>(dialogsNamed(argv[2]).size()));
    return 0;
  }
  if (verb == "texts" && argc == 3) {
    HWND dialog = oneDialog(argv[2]);
    for (HWND child = GetWindow(dialog, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
      // Asked of the control itself: an edit field keeps its text apart from
      // the caption that GetWindowText reads across processes.
      char text[1024] = {};
      DWORD_PTR copied = 0;
      SendMessageTimeoutA(child, WM_GETTEXT, sizeof text, reinterpret_cast<LPARAM>(text),
                          SMTO_ABORTIFHUNG, 5000, &copied);
      if (text[0]) std::printf("%d: %s\n", GetDlgCtrlID(child), text);
    }
    return 0;
  }
  if (verb == "checked" && argc == 4) {
    HWND dialog = oneDialog(argv[2]);
    std::printf("%d\n", IsDlgButtonChecked(dialog, std::atoi(argv[3])) == BST_CHECKED ? 1 : 0);
    return 0;
  }
  if (verb == "click" && argc == 4) {
    HWND button = GetDlgItem(oneDialog(argv[2]), std::atoi(argv[3]));
    if (!button) return 1;
    SendMessageA(button, BM_CLICK, 0, 0);
    return 0;
  }
  if (verb == "click-async" && argc == 4) {
    return PostMessageA(control(argv[2], argv[3]), BM_CLICK, 0, 0) ? 0 : 1;
  }
  if (verb == "text" && argc == 4) {
    HWND item = control(argv[2], argv[3]);
    const LRESULT length = SendMessageA(item, WM_GETTEXTLENGTH, 0, 0);
    std::string text(static_cast<size_t>(length) + 1, '\0');
    SendMessageA(item, WM_GETTEXT, text.size(), reinterpret_cast<LPARAM>(&text[0]));
    std::printf("%s\n", text.c_str());
    return 0;
  }
  if (verb == "set-text" && argc == 5) {
    return SendMessageA(control(argv[2], argv[3]), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(argv[4]))
               ? 0
               : 1;
  }
  if (verb == "items" && argc == 4) {
    printItems(control(argv[2], argv[3]));
    return 0;
  }
  if (verb == "item-data" && argc == 4) {
    HWND list = control(argv[2], argv[3]);
    const LRESULT count = SendMessageA(list, LB_GETCOUNT, 0, 0);
    for (LRESULT i = 0; i < count; ++i) {
      std::printf("%ld\n", static_cast<long>(SendMessageA(list, LB_GETITEMDATA, i, 0)));
    }
    return 0;
  }
  if (verb == "foreground") {
    char title[256] = {};
    GetWindowTextA(GetForegroundWindow(), title, sizeof title);
    std::printf("%s\n", title);
    return 0;
  }
  if (verb == "select" && argc == 5) {
    selectItem(control(argv[2], argv[3]), std::atoi(argv[4]));
    return 0;
  }
  if (verb == "wait-no-dialog" && argc == 4) {
    return waitFor(std::atoi(argv[3]), noDialog, argv[2]) ? 0 : 1;
  }
  if (verb == "wait-menu" && argc == 3) return waitFor(std::atoi(argv[2]), menuOpen, "") ? 0 : 1;
  if (verb == "key" && argc == 3) {
    const std::string name = argv[2];
    if (name != "escape" && name != "return") return usage();
    INPUT keys[2] = {};
    keys[0].type = keys[1].type = INPUT_KEYBOARD;
    keys[0].ki.wVk = keys[1].ki.wVk = name == "escape" ? VK_ESCAPE : VK_RETURN;
    keys[1].ki.dwFlags = KEYEVENTF_KEYUP;
    return SendInput(2, keys, sizeof(INPUT)) == 2 ? 0 : 1;
  }
  if (verb == "windows") {
    EnumWindows(
        [](HWND window, LPARAM) -> BOOL {
          char className[64] = {};
          char title[256] = {};
          GetClassNameA(window, className, sizeof className);
          GetWindowTextA(window, title, sizeof title);
          std::printf("%s\t%s\t%s\n", className, title,
                      IsWindowVisible(window) ? "shown" : "hidden");
          return TRUE;
        },
        0);
    return 0;
  }
  if (verb == "rect" && argc == 3) {
    RECT r = {};
    GetWindowRect(oneDialog(argv[2]), &r);
    std::printf("%ld %ld %ld %ld\n", r.left, r.top, r.right, r.bottom);
    return 0;
  }
  if (verb == "cursor" && argc == 4) {
    return SetCursorPos(std::atoi(argv[2]), std::atoi(argv[3])) ? 0 : 1;
  }
  if (verb == "screenshot" && argc == 3) return screenshot(argv[2]);
  return usage();
}
