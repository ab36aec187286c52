// The installing page: rotating pictures, status line, percentage and
// progress bar. Its window receives the extraction worker's messages and
// moves on to the finish page once the product is on the machine.
#pragma once

#include <string>

#include "pages/page_wiring.h"
#include "payload/extract_result.h"
#include "ui/UIlib.h"

class PageHost;

// Timers on the installing page's window.
constexpr UINT_PTR TIMER_LOADING_PICTURE = 1;  // 2000 ms, started by the main window
constexpr UINT_PTR TIMER_HYPERVISOR_TEXT = 2;  // 500 ms

// First line of the failure message for an extraction's result (GBK);
// empty for a success or a value that is no result.
const char* ExtractionFailureText(tn::ExtractResult result);
// Second line of every failure message.
extern const char kInstallFailedText[];

class UI_Installing : public DuiLib::WindowImplBase {
 public:
  UI_Installing();
  ~UI_Installing() override;

  // Set by the main window right after it created this page's window.
  void SetHost(PageHost* host) { host_ = host; }
  DuiLib::CControlUI* GetRoot() const { return root_; }
  // The product's name as the uninstall registration stored it; names the
  // shortcuts. Empty until the completion sequence ran.
  const std::string& GetDisplayName() const { return display_name_; }

  // Starts the extraction worker for the main window's install directory;
  // it reports to this page's window. A worker that cannot be started is
  // reported like a failed extraction.
  void StartExtraction();
  // Ends the installation as a failed extraction (-6) before it started:
  // the failure is posted to this page like the worker's.
  void ReportFailureBeforeExtraction();
  // Asks a running worker to stop and waits for it at most |timeout_ms|.
  // True when no worker runs any more.
  bool StopExtraction(DWORD timeout_ms);

 protected:
  LPCTSTR GetWindowClassName() const override { return "UI_Installing"; }
  DuiLib::CDuiString GetSkinFile() override { return "UI_Installing.xml"; }
  LRESULT OnCreate(UINT uMsg, WPARAM wParam, LPARAM lParam, BOOL& bHandled) override;
  LRESULT HandleMessage(UINT uMsg, WPARAM wParam, LPARAM lParam) override;

 private:
  void OnProgress(int percent);
  void OnExtractFailed(tn::ExtractResult result);
  void OnNextPicture();
  void OnNextHypervisorText();
  void OnHypervisorInstalled();
  // The steps after a successful extraction, run once at the first 100 %.
  void RunCompletionSequence();
  void RegisterUninstallEntry();
  void StartHypervisorSetup();
  void ShowFinishPage();

  PageHost* host_ = nullptr;
  PageWiring wiring_{&m_PaintManager};
  std::string display_name_;
  DuiLib::CControlUI* root_ = nullptr;
  DuiLib::CLabelUI* loading_picture_ = nullptr;
  DuiLib::CProgressUI* progress_ = nullptr;
  DuiLib::CLabelUI* percent_label_ = nullptr;
  DuiLib::CLabelUI* status_label_ = nullptr;
  bool extraction_started_ = false;
  // One completion per installation, at the first 100.
  bool completion_started_ = false;
  // The next installing picture and hypervisor status dots to show.
  int picture_counter_ = 0;
  int dots_counter_ = 0;
};
