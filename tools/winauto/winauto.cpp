// winauto: drives and inspects Windows programs for the end-to-end tests.
//
//   winauto find [--title T] [--class C] [--timeout MS] [--pid N]
//   winauto list
//   winauto children HWND
//   winauto press HWND TEXT          press a dialog button by its text
//   winauto click HWND X Y           left click at client coordinates
//   winauto close HWND               post WM_CLOSE
//   winauto wait-gone HWND MS
//   winauto reg ROOT KEY VALUE [--view 32|64]
//   winauto reg-values ROOT KEY [--view 32|64]   every value of the key
//   winauto lnk PATH
//   winauto ps
//   winauto folder CSIDL
//   winauto acc HWND                 the window's accessible client object and
//                                    its children (AccessibleObjectFromWindow)
//   winauto acc-do HWND CHILD        the child's default action
//   winauto events HWND MS           the WinEvents the window raises for MS ms
//   winauto responsive HWND MS       the longest the window keeps a message
//                                    waiting during MS ms
//
// Every result is printed as one JSON object per line in UTF-8. Exit code 0
// on success, 1 when the thing asked for does not exist (window, value,
// file), 2 on bad usage.
#include <windows.h>
#include <oleacc.h>
#include <shlobj.h>
#include <tlhelp32.h>

#include <algorithm>
#include <cstdio>
#include <cwchar>
#include <string>
#include <vector>

#include "util/byte_reader.h"
#include "util/scoped_handle.h"

namespace {

std::string Utf8(const std::wstring& text) {
  if (text.empty()) return std::string();
  int size = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0,
                                 nullptr, nullptr);
  std::string out(static_cast<size_t>(size), '\0');
  WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), &out[0], size,
                      nullptr, nullptr);
  return out;
}

std::string Json(const std::wstring& text) {
  std::string out = "\"";
  for (unsigned char c : Utf8(text)) {
    switch (c) {
      case '"': out += "\\\""; break;
      case '\\': out += "\\\\"; break;
      case '\n': out += "\\n"; break;
      case '\r': out += "\\r"; break;
      case '\t': out += "\\t"; break;
      default:
        if (c < 0x20) {
          char escaped[8];
          std::snprintf(escaped, sizeof(escaped), "\\u%04x", c);
          out += escaped;
        } else {
          out += static_cast<char>(c);
        }
    }
  }
  return out + "\"";
}

void Print(const std::string& line) {
  std::string text = line + "\n";
  DWORD written = 0;
  WriteFile(GetStdHandle(STD_OUTPUT_HANDLE), text.data(), static_cast<DWORD>(text.size()), &written,
            nullptr);
}

std::wstring WindowText(HWND hwnd) {
  wchar_t buffer[4096] = {};
  // WM_GETTEXT works across processes for standard controls and dialogs.
  SendMessageTimeoutW(hwnd, WM_GETTEXT, 4096, reinterpret_cast<LPARAM>(buffer), SMTO_ABORTIFHUNG,
                      2000, nullptr);
  return buffer;
}

std::wstring ClassName(HWND hwnd) {
  wchar_t buffer[256] = {};
  GetClassNameW(hwnd, buffer, 256);
  return buffer;
}

std::string Hex(HWND hwnd) {
  char buffer[32];
  std::snprintf(buffer, sizeof(buffer), "\"0x%lx\"",
                static_cast<unsigned long>(reinterpret_cast<ULONG_PTR>(hwnd)));
  return buffer;
}

std::string DescribeWindow(HWND hwnd) {
  RECT rect = {};
  GetWindowRect(hwnd, &rect);
  POINT client = {0, 0};
  ClientToScreen(hwnd, &client);
  RECT client_rect = {};
  GetClientRect(hwnd, &client_rect);
  DWORD pid = 0;
  GetWindowThreadProcessId(hwnd, &pid);
  char numbers[256];
  std::snprintf(numbers, sizeof(numbers),
                "\"pid\":%lu,\"x\":%ld,\"y\":%ld,\"w\":%ld,\"h\":%ld,\"client_x\":%ld,"
                "\"client_y\":%ld,\"client_w\":%ld,\"client_h\":%ld,\"visible\":%s,\"enabled\":%s,"
                "\"style\":%lu,\"exstyle\":%lu",
                pid, rect.left, rect.top, rect.right - rect.left, rect.bottom - rect.top, client.x,
                client.y, client_rect.right, client_rect.bottom,
                IsWindowVisible(hwnd) ? "true" : "false", IsWindowEnabled(hwnd) ? "true" : "false",
                static_cast<unsigned long>(GetWindowLongW(hwnd, GWL_STYLE)),
                static_cast<unsigned long>(GetWindowLongW(hwnd, GWL_EXSTYLE)));
  return "{\"hwnd\":" + Hex(hwnd) + ",\"class\":" + Json(ClassName(hwnd)) +
         ",\"title\":" + Json(WindowText(hwnd)) + "," + numbers + "}";
}

HWND ParseWindow(const wchar_t* text) {
  return reinterpret_cast<HWND>(static_cast<ULONG_PTR>(wcstoul(text, nullptr, 0)));
}

struct FindQuery {
  const wchar_t* title = nullptr;
  const wchar_t* class_name = nullptr;
  DWORD pid = 0;
  HWND found = nullptr;
};

BOOL CALLBACK MatchTopLevel(HWND hwnd, LPARAM param) {
  auto* query = reinterpret_cast<FindQuery*>(param);
  if (!IsWindowVisible(hwnd)) return TRUE;
  if (query->title && WindowText(hwnd) != query->title) return TRUE;
  if (query->class_name && ClassName(hwnd) != query->class_name) return TRUE;
  if (query->pid) {
    DWORD pid = 0;
    GetWindowThreadProcessId(hwnd, &pid);
    if (pid != query->pid) return TRUE;
  }
  query->found = hwnd;
  return FALSE;
}

int Find(int argc, wchar_t** argv) {
  FindQuery query;
  DWORD timeout = 10000;
  for (int i = 2; i + 1 < argc; i += 2) {
    if (!wcscmp(argv[i], L"--title"))
      query.title = argv[i + 1];
    else if (!wcscmp(argv[i], L"--class"))
      query.class_name = argv[i + 1];
    else if (!wcscmp(argv[i], L"--timeout"))
      timeout = wcstoul(argv[i + 1], nullptr, 10);
    else if (!wcscmp(argv[i], L"--pid"))
      query.pid = wcstoul(argv[i + 1], nullptr, 10);
    else
      return 2;
  }
  const DWORD start = GetTickCount();
  for (;;) {
    query.found = nullptr;
    EnumWindows(MatchTopLevel, reinterpret_cast<LPARAM>(&query));
    if (query.found) {
      Print(DescribeWindow(query.found));
      return 0;
    }
    if (GetTickCount() - start >= timeout) return 1;
    Sleep(100);
  }
}

BOOL CALLBACK PrintTopLevel(HWND hwnd, LPARAM) {
  if (IsWindowVisible(hwnd)) Print(DescribeWindow(hwnd));
  return TRUE;
}

BOOL CALLBACK PrintChild(HWND hwnd, LPARAM) {
  std::string line = DescribeWindow(hwnd);
  line.pop_back();
  line += ",\"id\":" + std::to_string(GetDlgCtrlID(hwnd)) + "}";
  Print(line);
  return TRUE;
}

std::wstring WithoutAccelerator(std::wstring text) {
  std::wstring out;
  for (wchar_t c : text) {
    if (c != L'&') out += c;
  }
  // "确定(&O)" style labels: drop the bracketed accelerator.
  const size_t open = out.find(L'(');
  if (open != std::wstring::npos && out.back() == L')' && out.size() - open <= 4) out.erase(open);
  return out;
}

struct PressQuery {
  std::wstring text;
  HWND button = nullptr;
};

BOOL CALLBACK MatchButton(HWND hwnd, LPARAM param) {
  auto* query = reinterpret_cast<PressQuery*>(param);
  if (lstrcmpiW(ClassName(hwnd).c_str(), L"Button") != 0) return TRUE;
  if (lstrcmpiW(WithoutAccelerator(WindowText(hwnd)).c_str(), query->text.c_str()) != 0)
    return TRUE;
  query->button = hwnd;
  return FALSE;
}

int Press(HWND dialog, const wchar_t* text) {
  PressQuery query;
  query.text = WithoutAccelerator(text);
  EnumChildWindows(dialog, MatchButton, reinterpret_cast<LPARAM>(&query));
  if (!query.button) return 1;
  // Posting the command is what a click does in the end, and never blocks
  // on the dialog's own modal loop.
  PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(GetDlgCtrlID(query.button), BN_CLICKED),
               reinterpret_cast<LPARAM>(query.button));
  Print("{\"pressed\":" + Hex(query.button) + "}");
  return 0;
}

int Click(HWND hwnd, int x, int y) {
  if (!IsWindow(hwnd)) return 1;
  const LPARAM where = MAKELPARAM(x, y);
  PostMessageW(hwnd, WM_MOUSEMOVE, 0, where);
  PostMessageW(hwnd, WM_LBUTTONDOWN, MK_LBUTTON, where);
  PostMessageW(hwnd, WM_LBUTTONUP, 0, where);
  return 0;
}

int WaitGone(HWND hwnd, DWORD timeout) {
  const DWORD start = GetTickCount();
  while (IsWindow(hwnd)) {
    if (GetTickCount() - start >= timeout) return 1;
    Sleep(100);
  }
  return 0;
}

HKEY ParseRoot(const wchar_t* name) {
  if (!lstrcmpiW(name, L"HKLM") || !lstrcmpiW(name, L"HKEY_LOCAL_MACHINE"))
    return HKEY_LOCAL_MACHINE;
  if (!lstrcmpiW(name, L"HKCU") || !lstrcmpiW(name, L"HKEY_CURRENT_USER")) return HKEY_CURRENT_USER;
  if (!lstrcmpiW(name, L"HKCR")) return HKEY_CLASSES_ROOT;
  if (!lstrcmpiW(name, L"HKU")) return HKEY_USERS;
  return nullptr;
}

// The data of one value as JSON: a number for REG_DWORD, a string for the
// string types, null for the others.
std::string JsonValueData(DWORD type, const std::vector<BYTE>& data) {
  if (type == REG_DWORD) return std::to_string(*reinterpret_cast<const DWORD*>(data.data()));
  if (type == REG_SZ || type == REG_EXPAND_SZ || type == REG_MULTI_SZ) {
    return Json(reinterpret_cast<const wchar_t*>(data.data()));
  }
  return "null";
}

REGSAM ParseView(int argc, wchar_t** argv, int at) {
  if (argc >= at + 2 && !wcscmp(argv[at], L"--view") && !wcscmp(argv[at + 1], L"64")) {
    return KEY_WOW64_64KEY;
  }
  return KEY_WOW64_32KEY;
}

int ReadRegistry(int argc, wchar_t** argv) {
  if (argc < 5) return 2;
  HKEY root = ParseRoot(argv[2]);
  if (!root) return 2;
  const REGSAM view = ParseView(argc, argv, 5);
  tn::ScopedRegKey key;
  if (RegOpenKeyExW(root, argv[3], 0, KEY_READ | view, key.Receive()) != ERROR_SUCCESS) {
    Print("{\"key\":false}");
    return 1;
  }
  DWORD type = 0, size = 0;
  const wchar_t* value_name = wcslen(argv[4]) ? argv[4] : nullptr;
  if (RegQueryValueExW(key.Get(), value_name, nullptr, &type, nullptr, &size) != ERROR_SUCCESS) {
    Print("{\"key\":true,\"value\":null}");
    return 1;
  }
  std::vector<BYTE> data(size + sizeof(wchar_t) * 2, 0);
  RegQueryValueExW(key.Get(), value_name, nullptr, &type, data.data(), &size);
  Print("{\"key\":true,\"type\":" + std::to_string(type) +
        ",\"value\":" + JsonValueData(type, data) + "}");
  return 0;
}

int ListRegistryValues(int argc, wchar_t** argv) {
  if (argc < 4) return 2;
  HKEY root = ParseRoot(argv[2]);
  if (!root) return 2;
  tn::ScopedRegKey key;
  if (RegOpenKeyExW(root, argv[3], 0, KEY_READ | ParseView(argc, argv, 4), key.Receive()) !=
      ERROR_SUCCESS) {
    return 1;
  }
  for (DWORD index = 0;; ++index) {
    wchar_t name[16384];
    DWORD name_length = 16384, type = 0, size = 0;
    if (RegEnumValueW(key.Get(), index, name, &name_length, nullptr, &type, nullptr, &size) !=
        ERROR_SUCCESS) {
      break;
    }
    std::vector<BYTE> data(size + sizeof(wchar_t) * 2, 0);
    name_length = 16384;
    RegEnumValueW(key.Get(), index, name, &name_length, nullptr, &type, data.data(), &size);
    Print("{\"name\":" + Json(name) + ",\"type\":" + std::to_string(type) +
          ",\"size\":" + std::to_string(size) + ",\"value\":" + JsonValueData(type, data) + "}");
  }
  return 0;
}

int ResolveLink(const wchar_t* path) {
  if (GetFileAttributesW(path) == INVALID_FILE_ATTRIBUTES) return 1;
  tn::ScopedComInit com;
  tn::ComPtr<IShellLinkW> link;
  if (FAILED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW,
                              link.ReceiveVoid()))) {
    return 1;
  }
  tn::ComPtr<IPersistFile> file;
  if (FAILED(link.As(&file, IID_IPersistFile)) || FAILED(file->Load(path, STGM_READ))) return 1;
  wchar_t target[MAX_PATH] = {}, arguments[1024] = {}, directory[MAX_PATH] = {},
          icon[MAX_PATH] = {}, description[1024] = {};
  int show = 0, icon_index = 0;
  link->GetPath(target, MAX_PATH, nullptr, SLGP_RAWPATH);
  link->GetArguments(arguments, 1024);
  link->GetWorkingDirectory(directory, MAX_PATH);
  link->GetShowCmd(&show);
  // Wine's shell link object does not hand back the stored show command;
  // the file's header has it (ShellLinkHeader.ShowCommand at offset 0x3C).
  {
    tn::ScopedHandle lnk(
        CreateFileW(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
    BYTE header[0x4C] = {};
    DWORD read = 0;
    uint32_t stored = 0;
    if (lnk && ReadFile(lnk.Get(), header, sizeof(header), &read, nullptr) &&
        read == sizeof(header) && header[0] == 0x4C &&
        tn::ByteReader(header, sizeof(header)).U32(0x3C, &stored)) {
      show = static_cast<int>(stored);
    }
  }
  link->GetIconLocation(icon, MAX_PATH, &icon_index);
  link->GetDescription(description, 1024);
  Print("{\"target\":" + Json(target) + ",\"arguments\":" + Json(arguments) +
        ",\"workdir\":" + Json(directory) + ",\"showcmd\":" + std::to_string(show) +
        ",\"icon\":" + Json(icon) + ",\"icon_index\":" + std::to_string(icon_index) +
        ",\"description\":" + Json(description) + "}");
  return 0;
}

int ListProcesses() {
  tn::ScopedHandle snapshot(CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
  if (!snapshot) return 1;
  PROCESSENTRY32W entry = {};
  entry.dwSize = sizeof(entry);
  for (BOOL more = Process32FirstW(snapshot.Get(), &entry); more;
       more = Process32NextW(snapshot.Get(), &entry)) {
    Print("{\"pid\":" + std::to_string(entry.th32ProcessID) + ",\"name\":" + Json(entry.szExeFile) +
          "}");
  }
  return 0;
}

int SpecialFolder(const wchar_t* csidl) {
  wchar_t path[MAX_PATH] = {};
  if (!SHGetSpecialFolderPathW(nullptr, path, static_cast<int>(wcstol(csidl, nullptr, 0)), FALSE)) {
    return 1;
  }
  Print("{\"path\":" + Json(path) + "}");
  return 0;
}

std::string AccessibleText(IAccessible* acc, const VARIANT& child,
                           HRESULT (STDMETHODCALLTYPE IAccessible::*getter)(VARIANT, BSTR*)) {
  tn::ScopedBstr text;
  if ((acc->*getter)(child, text.Receive()) != S_OK || !text) return "null";
  return Json(text.Get());
}

std::string StateNames(long state) {
  static const struct {
    long bit;
    const char* name;
  } kNames[] = {
      {STATE_SYSTEM_UNAVAILABLE, "unavailable"}, {STATE_SYSTEM_FOCUSED, "focused"},
      {STATE_SYSTEM_CHECKED, "checked"},         {STATE_SYSTEM_READONLY, "readonly"},
      {STATE_SYSTEM_INVISIBLE, "invisible"},     {STATE_SYSTEM_FOCUSABLE, "focusable"},
      {STATE_SYSTEM_PROTECTED, "protected"},     {STATE_SYSTEM_PRESSED, "pressed"},
  };
  std::string out = "[";
  for (const auto& entry : kNames) {
    if (!(state & entry.bit)) continue;
    if (out.size() > 1) out += ",";
    out += std::string("\"") + entry.name + "\"";
  }
  return out + "]";
}

// One JSON object describing |child| of |acc| (CHILDID_SELF for |acc| itself).
std::string DescribeAccessible(IAccessible* acc, long child_id) {
  VARIANT child;
  VariantInit(&child);
  child.vt = VT_I4;
  child.lVal = child_id;
  VARIANT role, state;
  VariantInit(&role);
  VariantInit(&state);
  long role_id = -1, state_bits = 0;
  if (acc->get_accRole(child, &role) == S_OK && role.vt == VT_I4) role_id = role.lVal;
  if (acc->get_accState(child, &state) == S_OK && state.vt == VT_I4) state_bits = state.lVal;
  VariantClear(&role);
  VariantClear(&state);
  wchar_t role_text[128] = {};
  if (role_id >= 0) GetRoleTextW(static_cast<DWORD>(role_id), role_text, 128);
  long x = 0, y = 0, w = 0, h = 0;
  acc->accLocation(&x, &y, &w, &h, child);
  char numbers[256];
  std::snprintf(numbers, sizeof(numbers),
                "\"id\":%ld,\"role\":%ld,\"state\":%ld,\"x\":%ld,\"y\":%ld,\"w\":%ld,\"h\":%ld",
                child_id, role_id, state_bits, x, y, w, h);
  return std::string("{") + numbers + ",\"role_text\":" + Json(role_text) +
         ",\"states\":" + StateNames(state_bits) +
         ",\"name\":" + AccessibleText(acc, child, &IAccessible::get_accName) +
         ",\"value\":" + AccessibleText(acc, child, &IAccessible::get_accValue) +
         ",\"description\":" + AccessibleText(acc, child, &IAccessible::get_accDescription) +
         ",\"action\":" + AccessibleText(acc, child, &IAccessible::get_accDefaultAction) + "}";
}

// The client object and its children, as a screen reader walks them.
int Accessible(HWND hwnd) {
  if (!IsWindow(hwnd)) return 1;
  tn::ScopedComInit com;
  tn::ComPtr<IAccessible> acc;
  HRESULT hr = AccessibleObjectFromWindow(hwnd, static_cast<DWORD>(OBJID_CLIENT), IID_IAccessible,
                                          acc.ReceiveVoid());
  if (FAILED(hr) || !acc) {
    char error[64];
    std::snprintf(error, sizeof(error), "{\"error\":\"0x%08lx\"}", static_cast<unsigned long>(hr));
    Print(error);
    return 1;
  }
  long count = 0;
  acc->get_accChildCount(&count);
  VARIANT focus;
  VariantInit(&focus);
  long focus_id = -1;
  if (acc->get_accFocus(&focus) == S_OK && focus.vt == VT_I4) focus_id = focus.lVal;
  VariantClear(&focus);
  std::string self = DescribeAccessible(acc.Get(), CHILDID_SELF);
  self.pop_back();
  Print(self + ",\"children\":" + std::to_string(count) + ",\"focus\":" + std::to_string(focus_id) +
        "}");
  if (count <= 0) return 0;
  std::vector<VARIANT> children(static_cast<size_t>(count));
  for (VARIANT& v : children) VariantInit(&v);
  long obtained = 0;
  if (FAILED(AccessibleChildren(acc.Get(), 0, count, children.data(), &obtained))) obtained = 0;
  for (long i = 0; i < obtained; ++i) {
    VARIANT& v = children[static_cast<size_t>(i)];
    if (v.vt == VT_I4) {
      Print(DescribeAccessible(acc.Get(), v.lVal));
    } else if (v.vt == VT_DISPATCH && v.pdispVal) {
      tn::ComPtr<IAccessible> child;
      if (SUCCEEDED(v.pdispVal->QueryInterface(IID_IAccessible, child.ReceiveVoid())))
        Print(DescribeAccessible(child.Get(), CHILDID_SELF));
    }
    VariantClear(&v);
  }
  return 0;
}

int AccessibleAction(HWND hwnd, long child_id) {
  if (!IsWindow(hwnd)) return 1;
  tn::ScopedComInit com;
  tn::ComPtr<IAccessible> acc;
  if (FAILED(AccessibleObjectFromWindow(hwnd, static_cast<DWORD>(OBJID_CLIENT), IID_IAccessible,
                                        acc.ReceiveVoid()))) {
    return 1;
  }
  VARIANT child;
  VariantInit(&child);
  child.vt = VT_I4;
  child.lVal = child_id;
  HRESULT hr = acc->accDoDefaultAction(child);
  char line[64];
  std::snprintf(line, sizeof(line), "{\"result\":\"0x%08lx\"}", static_cast<unsigned long>(hr));
  Print(line);
  return hr == S_OK ? 0 : 1;
}

HWND g_event_window = nullptr;

void CALLBACK OnWinEvent(HWINEVENTHOOK, DWORD event, HWND hwnd, LONG object, LONG child, DWORD,
                         DWORD) {
  if (hwnd != g_event_window) return;
  char numbers[160];
  std::snprintf(numbers, sizeof(numbers),
                "{\"event\":%lu,\"object\":%ld,\"child\":%ld,\"time\":%lu",
                static_cast<unsigned long>(event), static_cast<long>(object),
                static_cast<long>(child), static_cast<unsigned long>(GetTickCount()));
  std::string line = numbers;
  // What a reader would read at once: the object the event names.
  tn::ComPtr<IAccessible> acc;
  VARIANT target;
  VariantInit(&target);
  if (object == OBJID_CLIENT &&
      SUCCEEDED(AccessibleObjectFromEvent(hwnd, static_cast<DWORD>(object),
                                          static_cast<DWORD>(child), acc.Receive(), &target)) &&
      acc && target.vt == VT_I4) {
    std::string described = DescribeAccessible(acc.Get(), target.lVal);
    line += ",\"target\":" + described;
  }
  VariantClear(&target);
  Print(line + "}");
}

// Every WinEvent the window raises during |ms| milliseconds, one line each,
// after a {"ready":true} line once the hook is in place.
int WatchEvents(HWND hwnd, DWORD ms) {
  if (!IsWindow(hwnd)) return 1;
  tn::ScopedComInit com;
  g_event_window = hwnd;
  // All processes, filtered by window in the callback: Wine 8 delivers no
  // out-of-context events to a hook limited to the window's process.
  HWINEVENTHOOK hook = SetWinEventHook(EVENT_MIN, EVENT_MAX, nullptr, OnWinEvent, 0, 0,
                                       WINEVENT_OUTOFCONTEXT | WINEVENT_SKIPOWNPROCESS);
  if (!hook) return 1;
  Print("{\"ready\":true}");
  const DWORD start = GetTickCount();
  for (;;) {
    const DWORD elapsed = GetTickCount() - start;
    if (elapsed >= ms) break;
    MsgWaitForMultipleObjects(0, nullptr, FALSE, ms - elapsed, QS_ALLINPUT);
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&msg);
  }
  UnhookWinEvent(hook);
  return 0;
}

// How long the window's thread keeps a message waiting: for |ms|
// milliseconds a WM_NULL every 20 ms, each waited for; prints every wait of
// 50 ms or more with the tick count it was sent at (the clock of Wine's
// trace time stamps), then the longest wait and how many were answered.
// Ends early when the window goes.
int Responsiveness(HWND hwnd, DWORD ms) {
  if (!IsWindow(hwnd)) return 1;
  const DWORD start = GetTickCount();
  DWORD longest = 0;
  unsigned answered = 0;
  while (GetTickCount() - start < ms && IsWindow(hwnd)) {
    const DWORD sent = GetTickCount();
    DWORD_PTR result = 0;
    if (SendMessageTimeoutW(hwnd, WM_NULL, 0, 0, SMTO_NORMAL, 60000, &result)) ++answered;
    const DWORD waited = GetTickCount() - sent;
    longest = std::max(longest, waited);
    if (waited >= 50) {
      char slow[80];
      std::snprintf(slow, sizeof(slow), "{\"sent\":%lu,\"waited_ms\":%lu}",
                    static_cast<unsigned long>(sent), static_cast<unsigned long>(waited));
      Print(slow);
    }
    Sleep(20);
  }
  char line[96];
  std::snprintf(line, sizeof(line), "{\"longest_ms\":%lu,\"answered\":%u}",
                static_cast<unsigned long>(longest), answered);
  Print(line);
  return 0;
}

int Usage() {
  Print(
      "{\"error\":\"usage: winauto "
      "find|list|children|press|click|close|wait-gone|reg|reg-values|lnk|ps|folder|acc|acc-do|"
      "events|responsive\"}");
  return 2;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc < 2) return Usage();
  const std::wstring command = argv[1];
  if (command == L"find") return Find(argc, argv);
  if (command == L"list") return EnumWindows(PrintTopLevel, 0), 0;
  if (command == L"children" && argc == 3) {
    HWND hwnd = ParseWindow(argv[2]);
    if (!IsWindow(hwnd)) return 1;
    EnumChildWindows(hwnd, PrintChild, 0);
    return 0;
  }
  if (command == L"press" && argc == 4) return Press(ParseWindow(argv[2]), argv[3]);
  if (command == L"click" && argc == 5) {
    return Click(ParseWindow(argv[2]), _wtoi(argv[3]), _wtoi(argv[4]));
  }
  if (command == L"close" && argc == 3) {
    HWND hwnd = ParseWindow(argv[2]);
    return IsWindow(hwnd) && PostMessageW(hwnd, WM_CLOSE, 0, 0) ? 0 : 1;
  }
  if (command == L"wait-gone" && argc == 4) {
    return WaitGone(ParseWindow(argv[2]), wcstoul(argv[3], nullptr, 10));
  }
  if (command == L"reg") return ReadRegistry(argc, argv);
  if (command == L"reg-values") return ListRegistryValues(argc, argv);
  if (command == L"lnk" && argc == 3) return ResolveLink(argv[2]);
  if (command == L"ps") return ListProcesses();
  if (command == L"folder" && argc == 3) return SpecialFolder(argv[2]);
  if (command == L"acc" && argc == 3) return Accessible(ParseWindow(argv[2]));
  if (command == L"acc-do" && argc == 4)
    return AccessibleAction(ParseWindow(argv[2]), _wtol(argv[3]));
  if (command == L"events" && argc == 4)
    return WatchEvents(ParseWindow(argv[2]), wcstoul(argv[3], nullptr, 10));
  if (command == L"responsive" && argc == 4) {
    return Responsiveness(ParseWindow(argv[2]), wcstoul(argv[3], nullptr, 10));
  }
  return Usage();
}
