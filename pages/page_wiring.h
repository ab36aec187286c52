// The one way a page finds its controls and reacts to their clicks: a
// control is looked up by its name and must be of the class the page
// expects, and each control's clicks go to one handler. The window buttons
// that every page has behave the same on every page.
#pragma once

#include <windows.h>

#include <functional>
#include <map>

#include "ui/UIlib.h"

class PageHost;

class PageWiring {
 public:
  // |manager|: the paint manager of the page's window, which outlives this.
  explicit PageWiring(DuiLib::CPaintManagerUI* manager) : manager_(manager) {}
  PageWiring(const PageWiring&) = delete;
  PageWiring& operator=(const PageWiring&) = delete;

  // The control named |name| when it is a |Control|; null when the skin has
  // no control of that name or one of another class.
  template <typename Control>
  Control* Find(const char* name) const {
    return dynamic_cast<Control*>(manager_->FindControl(name));
  }

  // Find, and |on_click| runs on every click of the control. A second
  // handler for the same control replaces the first.
  template <typename Control>
  Control* OnClick(const char* name, std::function<void()> on_click) {
    Control* control = Find<Control>(name);
    if (control) Hook(control, std::move(on_click));
    return control;
  }

  // The window buttons, for the page's host as |host()| gives it at the
  // click (nothing happens while it is null): "btn_mini" minimises the main
  // window; "btn_close" asks whether to close and closes the installer when
  // the answer is OK.
  using HostOfPage = std::function<PageHost*()>;
  void OnMinimize(HostOfPage host);
  void OnConfirmedClose(HostOfPage host);

 private:
  void Hook(DuiLib::CControlUI* control, std::function<void()> on_click);
  bool OnNotify(void* param);

  DuiLib::CPaintManagerUI* manager_;
  std::map<DuiLib::CControlUI*, std::function<void()>> clicks_;
};
