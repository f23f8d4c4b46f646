#include "app/win32/unpack_window.h"

#include <climits>
#include <string>

#include "app/chooser_start_folder.h"
#include "app/file_open_dialog.h"
#include "app/win32/center_window.h"
#include "app/win32/resource.h"

namespace tarnwad::win32 {

namespace {

// Drops the key presses and mouse clicks that arrived while the dialog did not
// respond (an unpack running): the dialog took no command then, and takes
// none of them later either.
void DiscardQueuedInput() {
    MSG message;
    while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE | PM_NOYIELD | PM_QS_INPUT)) {
    }
}

// The user's own folder (C:\Users\NAME), or empty when the process has none.
std::string UserProfileFolder() {
    char folder[MAX_PATH];
    DWORD length = GetEnvironmentVariableA("USERPROFILE", folder, sizeof(folder));
    return length > 0 && length < sizeof(folder) ? std::string(folder, length) : std::string();
}

}  // namespace

INT_PTR UnpackWindow::Run(HINSTANCE module, HWND owner, UnpackDialog& dialog) {
    instance = module;
    unpackDialog = &dialog;
    // The first message that the dialog procedure gets with this object is
    // WM_INITDIALOG, whose parameter it is; the few before it (WM_SETFONT)
    // take the default handling.
    INT_PTR ended = DialogBoxParamA(module, MAKEINTRESOURCEA(IDD_MAIN), owner, DialogProc,
                                    reinterpret_cast<LPARAM>(this));
    unpackDialog = nullptr;
    window = nullptr;
    return ended;
}

INT_PTR CALLBACK UnpackWindow::DialogProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_INITDIALOG) {
        SetWindowLongPtrA(hwnd, DWLP_USER, lParam);
    }
    auto* self = reinterpret_cast<UnpackWindow*>(GetWindowLongPtrA(hwnd, DWLP_USER));
    if (self == nullptr) {
        return FALSE;
    }
    LRESULT result = 0;
    if (!self->HandleMessage(hwnd, message, wParam, lParam, result, 0)) {
        return FALSE;
    }
    if (message == WM_INITDIALOG) {
        // Its result tells the dialog manager whether to set the focus.
        return static_cast<INT_PTR>(result);
    }
    SetWindowLongPtrA(hwnd, DWLP_MSGRESULT, result);
    return TRUE;
}

bool UnpackWindow::HandleMessage(HWND hwnd, UINT message, WPARAM wParam, LPARAM, LRESULT& result,
                                 DWORD messageMapId) {
    if (messageMapId != 0) {
        return false;
    }
    switch (message) {
        case WM_INITDIALOG:
            window = hwnd;
            result = OnInitDialog();
            return true;
        case WM_COMMAND:
            // The command id alone; the notification code is not looked at.
            switch (LOWORD(wParam)) {
                case IDCANCEL:
                    result = OnCancel();
                    return true;
                case IDC_BROWSE:
                    result = OnBrowse();
                    return true;
                case IDC_UNPACK:
                    result = OnUnpack();
                    return true;
                default:
                    return false;
            }
        default:
            return false;
    }
}

LRESULT UnpackWindow::OnInitDialog() {
    // The caption and the taskbar show the application's icon.
    auto icon = [this](int size) {
        return reinterpret_cast<LPARAM>(LoadImageA(instance, MAKEINTRESOURCEA(IDI_TARNWAD),
                                                   IMAGE_ICON, GetSystemMetrics(size),
                                                   GetSystemMetrics(size), LR_SHARED));
    };
    SendMessageA(window, WM_SETICON, ICON_BIG, icon(SM_CXICON));
    SendMessageA(window, WM_SETICON, ICON_SMALL, icon(SM_CXSMICON));
    CenterWindow(window);
    if (!startPath.empty()) {
        ShowPath(startPath.c_str());
    }
    // FALSE: the focus is not set here; the dialog manager gives it to the
    // first control that takes it when the dialog becomes active.
    return FALSE;
}

LRESULT UnpackWindow::OnCancel() {
    EndDialog(window, IDCANCEL);
    return 0;
}

LRESULT UnpackWindow::OnBrowse() {
    FileOpenDialog chooser;
    chooser.owner = window;
    HWND pathField = GetDlgItem(window, IDC_PATH);
    chooser.title = kBrowseTitle;
    char current[MAX_PATH] = "";
    GetWindowTextA(pathField, current, sizeof(current));
    chooser.initialDirectory = ChooserStartFolder(current, UserProfileFolder());
    // The archives first (the one selected), then every file, for an archive
    // whose name has another extension.
    chooser.filters.push_back({kWadFilterPattern, kWadFilterDescription});
    chooser.filters.push_back({kAllFilesPattern, kAllFilesDescription});
    if (chooser.Show()) {
        ShowPath(chooser.fileName.c_str());
    }
    return 0;
}

void UnpackWindow::ShowPath(const char* path) {
    HWND pathField = GetDlgItem(window, IDC_PATH);
    SetWindowTextA(pathField, path);
    // A path longer than the field shows its end: the file name.
    int length = GetWindowTextLengthA(pathField);
    SendMessageA(pathField, EM_SETSEL, length, length);
    SendMessageA(pathField, EM_SCROLLCARET, 0, 0);
}

LRESULT UnpackWindow::OnUnpack() {
    if (unpackDialog == nullptr) {
        return 0;
    }
    return unpackDialog->OnUnpack();
}

void UnpackWindow::GetPathText(char* buffer, uint32_t size) {
    if (size == 0) {
        return;
    }
    buffer[0] = '\0';
    int capacity = size > static_cast<uint32_t>(INT_MAX) ? INT_MAX : static_cast<int>(size);
    GetWindowTextA(GetDlgItem(window, IDC_PATH), buffer, capacity);
}

void UnpackWindow::SetStatusLine(const char* text) {
    HWND statusLine = GetDlgItem(window, IDC_STATUS);
    SetWindowTextA(statusLine, text);
    RedrawWindow(statusLine, nullptr, nullptr, RDW_ERASE | RDW_INVALIDATE | RDW_UPDATENOW);
}

void UnpackWindow::ShowMessage(const char* text, const char* caption) {
    DiscardQueuedInput();
    MessageBoxA(window, text, caption, MB_OK);
}

void UnpackWindow::ShowDetailedMessage(const char* text, const char* caption, const char* details) {
    // A message box has one text: the message first, the details a blank
    // line below it.
    std::string shown = text;
    if (details != nullptr && details[0] != '\0') {
        shown += "\n\n";
        shown += details;
    }
    ShowMessage(shown.c_str(), caption);
}

}  // namespace tarnwad::win32
