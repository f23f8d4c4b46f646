// tarnwad-win32-probe: tells the end-to-end test what the windows of another
// program show, as JSON on standard output. It only reads; the test drives
// the program with real input through the X server.
//
//   tarnwad-win32-probe windows         the visible top-level windows
//   tarnwad-win32-probe window TITLE    the visible top-level window of that
//                                       exact title, with all its controls
//   tarnwad-win32-probe closebox TITLE  the middle of that window's close box
//                                       in screen coordinates, as [x, y]
//
// Exit code 0 when something was found, 1 when no such window is shown,
// 2 on a usage error.
#include "vfs/host/windows_api.h"
// After <windows.h>, which it builds on.
#include <commctrl.h>
#include <shellapi.h>

#include <climits>
#include <cstdio>
#include <cstring>
#include <cwchar>
#include <string>
#include <vector>

namespace {

// How long a window may take to answer one message: a program that is busy
// (an unpack running) makes the probe wait no longer than this.
constexpr UINT kAnswerTimeoutMs = 2000;

// JSON text of a window's UTF-16 text.
std::string Quoted(const std::wstring& text) {
    std::string out = "\"";
    for (wchar_t c : text) {
        if (c == L'"' || c == L'\\') {
            out += '\\';
            out += static_cast<char>(c);
        } else if (c >= 0x20 && c < 0x7F) {
            out += static_cast<char>(c);
        } else {
            char escape[8];
            std::snprintf(escape, sizeof(escape), "\\u%04x", static_cast<unsigned>(c));
            out += escape;
        }
    }
    return out + "\"";
}

std::string Rect(const RECT& r) {
    char text[64];
    std::snprintf(text, sizeof(text), "[%ld, %ld, %ld, %ld]", static_cast<long>(r.left),
                  static_cast<long>(r.top), static_cast<long>(r.right),
                  static_cast<long>(r.bottom));
    return text;
}

std::string Number(unsigned long long value) {
    return std::to_string(value);
}

std::string Handle(HWND window) {
    return Number(reinterpret_cast<uintptr_t>(window));
}

std::wstring ClassOf(HWND window) {
    wchar_t name[256] = L"";
    GetClassNameW(window, name, 256);
    return name;
}

// The text through WM_GETTEXT, which the system carries across processes
// (GetWindowText would give another process's control's initial text). The
// wide messages throughout: the other program's controls may hold either
// kind of text, and only the wide ones are carried across unchanged.
std::wstring TextOf(HWND window) {
    DWORD_PTR length = 0;
    if (!SendMessageTimeoutW(window, WM_GETTEXTLENGTH, 0, 0, SMTO_ABORTIFHUNG, kAnswerTimeoutMs,
                             &length)) {
        return L"";
    }
    std::vector<wchar_t> text(length + 1, L'\0');
    DWORD_PTR copied = 0;
    if (!SendMessageTimeoutW(window, WM_GETTEXT, text.size(), reinterpret_cast<LPARAM>(text.data()),
                             SMTO_ABORTIFHUNG, kAnswerTimeoutMs, &copied)) {
        return L"";
    }
    text.back() = L'\0';
    return text.data();
}

// A combo box's items: CB_GETLBTEXT is carried across processes too.
std::vector<std::wstring> ComboItems(HWND combo) {
    std::vector<std::wstring> items;
    DWORD_PTR count = 0;
    SendMessageTimeoutW(combo, CB_GETCOUNT, 0, 0, SMTO_ABORTIFHUNG, kAnswerTimeoutMs, &count);
    for (WPARAM i = 0; i < count && i < 1000; ++i) {
        DWORD_PTR length = 0;
        SendMessageTimeoutW(combo, CB_GETLBTEXTLEN, i, 0, SMTO_ABORTIFHUNG, kAnswerTimeoutMs,
                            &length);
        if (static_cast<LONG_PTR>(length) < 0) {
            continue;
        }
        std::vector<wchar_t> text(length + 16, L'\0');
        DWORD_PTR copied = 0;
        SendMessageTimeoutW(combo, CB_GETLBTEXT, i, reinterpret_cast<LPARAM>(text.data()),
                            SMTO_ABORTIFHUNG, kAnswerTimeoutMs, &copied);
        text.back() = L'\0';
        items.push_back(text.data());
    }
    return items;
}

// A list view's item names. Its messages are not carried across processes:
// the record and the text buffer are placed in the other process's memory.
std::vector<std::wstring> ListViewItems(HWND list) {
    std::vector<std::wstring> items;
    DWORD processId = 0;
    GetWindowThreadProcessId(list, &processId);
    HANDLE process =
        OpenProcess(PROCESS_VM_OPERATION | PROCESS_VM_READ | PROCESS_VM_WRITE, FALSE, processId);
    if (process == nullptr) {
        return items;
    }
    constexpr int kTextSize = 520;
    constexpr size_t kTextOffset = sizeof(LVITEMW);
    char* remote = static_cast<char*>(VirtualAllocEx(process, nullptr,
                                                     kTextOffset + kTextSize * sizeof(wchar_t),
                                                     MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE));
    if (remote != nullptr) {
        DWORD_PTR count = 0;
        SendMessageTimeoutA(list, LVM_GETITEMCOUNT, 0, 0, SMTO_ABORTIFHUNG, kAnswerTimeoutMs,
                            &count);
        for (DWORD_PTR i = 0; i < count && i < 10000; ++i) {
            LVITEMW item = {};
            item.mask = LVIF_TEXT;
            item.iItem = static_cast<int>(i);
            item.pszText = reinterpret_cast<wchar_t*>(remote + kTextOffset);
            item.cchTextMax = kTextSize;
            wchar_t text[kTextSize] = L"";
            DWORD_PTR length = 0;
            if (WriteProcessMemory(process, remote, &item, sizeof(item), nullptr) &&
                SendMessageTimeoutW(list, LVM_GETITEMTEXTW, i, reinterpret_cast<LPARAM>(remote),
                                    SMTO_ABORTIFHUNG, kAnswerTimeoutMs, &length) &&
                ReadProcessMemory(process, remote + kTextOffset, text, sizeof(text), nullptr)) {
                text[kTextSize - 1] = L'\0';
                items.push_back(text);
            }
        }
        VirtualFreeEx(process, remote, 0, MEM_RELEASE);
    }
    CloseHandle(process);
    return items;
}

std::string Items(const std::vector<std::wstring>& items) {
    std::string out = "[";
    for (size_t i = 0; i < items.size(); ++i) {
        out += (i == 0 ? "" : ", ") + Quoted(items[i]);
    }
    return out + "]";
}

std::string Control(HWND control) {
    RECT rect;
    GetWindowRect(control, &rect);
    std::wstring kind = ClassOf(control);
    std::string out =
        "{\"hwnd\": " + Handle(control) +
        ", \"id\": " + Number(static_cast<unsigned>(GetDlgCtrlID(control))) +
        ", \"class\": " + Quoted(kind) + ", \"text\": " + Quoted(TextOf(control)) +
        ", \"style\": " + Number(static_cast<DWORD>(GetWindowLongA(control, GWL_STYLE))) +
        ", \"rect\": " + Rect(rect) +
        ", \"visible\": " + (IsWindowVisible(control) ? "true" : "false") +
        ", \"enabled\": " + (IsWindowEnabled(control) ? "true" : "false");
    LONG style = GetWindowLongA(control, GWL_STYLE);
    bool ownerData = (style & (CBS_OWNERDRAWFIXED | CBS_OWNERDRAWVARIABLE)) != 0 &&
                     (style & CBS_HASSTRINGS) == 0;
    if (lstrcmpiW(kind.c_str(), L"ComboBox") == 0 && !ownerData) {
        out += ", \"items\": " + Items(ComboItems(control));
    } else if (lstrcmpiW(kind.c_str(), WC_LISTVIEWW) == 0) {
        out += ", \"items\": " + Items(ListViewItems(control));
    }
    return out + "}";
}

struct TopLevel {
    HWND window;
    std::wstring title;
};

BOOL CALLBACK AddVisibleTopLevel(HWND window, LPARAM list) {
    if (IsWindowVisible(window)) {
        reinterpret_cast<std::vector<TopLevel>*>(list)->push_back({window, TextOf(window)});
    }
    return TRUE;
}

std::vector<TopLevel> VisibleTopLevelWindows() {
    std::vector<TopLevel> found;
    EnumWindows(AddVisibleTopLevel, reinterpret_cast<LPARAM>(&found));
    return found;
}

BOOL CALLBACK AddControl(HWND control, LPARAM list) {
    reinterpret_cast<std::vector<HWND>*>(list)->push_back(control);
    return TRUE;
}

std::string Summary(HWND window) {
    DWORD processId = 0;
    GetWindowThreadProcessId(window, &processId);
    return "{\"hwnd\": " + Handle(window) + ", \"pid\": " + Number(processId) +
           ", \"title\": " + Quoted(TextOf(window)) + ", \"class\": " + Quoted(ClassOf(window));
}

int ListWindows() {
    std::string out = "[";
    bool first = true;
    for (const TopLevel& top : VisibleTopLevelWindows()) {
        out += (first ? "" : ",\n ") + Summary(top.window) + "}";
        first = false;
    }
    std::printf("%s]\n", out.c_str());
    return 0;
}

HWND FindWindowTitled(const std::wstring& title) {
    for (const TopLevel& top : VisibleTopLevelWindows()) {
        if (top.title == title) {
            return top.window;
        }
    }
    return nullptr;
}

// Where the window itself says its close box is: the points of the caption
// strip for which it answers WM_NCHITTEST with HTCLOSE, whoever draws it.
int DescribeCloseBox(const std::wstring& title) {
    HWND window = FindWindowTitled(title);
    RECT rect;
    if (window == nullptr || !GetWindowRect(window, &rect)) {
        std::printf("null\n");
        return 1;
    }
    constexpr LONG kStripHeight = 48;
    constexpr LONG kStripWidth = 96;
    LONG left = LONG_MAX, top = LONG_MAX, right = LONG_MIN, bottom = LONG_MIN;
    // Every second point: a close box is larger than that.
    for (LONG y = rect.top; y < rect.top + kStripHeight && y < rect.bottom; y += 2) {
        for (LONG x = rect.right - 1; x >= rect.right - kStripWidth && x >= rect.left; x -= 2) {
            DWORD_PTR hit = HTNOWHERE;
            if (SendMessageTimeoutW(window, WM_NCHITTEST, 0, MAKELPARAM(x, y), SMTO_ABORTIFHUNG,
                                    kAnswerTimeoutMs, &hit) &&
                hit == HTCLOSE) {
                left = x < left ? x : left;
                right = x > right ? x : right;
                top = y < top ? y : top;
                bottom = y > bottom ? y : bottom;
            }
        }
    }
    if (left > right) {
        std::printf("null\n");
        return 1;
    }
    std::printf("[%ld, %ld]\n", static_cast<long>((left + right) / 2),
                static_cast<long>((top + bottom) / 2));
    return 0;
}

int DescribeWindow(const std::wstring& title) {
    HWND window = FindWindowTitled(title);
    if (window == nullptr) {
        std::printf("null\n");
        return 1;
    }

    RECT rect;
    GetWindowRect(window, &rect);
    RECT client;
    GetClientRect(window, &client);
    MapWindowPoints(window, nullptr, reinterpret_cast<POINT*>(&client), 2);
    RECT workArea;
    SystemParametersInfoA(SPI_GETWORKAREA, 0, &workArea, 0);
    GUITHREADINFO thread = {};
    thread.cbSize = sizeof(thread);
    HWND focus = nullptr;
    if (GetGUIThreadInfo(GetWindowThreadProcessId(window, nullptr), &thread)) {
        focus = thread.hwndFocus;
    }

    std::vector<HWND> controls;
    // Every control below the window, in Z order: a dialog's controls in
    // tab order.
    EnumChildWindows(window, AddControl, reinterpret_cast<LPARAM>(&controls));

    std::string out =
        Summary(window) +
        ", \"style\": " + Number(static_cast<DWORD>(GetWindowLongA(window, GWL_STYLE))) +
        ", \"rect\": " + Rect(rect) + ", \"client\": " + Rect(client) +
        ", \"work_area\": " + Rect(workArea) +
        ", \"enabled\": " + (IsWindowEnabled(window) ? "true" : "false") +
        ", \"focus\": " + (focus != nullptr ? Handle(focus) : "null") + ", \"controls\": [";
    for (size_t i = 0; i < controls.size(); ++i) {
        out += (i == 0 ? "\n  " : ",\n  ") + Control(controls[i]);
    }
    std::printf("%s]}\n", out.c_str());
    return 0;
}

}  // namespace

int main() {
    int argc = 0;
    wchar_t** argv = CommandLineToArgvW(GetCommandLineW(), &argc);
    if (argc == 2 && std::wcscmp(argv[1], L"windows") == 0) {
        return ListWindows();
    }
    if (argc == 3 && std::wcscmp(argv[1], L"window") == 0) {
        return DescribeWindow(argv[2]);
    }
    if (argc == 3 && std::wcscmp(argv[1], L"closebox") == 0) {
        return DescribeCloseBox(argv[2]);
    }
    std::fprintf(stderr, "usage: tarnwad-win32-probe windows | window TITLE | closebox TITLE\n");
    return 2;
}
