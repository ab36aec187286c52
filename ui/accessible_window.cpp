#include "ui/accessible_window.h"

#include <ole2.h>
#include <oleacc.h>

#include <algorithm>
#include <cstring>
#include <utility>

#include "ui/ui_button.h"
#include "ui/ui_container.h"
#include "ui/ui_control.h"
#include "ui/ui_edit.h"
#include "ui/ui_manager.h"
#include "ui/ui_option.h"
#include "ui/ui_progress.h"

namespace DuiLib {

namespace {

// Framework texts are in the installer's code page (as Utf8ToAnsi makes them).
constexpr UINT kAnsiCodePage = 936;
// Posted to the window by accDoDefaultAction: wParam is the control.
const UINT kDoDefaultActionMessage = WM_APP + 0x2D2;

const char kActionPress[] = "按下";
const char kActionCheck[] = "选中";
const char kActionUncheck[] = "取消选中";
const char kActionSelect[] = "选择";

// oleacc is loaded when a reader first asks, from the system folder only:
// the installer starts from a download folder, where a planted library of
// that name must not be picked up. It stays loaded, as objects handed out
// may outlive any window.
struct OleAccess {
  using LresultFromObjectFn = LRESULT(WINAPI*)(REFIID, WPARAM, LPUNKNOWN);
  using CreateStdAccessibleObjectFn = HRESULT(WINAPI*)(HWND, LONG, REFIID, void**);
  LresultFromObjectFn lresultFromObject = nullptr;
  CreateStdAccessibleObjectFn createStdAccessibleObject = nullptr;
};

const OleAccess& GetOleAccess() {
  static const OleAccess access = [] {
    OleAccess result;
    char path[MAX_PATH] = {};
    UINT length = ::GetSystemDirectoryA(path, MAX_PATH);
    if (length == 0 || length + sizeof("\\oleacc.dll") > MAX_PATH) return result;
    std::strcat(path, "\\oleacc.dll");
    HMODULE module = ::LoadLibraryExA(path, nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
    if (!module) return result;
    result.lresultFromObject = reinterpret_cast<OleAccess::LresultFromObjectFn>(
        reinterpret_cast<void*>(::GetProcAddress(module, "LresultFromObject")));
    result.createStdAccessibleObject = reinterpret_cast<OleAccess::CreateStdAccessibleObjectFn>(
        reinterpret_cast<void*>(::GetProcAddress(module, "CreateStdAccessibleObject")));
    return result;
  }();
  return access;
}

// Handing out an object needs a COM apartment on this thread; it stays for
// the thread's life (the reader may call back at any time).
bool EnsureApartment() {
  static thread_local bool ready = false;
  if (!ready) {
    HRESULT hr = ::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    ready = SUCCEEDED(hr) || hr == RPC_E_CHANGED_MODE;
  }
  return ready;
}

BSTR ToBstr(const CDuiString& text) {
  if (text.IsEmpty()) return nullptr;
  int length =
      ::MultiByteToWideChar(kAnsiCodePage, 0, text.GetData(), text.GetLength(), nullptr, 0);
  if (length <= 0) return nullptr;
  BSTR result = ::SysAllocStringLen(nullptr, static_cast<UINT>(length));
  if (!result) return nullptr;
  ::MultiByteToWideChar(kAnsiCodePage, 0, text.GetData(), text.GetLength(), result, length);
  return result;
}

// S_OK with the text, S_FALSE for an empty one.
HRESULT ReturnText(const CDuiString& text, BSTR* out) {
  *out = ToBstr(text);
  if (*out) return S_OK;
  return text.IsEmpty() ? S_FALSE : E_OUTOFMEMORY;
}

bool IsLeaf(CControlUI* control) {
  return !control->GetInterface("IContainer") || control->GetInterface("RichEdit");
}

bool HasSomethingToTell(CControlUI* control) {
  // Every label counts, also an empty one: an empty message line still is
  // the place where a message appears, and the ids of the page stay put.
  return control->GetInterface("Label") || control->AcceptsFocus() ||
         !control->GetBkImage().IsEmpty() || !control->GetAccessibleName().IsEmpty();
}

void CollectFrom(CControlUI* control, std::vector<CControlUI*>& out) {
  if (IsLeaf(control)) {
    if (HasSomethingToTell(control)) out.push_back(control);
    return;
  }
  if (!control->IsVisible()) return;
  if (auto* tabs = static_cast<CTabLayoutUI*>(control->GetInterface("TabLayout"))) {
    if (CControlUI* page = tabs->GetItemAt(tabs->GetCurSel())) CollectFrom(page, out);
    return;
  }
  auto* container = static_cast<IContainerUI*>(control->GetInterface("IContainer"));
  for (int i = 0; i < container->GetCount(); ++i) CollectFrom(container->GetItemAt(i), out);
}

CDuiString WithoutTrailingColon(CDuiString text) {
  std::string value = text.str();
  for (;;) {
    if (!value.empty() && (value.back() == ':' || value.back() == ' ')) {
      value.pop_back();
    } else if (value.size() >= 2 && value.compare(value.size() - 2, 2, "\xA3\xBA") == 0) {
      value.resize(value.size() - 2);  // full-width colon in GBK
    } else {
      break;
    }
  }
  return CDuiString(value);
}

// An edit field is named, as in Windows dialogs, by the text label before it.
CDuiString LabelBefore(CPaintManagerUI* manager, CControlUI* control) {
  std::vector<CControlUI*> controls = CollectPageControls(manager);
  auto it = std::find(controls.begin(), controls.end(), control);
  while (it != controls.begin()) {
    --it;
    CControlUI* candidate = *it;
    if (candidate->GetInterface("Button") || candidate->GetInterface("Edit") ||
        candidate->GetInterface("Progress") || !candidate->GetInterface("Label")) {
      continue;
    }
    if (!candidate->GetText().IsEmpty()) return WithoutTrailingColon(candidate->GetText());
  }
  return CDuiString();
}

bool WindowHasFocus(HWND hwnd) {
  HWND focus = ::GetFocus();
  return focus && (focus == hwnd || ::IsChild(hwnd, focus));
}

}  // namespace

std::vector<CControlUI*> CollectPageControls(CPaintManagerUI* manager) {
  std::vector<CControlUI*> controls;
  if (!manager) return controls;
  CControlUI* root = manager->GetRoot();
  if (!root || root->GetManager() != manager) return controls;
  CollectFrom(root, controls);
  return controls;
}

void DescribeControl(CPaintManagerUI* manager, CControlUI* control, TAccessibleInfo* info) {
  *info = TAccessibleInfo();
  auto* option = static_cast<COptionUI*>(control->GetInterface("Option"));
  auto* edit = static_cast<CEditUI*>(control->GetInterface("Edit"));
  auto* progress = static_cast<CProgressUI*>(control->GetInterface("Progress"));
  const bool richEdit = control->GetInterface("RichEdit") != nullptr;
  const bool button = control->GetInterface("Button") != nullptr;

  if (option) {
    info->lRole = option->GetGroup().IsEmpty() ? ROLE_SYSTEM_CHECKBUTTON : ROLE_SYSTEM_RADIOBUTTON;
  } else if (button) {
    info->lRole = ROLE_SYSTEM_PUSHBUTTON;
  } else if (edit || richEdit) {
    info->lRole = ROLE_SYSTEM_TEXT;
  } else if (progress) {
    info->lRole = ROLE_SYSTEM_PROGRESSBAR;
  } else if (control->GetInterface("Label") &&
             !(control->GetText().IsEmpty() && !control->GetBkImage().IsEmpty())) {
    info->lRole = ROLE_SYSTEM_STATICTEXT;
  } else {
    info->lRole = ROLE_SYSTEM_GRAPHIC;
  }

  // The name: what the skin says for the reader, else what the control
  // shows (a text field shows its value, not its name), else its tooltip.
  info->sName = control->GetAccessibleName();
  if (info->sName.IsEmpty() && edit) info->sName = LabelBefore(manager, control);
  if (info->sName.IsEmpty() && !edit && !richEdit) info->sName = control->GetText();
  if (info->sName.IsEmpty()) info->sName = control->GetToolTip();
  if (control->GetToolTip() != info->sName) info->sDescription = control->GetToolTip();

  if (edit) {
    if (!edit->IsPasswordMode()) info->sValue = edit->GetText();
    if (info->sDescription.IsEmpty()) info->sDescription = edit->GetTipValue();
  } else if (richEdit) {
    info->sValue = control->GetText();
  } else if (progress) {
    long long range = static_cast<long long>(progress->GetMaxValue()) - progress->GetMinValue();
    long long done = static_cast<long long>(progress->GetValue()) - progress->GetMinValue();
    int percent = range > 0 ? static_cast<int>(done * 100 / range) : 0;
    info->sValue.Format("%d%%", percent);
  }

  if (option) {
    if (!option->GetGroup().IsEmpty())
      info->sDefaultAction = kActionSelect;
    else
      info->sDefaultAction = option->IsSelected() ? kActionUncheck : kActionCheck;
  } else if (button) {
    info->sDefaultAction = kActionPress;
  }

  long state = 0;
  if (!control->IsVisible()) state |= STATE_SYSTEM_INVISIBLE;
  if (!control->IsEnabled()) state |= STATE_SYSTEM_UNAVAILABLE;
  if (control->AcceptsFocus() && control->IsVisible() && control->IsEnabled()) {
    state |= STATE_SYSTEM_FOCUSABLE;
    HWND hwnd = manager ? manager->GetPaintWindow() : nullptr;
    if (manager && manager->GetFocus() == control && hwnd && WindowHasFocus(hwnd))
      state |= STATE_SYSTEM_FOCUSED;
  }
  if (option && option->IsSelected()) state |= STATE_SYSTEM_CHECKED;
  if (richEdit || (edit && edit->IsReadOnly())) state |= STATE_SYSTEM_READONLY;
  if (edit && edit->IsPasswordMode()) state |= STATE_SYSTEM_PROTECTED;
  if (info->lRole == ROLE_SYSTEM_STATICTEXT) state |= STATE_SYSTEM_READONLY;
  info->lState = state;
}

void NotifyAccessibleEvent(CControlUI* control, DWORD event) {
  if (!control) return;
  CPaintManagerUI* manager = control->GetManager();
  HWND hwnd = manager ? manager->GetPaintWindow() : nullptr;
  if (!hwnd || !::IsWindowVisible(hwnd)) return;
  std::vector<CControlUI*> controls = CollectPageControls(manager);
  auto it = std::find(controls.begin(), controls.end(), control);
  if (it == controls.end()) return;
  ::NotifyWinEvent(event, hwnd, OBJID_CLIENT, static_cast<LONG>(it - controls.begin()) + 1);
}

void NotifyAccessibleClientEvent(CPaintManagerUI* manager, DWORD event) {
  HWND hwnd = manager ? manager->GetPaintWindow() : nullptr;
  if (!hwnd || !::IsWindowVisible(hwnd)) return;
  ::NotifyWinEvent(event, hwnd, OBJID_CLIENT, CHILDID_SELF);
}

// --- the client object ----------------------------------------------------------

class CAccessibleObject final : public IAccessible, public IOleWindow {
 public:
  CAccessibleObject(CPaintManagerUI* manager, HWND hwnd) : m_pManager(manager), m_hWnd(hwnd) {}

  void Disconnect() {
    m_pManager = nullptr;
    m_pStandard.Reset();
  }

  // IUnknown
  STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override {
    if (!ppv) return E_POINTER;
    *ppv = nullptr;
    if (riid == IID_IUnknown || riid == IID_IDispatch || riid == __uuidof(IAccessible)) {
      *ppv = static_cast<IAccessible*>(this);
    } else if (riid == IID_IOleWindow) {
      *ppv = static_cast<IOleWindow*>(this);
    } else {
      return E_NOINTERFACE;
    }
    AddRef();
    return S_OK;
  }
  STDMETHODIMP_(ULONG) AddRef() override {
    return static_cast<ULONG>(::InterlockedIncrement(&m_lRef));
  }
  STDMETHODIMP_(ULONG) Release() override {
    LONG ref = ::InterlockedDecrement(&m_lRef);
    if (ref == 0) {
      Disconnect();
      delete this;
    }
    return static_cast<ULONG>(ref);
  }

  // IOleWindow
  STDMETHODIMP GetWindow(HWND* phwnd) override {
    if (!phwnd) return E_POINTER;
    *phwnd = m_pManager ? m_hWnd : nullptr;
    return m_pManager ? S_OK : CO_E_OBJNOTCONNECTED;
  }
  STDMETHODIMP ContextSensitiveHelp(BOOL) override { return E_NOTIMPL; }

  // IDispatch: clients use the interface's own methods.
  STDMETHODIMP GetTypeInfoCount(UINT* pctinfo) override {
    if (!pctinfo) return E_POINTER;
    *pctinfo = 0;
    return S_OK;
  }
  STDMETHODIMP GetTypeInfo(UINT, LCID, ITypeInfo** ppTInfo) override {
    if (ppTInfo) *ppTInfo = nullptr;
    return E_NOTIMPL;
  }
  STDMETHODIMP GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override { return E_NOTIMPL; }
  STDMETHODIMP Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*,
                      UINT*) override {
    return E_NOTIMPL;
  }

  // IAccessible
  STDMETHODIMP get_accParent(IDispatch** ppdispParent) override {
    if (!ppdispParent) return E_POINTER;
    *ppdispParent = nullptr;
    IAccessible* standard = Standard();
    if (!standard) return m_pManager ? S_FALSE : CO_E_OBJNOTCONNECTED;
    return standard->get_accParent(ppdispParent);
  }
  STDMETHODIMP get_accChildCount(long* pcountChildren) override {
    if (!pcountChildren) return E_POINTER;
    *pcountChildren = 0;
    if (!m_pManager) return CO_E_OBJNOTCONNECTED;
    *pcountChildren = static_cast<long>(CollectPageControls(m_pManager).size());
    return S_OK;
  }
  STDMETHODIMP get_accChild(VARIANT varChild, IDispatch** ppdispChild) override {
    if (!ppdispChild) return E_POINTER;
    *ppdispChild = nullptr;
    CControlUI* control = nullptr;
    HRESULT hr = Resolve(varChild, &control);
    if (FAILED(hr)) return hr;
    if (!control) {
      *ppdispChild = static_cast<IAccessible*>(this);
      AddRef();
      return S_OK;
    }
    return S_FALSE;  // a simple element: its parent answers for it
  }
  STDMETHODIMP get_accName(VARIANT varChild, BSTR* pszName) override {
    return ChildText(varChild, pszName, &IAccessible::get_accName, &TAccessibleInfo::sName);
  }
  STDMETHODIMP get_accValue(VARIANT varChild, BSTR* pszValue) override {
    return ControlOnlyText(
        varChild, pszValue, &TAccessibleInfo::sValue, [](const TAccessibleInfo& info) {
          return info.lRole == ROLE_SYSTEM_TEXT || info.lRole == ROLE_SYSTEM_PROGRESSBAR;
        });
  }
  STDMETHODIMP get_accDescription(VARIANT varChild, BSTR* pszDescription) override {
    return ChildText(varChild, pszDescription, &IAccessible::get_accDescription,
                     &TAccessibleInfo::sDescription);
  }
  STDMETHODIMP get_accRole(VARIANT varChild, VARIANT* pvarRole) override {
    return ChildNumber(varChild, pvarRole, &TAccessibleInfo::lRole, [pvarRole] {
      pvarRole->vt = VT_I4;
      pvarRole->lVal = ROLE_SYSTEM_CLIENT;
      return S_OK;
    });
  }
  STDMETHODIMP get_accState(VARIANT varChild, VARIANT* pvarState) override {
    return ChildNumber(varChild, pvarState, &TAccessibleInfo::lState, [&] {
      if (IAccessible* standard = Standard()) return standard->get_accState(varChild, pvarState);
      pvarState->vt = VT_I4;
      pvarState->lVal = 0;
      return S_OK;
    });
  }
  STDMETHODIMP get_accHelp(VARIANT, BSTR* pszHelp) override {
    if (pszHelp) *pszHelp = nullptr;
    return m_pManager ? DISP_E_MEMBERNOTFOUND : CO_E_OBJNOTCONNECTED;
  }
  STDMETHODIMP get_accHelpTopic(BSTR* pszHelpFile, VARIANT, long* pidTopic) override {
    if (pszHelpFile) *pszHelpFile = nullptr;
    if (pidTopic) *pidTopic = 0;
    return m_pManager ? DISP_E_MEMBERNOTFOUND : CO_E_OBJNOTCONNECTED;
  }
  STDMETHODIMP get_accKeyboardShortcut(VARIANT, BSTR* pszKeyboardShortcut) override {
    if (pszKeyboardShortcut) *pszKeyboardShortcut = nullptr;
    return m_pManager ? DISP_E_MEMBERNOTFOUND : CO_E_OBJNOTCONNECTED;
  }
  STDMETHODIMP get_accFocus(VARIANT* pvarChild) override {
    if (!pvarChild) return E_POINTER;
    ::VariantInit(pvarChild);
    if (!m_pManager) return CO_E_OBJNOTCONNECTED;
    if (!WindowHasFocus(m_hWnd)) return S_FALSE;
    pvarChild->vt = VT_I4;
    pvarChild->lVal = IdOf(m_pManager->GetFocus());
    return S_OK;
  }
  STDMETHODIMP get_accSelection(VARIANT* pvarChildren) override {
    if (pvarChildren) ::VariantInit(pvarChildren);
    return m_pManager ? DISP_E_MEMBERNOTFOUND : CO_E_OBJNOTCONNECTED;
  }
  STDMETHODIMP get_accDefaultAction(VARIANT varChild, BSTR* pszDefaultAction) override {
    return ControlOnlyText(
        varChild, pszDefaultAction, &TAccessibleInfo::sDefaultAction,
        [](const TAccessibleInfo& info) { return !info.sDefaultAction.IsEmpty(); });
  }
  STDMETHODIMP accSelect(long flagsSelect, VARIANT varChild) override {
    CControlUI* control = nullptr;
    HRESULT hr = Resolve(varChild, &control);
    if (FAILED(hr)) return hr;
    if (!control || flagsSelect != SELFLAG_TAKEFOCUS) return DISP_E_MEMBERNOTFOUND;
    if (!control->AcceptsFocus() || !control->IsVisible() || !control->IsEnabled()) return S_FALSE;
    control->SetFocus();
    return S_OK;
  }
  STDMETHODIMP accLocation(long* pxLeft, long* pyTop, long* pcxWidth, long* pcyHeight,
                           VARIANT varChild) override {
    if (!pxLeft || !pyTop || !pcxWidth || !pcyHeight) return E_POINTER;
    *pxLeft = *pyTop = *pcxWidth = *pcyHeight = 0;
    CControlUI* control = nullptr;
    HRESULT hr = Resolve(varChild, &control);
    if (FAILED(hr)) return hr;
    RECT rc;
    if (!control) {
      ::GetClientRect(m_hWnd, &rc);
    } else {
      rc = control->GetPos();
      // A check box's caption lies beside its box: both are the control.
      if (control->GetInterface("Option")) {
        RECT painted = control->GetPaintBounds();
        ::UnionRect(&rc, &rc, &painted);
      }
    }
    POINT origin = {0, 0};
    ::ClientToScreen(m_hWnd, &origin);
    *pxLeft = rc.left + origin.x;
    *pyTop = rc.top + origin.y;
    *pcxWidth = rc.right - rc.left;
    *pcyHeight = rc.bottom - rc.top;
    return S_OK;
  }
  STDMETHODIMP accNavigate(long navDir, VARIANT varStart, VARIANT* pvarEndUpAt) override {
    if (!pvarEndUpAt) return E_POINTER;
    ::VariantInit(pvarEndUpAt);
    CControlUI* control = nullptr;
    HRESULT hr = Resolve(varStart, &control);
    if (FAILED(hr)) return hr;
    const long count = static_cast<long>(CollectPageControls(m_pManager).size());
    long target = 0;
    if (!control) {
      if (navDir == NAVDIR_FIRSTCHILD)
        target = 1;
      else if (navDir == NAVDIR_LASTCHILD)
        target = count;
      else if (IAccessible* standard = Standard())
        return standard->accNavigate(navDir, varStart, pvarEndUpAt);
      else
        return S_FALSE;
    } else {
      const long id = IdOf(control);
      if (navDir == NAVDIR_NEXT)
        target = id + 1;
      else if (navDir == NAVDIR_PREVIOUS)
        target = id - 1;
      else if (navDir == NAVDIR_FIRSTCHILD || navDir == NAVDIR_LASTCHILD)
        return S_FALSE;
      else
        return DISP_E_MEMBERNOTFOUND;
    }
    if (target < 1 || target > count) return S_FALSE;
    pvarEndUpAt->vt = VT_I4;
    pvarEndUpAt->lVal = target;
    return S_OK;
  }
  STDMETHODIMP accHitTest(long xLeft, long yTop, VARIANT* pvarChild) override {
    if (!pvarChild) return E_POINTER;
    ::VariantInit(pvarChild);
    if (!m_pManager) return CO_E_OBJNOTCONNECTED;
    POINT pt = {xLeft, yTop};
    ::ScreenToClient(m_hWnd, &pt);
    RECT client;
    ::GetClientRect(m_hWnd, &client);
    if (!::PtInRect(&client, pt)) return S_FALSE;
    pvarChild->vt = VT_I4;
    pvarChild->lVal = CHILDID_SELF;
    // The topmost listed control under the point (later ones paint over
    // earlier ones).
    std::vector<CControlUI*> controls = CollectPageControls(m_pManager);
    for (size_t i = controls.size(); i-- > 0;) {
      RECT rc = controls[i]->GetPos();
      if (controls[i]->IsVisible() && ::PtInRect(&rc, pt)) {
        pvarChild->lVal = static_cast<long>(i) + 1;
        break;
      }
    }
    return S_OK;
  }
  STDMETHODIMP accDoDefaultAction(VARIANT varChild) override {
    CControlUI* control = nullptr;
    HRESULT hr = Resolve(varChild, &control);
    if (FAILED(hr)) return hr;
    if (!control || !control->GetInterface("Button")) return DISP_E_MEMBERNOTFOUND;
    if (!control->IsVisible() || !control->IsEnabled()) return S_FALSE;
    // Run as a click would, from the window's queue: the handler may open a
    // message box, which must not hold the reader's call.
    ::PostMessageA(m_hWnd, kDoDefaultActionMessage, reinterpret_cast<WPARAM>(control), 0);
    return S_OK;
  }
  STDMETHODIMP put_accName(VARIANT, BSTR) override { return E_NOTIMPL; }
  STDMETHODIMP put_accValue(VARIANT, BSTR) override { return E_NOTIMPL; }

 private:
  ~CAccessibleObject() = default;

  IAccessible* Standard() {
    if (!m_pStandard && m_pManager) {
      const OleAccess& access = GetOleAccess();
      if (access.createStdAccessibleObject) {
        void* object = nullptr;
        if (SUCCEEDED(access.createStdAccessibleObject(m_hWnd, OBJID_CLIENT, __uuidof(IAccessible),
                                                       &object)))
          m_pStandard.Attach(static_cast<IAccessible*>(object));
      }
    }
    return m_pStandard.Get();
  }

  long IdOf(CControlUI* control) const {
    if (!control) return CHILDID_SELF;
    std::vector<CControlUI*> controls = CollectPageControls(m_pManager);
    auto it = std::find(controls.begin(), controls.end(), control);
    return it == controls.end() ? CHILDID_SELF : static_cast<long>(it - controls.begin()) + 1;
  }

  // The control named by |child|, or null for the client object itself.
  HRESULT Resolve(const VARIANT& child, CControlUI** control) {
    *control = nullptr;
    if (!m_pManager || !::IsWindow(m_hWnd)) return CO_E_OBJNOTCONNECTED;
    if (child.vt != VT_I4) return E_INVALIDARG;
    if (child.lVal == CHILDID_SELF) return S_OK;
    std::vector<CControlUI*> controls = CollectPageControls(m_pManager);
    if (child.lVal < 1 || child.lVal > static_cast<long>(controls.size())) return E_INVALIDARG;
    *control = controls[static_cast<size_t>(child.lVal - 1)];
    return S_OK;
  }

  HRESULT ChildText(const VARIANT& child, BSTR* out,
                    HRESULT (STDMETHODCALLTYPE IAccessible::*self)(VARIANT, BSTR*),
                    CDuiString TAccessibleInfo::*field) {
    if (!out) return E_POINTER;
    *out = nullptr;
    CControlUI* control = nullptr;
    HRESULT hr = Resolve(child, &control);
    if (FAILED(hr)) return hr;
    if (!control) {
      IAccessible* standard = Standard();
      return standard ? (standard->*self)(child, out) : S_FALSE;
    }
    TAccessibleInfo info;
    DescribeControl(m_pManager, control, &info);
    return ReturnText(info.*field, out);
  }

  // A number property (role, state) of a child as VT_I4; |self| answers
  // for the client object itself.
  template <typename Self>
  HRESULT ChildNumber(const VARIANT& child, VARIANT* out, long TAccessibleInfo::*field, Self self) {
    if (!out) return E_POINTER;
    ::VariantInit(out);
    CControlUI* control = nullptr;
    HRESULT hr = Resolve(child, &control);
    if (FAILED(hr)) return hr;
    if (!control) return self();
    TAccessibleInfo info;
    DescribeControl(m_pManager, control, &info);
    out->vt = VT_I4;
    out->lVal = info.*field;
    return S_OK;
  }

  // A property only some controls have: DISP_E_MEMBERNOTFOUND for the
  // client itself and for the controls |has| rules out.
  HRESULT ControlOnlyText(const VARIANT& child, BSTR* out, CDuiString TAccessibleInfo::*field,
                          bool (*has)(const TAccessibleInfo&)) {
    if (!out) return E_POINTER;
    *out = nullptr;
    CControlUI* control = nullptr;
    HRESULT hr = Resolve(child, &control);
    if (FAILED(hr)) return hr;
    if (!control) return DISP_E_MEMBERNOTFOUND;
    TAccessibleInfo info;
    DescribeControl(m_pManager, control, &info);
    if (!has(info)) return DISP_E_MEMBERNOTFOUND;
    return ReturnText(info.*field, out);
  }

  LONG m_lRef = 1;
  CPaintManagerUI* m_pManager;
  HWND m_hWnd;
  tn::ComPtr<IAccessible> m_pStandard;
};

// --- the native field's object ---------------------------------------------------

// The system's object for a native window, with another name for the
// window itself; everything else is the system's.
class CRenamedAccessible final : public IAccessible {
 public:
  CRenamedAccessible(tn::ComPtr<IAccessible> inner, tn::ScopedBstr name)
      : m_bstrName(std::move(name)), m_pInner(std::move(inner)) {}

  STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override {
    if (!ppv) return E_POINTER;
    *ppv = nullptr;
    if (riid == IID_IUnknown || riid == IID_IDispatch || riid == __uuidof(IAccessible)) {
      *ppv = static_cast<IAccessible*>(this);
      AddRef();
      return S_OK;
    }
    // IOleWindow and the rest come from the system's object.
    return m_pInner->QueryInterface(riid, ppv);
  }
  STDMETHODIMP_(ULONG) AddRef() override {
    return static_cast<ULONG>(::InterlockedIncrement(&m_lRef));
  }
  STDMETHODIMP_(ULONG) Release() override {
    LONG ref = ::InterlockedDecrement(&m_lRef);
    if (ref == 0) delete this;
    return static_cast<ULONG>(ref);
  }
  STDMETHODIMP GetTypeInfoCount(UINT* p) override { return m_pInner->GetTypeInfoCount(p); }
  STDMETHODIMP GetTypeInfo(UINT i, LCID l, ITypeInfo** p) override {
    return m_pInner->GetTypeInfo(i, l, p);
  }
  STDMETHODIMP GetIDsOfNames(REFIID r, LPOLESTR* n, UINT c, LCID l, DISPID* d) override {
    return m_pInner->GetIDsOfNames(r, n, c, l, d);
  }
  STDMETHODIMP Invoke(DISPID d, REFIID r, LCID l, WORD f, DISPPARAMS* p, VARIANT* v, EXCEPINFO* e,
                      UINT* a) override {
    return m_pInner->Invoke(d, r, l, f, p, v, e, a);
  }
  STDMETHODIMP get_accName(VARIANT child, BSTR* name) override {
    if (!name) return E_POINTER;
    if (child.vt != VT_I4 || child.lVal != CHILDID_SELF) return m_pInner->get_accName(child, name);
    *name = ::SysAllocString(m_bstrName.Get());
    return *name ? S_OK : E_OUTOFMEMORY;
  }
  STDMETHODIMP get_accParent(IDispatch** p) override { return m_pInner->get_accParent(p); }
  STDMETHODIMP get_accChildCount(long* p) override { return m_pInner->get_accChildCount(p); }
  STDMETHODIMP get_accChild(VARIANT c, IDispatch** p) override {
    return m_pInner->get_accChild(c, p);
  }
  STDMETHODIMP get_accValue(VARIANT c, BSTR* p) override { return m_pInner->get_accValue(c, p); }
  STDMETHODIMP get_accDescription(VARIANT c, BSTR* p) override {
    return m_pInner->get_accDescription(c, p);
  }
  STDMETHODIMP get_accRole(VARIANT c, VARIANT* p) override { return m_pInner->get_accRole(c, p); }
  STDMETHODIMP get_accState(VARIANT c, VARIANT* p) override { return m_pInner->get_accState(c, p); }
  STDMETHODIMP get_accHelp(VARIANT c, BSTR* p) override { return m_pInner->get_accHelp(c, p); }
  STDMETHODIMP get_accHelpTopic(BSTR* f, VARIANT c, long* t) override {
    return m_pInner->get_accHelpTopic(f, c, t);
  }
  STDMETHODIMP get_accKeyboardShortcut(VARIANT c, BSTR* p) override {
    return m_pInner->get_accKeyboardShortcut(c, p);
  }
  STDMETHODIMP get_accFocus(VARIANT* p) override { return m_pInner->get_accFocus(p); }
  STDMETHODIMP get_accSelection(VARIANT* p) override { return m_pInner->get_accSelection(p); }
  STDMETHODIMP get_accDefaultAction(VARIANT c, BSTR* p) override {
    return m_pInner->get_accDefaultAction(c, p);
  }
  STDMETHODIMP accSelect(long f, VARIANT c) override { return m_pInner->accSelect(f, c); }
  STDMETHODIMP accLocation(long* x, long* y, long* w, long* h, VARIANT c) override {
    return m_pInner->accLocation(x, y, w, h, c);
  }
  STDMETHODIMP accNavigate(long d, VARIANT s, VARIANT* e) override {
    return m_pInner->accNavigate(d, s, e);
  }
  STDMETHODIMP accHitTest(long x, long y, VARIANT* c) override {
    return m_pInner->accHitTest(x, y, c);
  }
  STDMETHODIMP accDoDefaultAction(VARIANT c) override { return m_pInner->accDoDefaultAction(c); }
  STDMETHODIMP put_accName(VARIANT c, BSTR n) override { return m_pInner->put_accName(c, n); }
  STDMETHODIMP put_accValue(VARIANT c, BSTR v) override { return m_pInner->put_accValue(c, v); }

 private:
  ~CRenamedAccessible() = default;

  LONG m_lRef = 1;
  tn::ScopedBstr m_bstrName;
  // The system's object goes first (members go in reverse order).
  tn::ComPtr<IAccessible> m_pInner;
};

bool AnswerNativeGetObject(CControlUI* control, HWND hwnd, WPARAM wParam, LPARAM lParam,
                           LRESULT& lRes) {
  if (!control || static_cast<DWORD>(lParam) != static_cast<DWORD>(OBJID_CLIENT)) return false;
  const OleAccess& access = GetOleAccess();
  if (!access.lresultFromObject || !access.createStdAccessibleObject || !EnsureApartment())
    return false;
  TAccessibleInfo info;
  DescribeControl(control->GetManager(), control, &info);
  tn::ScopedBstr name(ToBstr(info.sName));
  if (!name) return false;
  void* standard = nullptr;
  if (FAILED(
          access.createStdAccessibleObject(hwnd, OBJID_CLIENT, __uuidof(IAccessible), &standard))) {
    return false;
  }
  tn::ComPtr<IAccessible> inner;
  inner.Attach(static_cast<IAccessible*>(standard));
  tn::ComPtr<IAccessible> renamed;
  renamed.Attach(new CRenamedAccessible(std::move(inner), std::move(name)));
  lRes = access.lresultFromObject(__uuidof(IAccessible), wParam, renamed.Get());
  return true;
}

// --- CAccessibleWindow -------------------------------------------------------

CAccessibleWindow::CAccessibleWindow(CPaintManagerUI* manager) : m_pManager(manager) {}

CAccessibleWindow::~CAccessibleWindow() { Disconnect(); }

void CAccessibleWindow::Disconnect() {
  if (!m_pObject) return;
  tn::ComPtr<CAccessibleObject> object = std::move(m_pObject);
  object->Disconnect();
  // Proxies in readers let go of the object now rather than at their exit.
  ::CoDisconnectObject(static_cast<IAccessible*>(object.Get()), 0);
}

bool CAccessibleWindow::HandleMessage(UINT uMsg, WPARAM wParam, LPARAM lParam, LRESULT& lRes) {
  if (uMsg == kDoDefaultActionMessage) {
    auto* control = reinterpret_cast<CControlUI*>(wParam);
    lRes = 0;
    // The page may have changed since the reader asked.
    if (!CControlUI::IsLive(control)) return true;
    std::vector<CControlUI*> controls = CollectPageControls(m_pManager);
    if (std::find(controls.begin(), controls.end(), control) == controls.end()) return true;
    if (auto* button = static_cast<CButtonUI*>(control->GetInterface("Button"))) button->Activate();
    return true;
  }
  if (uMsg != WM_GETOBJECT || static_cast<DWORD>(lParam) != static_cast<DWORD>(OBJID_CLIENT))
    return false;
  HWND hwnd = m_pManager->GetPaintWindow();
  const OleAccess& access = GetOleAccess();
  if (!hwnd || !access.lresultFromObject) return false;
  if (!EnsureApartment()) return false;
  if (!m_pObject) m_pObject.Attach(new CAccessibleObject(m_pManager, hwnd));
  lRes = access.lresultFromObject(__uuidof(IAccessible), wParam,
                                  static_cast<IAccessible*>(m_pObject.Get()));
  return true;
}

}  // namespace DuiLib
