// Does to a running Veltraw what the shell and a user would do, and reports
// what a user would see: mouse messages on the notification-area icon, menu
// commands, the taskbar's restart notice, and the buttons and texts of the
// program's dialogs and message boxes, reached through their control ids.
//
//   driver running                       exit 0 when the tray window exists
//   driver post NAME [N]                 posts to the tray window (see kTrayMessages):
//                                        for "command" N is the menu id, else how often
//   driver dialogs CAPTION N MS          exit 0 once exactly N dialogs with that caption
//                                        show; prints how many show at the end
//   driver menu open|closed MS           exit 0 once a popup menu is so
//   driver texts CAPTION                 prints the texts of the dialog's controls
//   driver checked CAPTION ID            prints 1 or 0
//   driver click CAPTION ID              presses the button; returns once it has acted,
//                                        or once a window it opened shows
//   driver text CAPTION ID               prints the control's text
//   driver set-text CAPTION ID TEXT      replaces the text of an edit field or combo box
//   driver items CAPTION ID              prints a list's or combo box's entries, one a line,
//                                        the selected one marked with "* "
//   driver select CAPTION ID INDEX       selects an entry (-1: none), as a click would
//   driver item-data CAPTION ID          prints a list box's item data, one item a line
//   driver foreground                    prints the title of the window in front
//   driver key escape|return             a key press for the window in front
//   driver rect CAPTION                  the dialog's frame: left top right bottom
//   driver blue CAPTION                  prints how many pure blue pixels the dialog shows
//   driver cursor X Y                    moves the mouse pointer
//   driver screenshot FILE.bmp           the whole screen as a 24-bit BMP
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
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

bool waitFor(DWORD limitMs, const std::function<bool()>& condition) {
  const DWORD start = GetTickCount();
  for (;;) {
    if (condition()) return true;
    if (GetTickCount() - start >= limitMs) return false;
    Sleep(50);
  }
}

bool menuOpen() {
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

// The screen as it is shown, including menus and tooltips: the area as a
// bottom-up 24-bit picture, handed to use() with its header and row stride.
int captureScreen(const RECT& area,
                  const std::function<int(const BITMAPINFOHEADER&, const BYTE*, DWORD)>& use) {
  const int width = area.right - area.left;
  const int height = area.bottom - area.top;
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
  BitBlt(memory, 0, 0, width, height, screen, area.left, area.top, SRCCOPY);
  GdiFlush();
  const int result = use(info.bmiHeader, static_cast<const BYTE*>(bits), ((width * 3 + 3) / 4) * 4);
  SelectObject(memory, previous);
  DeleteObject(picture);
  DeleteDC(memory);
  ReleaseDC(nullptr, screen);
  return result;
}

int screenshot(const char* path) {
  const RECT all = {0, 0, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)};
  return captureScreen(all, [path](const BITMAPINFOHEADER& header, const BYTE* bits, DWORD stride) {
    BITMAPFILEHEADER file = {};
    file.bfType = 0x4D42;
    file.bfOffBits = sizeof file + sizeof header;
    file.bfSize = file.bfOffBits + stride * header.biHeight;
    std::FILE* out = std::fopen(path, "wb");
    if (!out) return 1;
    std::fwrite(&file, sizeof file, 1, out);
    std::fwrite(&header, sizeof header, 1, out);
    std::fwrite(bits, 1, stride * header.biHeight, out);
    return std::fclose(out) == 0 ? 0 : 1;
  });
}

// The charts' bars are drawn in pure blue, which nothing else in a dialog is.
int bluePixels(const char* caption) {
  RECT area = {};
  GetWindowRect(oneDialog(caption), &area);
  return captureScreen(area, [](const BITMAPINFOHEADER& header, const BYTE* bits, DWORD stride) {
    int count = 0;
    for (LONG y = 0; y < header.biHeight; ++y) {
      for (LONG x = 0; x < header.biWidth; ++x) {
        const BYTE* pixel = bits + y * stride + 3 * x;  // blue, green, red
        if (pixel[0] == 0xFF && pixel[1] == 0 && pixel[2] == 0) ++count;
      }
    }
    std::printf("%d\n", count);
    return 0;
  });
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

// What the shell, the system and the tray's own timer send to the tray window.
struct TrayMessage {
  const char* name;
  UINT message;  // 0: the taskbar's registered restart notice
  WPARAM wParam;
  LPARAM lParam;
};
const TrayMessage kTrayMessages[] = {
    {"lbuttondown", WM_USER, 0, WM_LBUTTONDOWN},
    {"lbuttonup", WM_USER, 0, WM_LBUTTONUP},
    {"rbuttondown", WM_USER, 0, WM_RBUTTONDOWN},
    {"rbuttonup", WM_USER, 0, WM_RBUTTONUP},
    {"lbuttondblclk", WM_USER, 0, WM_LBUTTONDBLCLK},
    {"mousemove", WM_USER, 0, WM_MOUSEMOVE},
    {"command", WM_COMMAND, 0, 0},  // wParam: the menu id given
    {"tick", WM_TIMER, kUpdateTimerId, 0},
    {"timechange", WM_TIMECHANGE, 0, 0},
    {"resume", WM_POWERBROADCAST, PBT_APMRESUMEAUTOMATIC, 0},
    {"taskbar-created", 0, 0, 0},
};

int post(const std::string& name, int n) {
  HWND tray = trayWindow();
  for (const TrayMessage& m : kTrayMessages) {
    if (name != m.name) continue;
    const UINT message = m.message ? m.message : RegisterWindowMessageA("TaskbarCreated");
    const bool command = m.message == WM_COMMAND;
    for (int i = command ? 1 : n; i > 0; --i) {
      if (!tray || !PostMessageA(tray, message, command ? n : m.wParam, m.lParam)) return 1;
    }
    return 0;
  }
  return usage();
}

int shownWindowsOf(DWORD process) {
  struct Count {
    DWORD process;
    int shown;
  } count{process, 0};
  EnumWindows(
      [](HWND window, LPARAM context) -> BOOL {
        auto* c = reinterpret_cast<Count*>(context);
        DWORD owner = 0;
        GetWindowThreadProcessId(window, &owner);
        if (owner == c->process && IsWindowVisible(window)) ++c->shown;
        return TRUE;
      },
      reinterpret_cast<LPARAM>(&count));
  return count.shown;
}

// The press is sent from a thread of its own: it returns once the button's
// handler has, which a box or dialog the handler opens holds up until it
// closes. A window the program newly shows ends the wait as well.
int click(const char* caption, const char* id) {
  HWND button = control(caption, id);
  DWORD process = 0;
  GetWindowThreadProcessId(button, &process);
  const int before = shownWindowsOf(process);
  HANDLE press = CreateThread(
      nullptr, 0,
      [](LPVOID target) -> DWORD {
        SendMessageA(static_cast<HWND>(target), BM_CLICK, 0, 0);
        return 0;
      },
      button, 0, nullptr);
  if (!press) return 1;
  return waitFor(30000,
                 [&] {
                   return WaitForSingleObject(press, 0) == WAIT_OBJECT_0 ||
                          shownWindowsOf(process) > before;
                 })
             ? 0
             : 1;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) return usage();
  const std::string verb = argv[1];
  if (verb == "running") return trayWindow() ? 0 : 1;
  if (verb == "post" && (argc == 3 || argc == 4)) {
    return post(argv[2], argc == 4 ? std::atoi(argv[3]) : 1);
  }
  if (verb == "dialogs" && argc == 5) {
    const size_t wanted = static_cast<size_t>(std::atoi(argv[3]));
    size_t shown = 0;
    waitFor(std::atoi(argv[4]), [&] { return (shown = dialogsNamed(argv[2]).size()) == wanted; });
    std::printf("%u\n", static_cast<unsigned>(shown));
    return shown == wanted ? 0 : 1;
  }
  if (verb == "menu" && argc == 4) {
    const bool open = std::strcmp(argv[2], "open") == 0;
    return waitFor(std::atoi(argv[3]), [open] { return menuOpen() == open; }) ? 0 : 1;
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
  if (verb == "click" && argc == 4) return click(argv[2], argv[3]);
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
  if (verb == "key" && argc == 3) {
    const std::string name = argv[2];
    if (name != "escape" && name != "return") return usage();
    INPUT keys[2] = {};
    keys[0].type = keys[1].type = INPUT_KEYBOARD;
    keys[0].ki.wVk = keys[1].ki.wVk = name == "escape" ? VK_ESCAPE : VK_RETURN;
    keys[1].ki.dwFlags = KEYEVENTF_KEYUP;
    return SendInput(2, keys, sizeof(INPUT)) == 2 ? 0 : 1;
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
  if (verb == "blue" && argc == 3) return bluePixels(argv[2]);
  if (verb == "screenshot" && argc == 3) return screenshot(argv[2]);
  return usage();
}
