#include "pages/page_wiring.h"

#include "pages/page_host.h"
#include "pages/setup_texts.h"

void PageWiring::OnMinimize(HostOfPage host) {
  OnClick<DuiLib::CButtonUI>("btn_mini", [host] {
    if (PageHost* page_host = host()) {
      ::SendMessageA(page_host->GetHostWindow(), WM_SYSCOMMAND, SC_MINIMIZE, 0);
    }
  });
}

void PageWiring::OnConfirmedClose(HostOfPage host) {
  OnClick<DuiLib::CButtonUI>("btn_close", [host] {
    PageHost* page_host = host();
    if (page_host && ::MessageBoxA(page_host->GetHostWindow(), kConfirmCloseText, kSetupCaption,
                                   MB_ICONQUESTION | MB_OKCANCEL) == IDOK) {
      page_host->CloseInstaller();
    }
  });
}

void PageWiring::Hook(DuiLib::CControlUI* control, std::function<void()> on_click) {
  const bool hooked = clicks_.count(control) != 0;
  clicks_[control] = std::move(on_click);
  if (!hooked) control->OnNotify += DuiLib::MakeDelegate(this, &PageWiring::OnNotify);
}

bool PageWiring::OnNotify(void* param) {
  const DuiLib::TNotifyUI* msg = static_cast<DuiLib::TNotifyUI*>(param);
  if (msg->sType != DUI_MSGTYPE_CLICK) return true;
  const auto handler = clicks_.find(msg->pSender);
  // A copy: the handler may replace itself while it runs.
  if (handler != clicks_.end()) std::function<void()>(handler->second)();
  return true;
}
