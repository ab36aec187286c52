// A program for the automation helper's own test: it leaves registry values
// and a shortcut behind, shows a message box, or shows a window that
// records where it was clicked.
//
//   winauto_subject setup DIR      registry values + DIR\subject.lnk
//   winauto_subject msgbox         exit code = the message box's result
//   winauto_subject window FILE    window "WinAutoSubject"; clicks go to FILE
#include <windows.h>
#include <shlobj.h>

#include <cstdio>
#include <string>

#include "util/scoped_handle.h"

namespace {

const wchar_t* g_record = nullptr;

int Setup(const wchar_t* directory) {
  const wchar_t kKey[] = L"Software\\TarnisAutoTest";
  {
    tn::ScopedRegKey key;
    if (RegCreateKeyExW(HKEY_LOCAL_MACHINE, kKey, 0, nullptr, 0, KEY_WRITE | KEY_WOW64_32KEY,
                        nullptr, key.Receive(), nullptr) != ERROR_SUCCESS) {
      return 3;
    }
    const wchar_t kValue[] = L"Tarnis\u6A21\u62DF\u5668";
    RegSetValueExW(key.Get(), L"Name", 0, REG_SZ, reinterpret_cast<const BYTE*>(kValue),
                   sizeof(kValue));
  }
  {
    tn::ScopedRegKey key;
    if (RegCreateKeyExW(HKEY_LOCAL_MACHINE, kKey, 0, nullptr, 0, KEY_WRITE | KEY_WOW64_64KEY,
                        nullptr, key.Receive(), nullptr) != ERROR_SUCCESS) {
      return 3;
    }
    const DWORD seven = 7;
    RegSetValueExW(key.Get(), L"Count", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&seven),
                   sizeof(seven));
  }
  tn::ScopedComInit com;
  tn::ComPtr<IShellLinkW> link;
  if (FAILED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW,
                              link.ReceiveVoid()))) {
    return 4;
  }
  link->SetPath(L"C:\\windows\\notepad.exe");
  link->SetArguments(L"-x");
  link->SetWorkingDirectory(L"C:\\windows");
  link->SetShowCmd(SW_SHOWMAXIMIZED);
  tn::ComPtr<IPersistFile> file;
  if (FAILED(link.As(&file, IID_IPersistFile))) return 4;
  std::wstring path = std::wstring(directory) + L"\\subject.lnk";
  return SUCCEEDED(file->Save(path.c_str(), TRUE)) ? 0 : 5;
}

LRESULT CALLBACK SubjectProc(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam) {
  switch (message) {
    case WM_LBUTTONDOWN: {
      FILE* file = _wfopen(g_record, L"a");
      if (file) {
        std::fprintf(file, "%d,%d\n", static_cast<short>(LOWORD(lparam)),
                     static_cast<short>(HIWORD(lparam)));
        std::fclose(file);
      }
      return 0;
    }
    case WM_DESTROY: PostQuitMessage(0); return 0;
  }
  return DefWindowProcW(hwnd, message, wparam, lparam);
}

int ShowWindowSubject(const wchar_t* record) {
  g_record = record;
  WNDCLASSW window_class = {};
  window_class.lpfnWndProc = SubjectProc;
  window_class.hInstance = GetModuleHandleW(nullptr);
  window_class.hCursor = LoadCursor(nullptr, IDC_ARROW);
  window_class.hbrBackground = static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH));
  window_class.lpszClassName = L"WinAutoSubjectClass";
  RegisterClassW(&window_class);
  HWND hwnd =
      CreateWindowExW(0, window_class.lpszClassName, L"WinAutoSubject", WS_POPUP | WS_VISIBLE, 100,
                      100, 300, 200, nullptr, nullptr, window_class.hInstance, nullptr);
  if (!hwnd) return 3;
  MSG message;
  while (GetMessageW(&message, nullptr, 0, 0) > 0) {
    TranslateMessage(&message);
    DispatchMessageW(&message);
  }
  return 0;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc == 3 && !wcscmp(argv[1], L"setup")) return Setup(argv[2]);
  if (argc == 2 && !wcscmp(argv[1], L"msgbox")) {
    return MessageBoxW(nullptr, L"\u7EE7\u7EED\u5B89\u88C5\u5417\uFF1F",
                       L"Tarnis\u6A21\u62DF\u5668 \u5B89\u88C5", MB_OKCANCEL | MB_ICONQUESTION);
  }
  if (argc == 3 && !wcscmp(argv[1], L"window")) return ShowWindowSubject(argv[2]);
  return 2;
}
