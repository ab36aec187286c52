// Builds a control tree from a layout file of the skin.
#pragma once

#include <memory>

#include "ui/ui_control.h"
#include "ui/ui_string.h"

namespace DuiLib {

class MarkupNode;

class IDialogBuilderCallback {
 public:
  // A control for an element the framework does not know, or null.
  virtual CControlUI* CreateControl(LPCTSTR pstrClass) = 0;

 protected:
  ~IDialogBuilderCallback() = default;
};

class CDialogBuilder {
 public:
  CDialogBuilder();
  ~CDialogBuilder();
  CDialogBuilder(const CDialogBuilder&) = delete;
  CDialogBuilder& operator=(const CDialogBuilder&) = delete;

  // |xml| is a skin file name ("UI_HomePage.xml"), a markup text starting
  // with "<", or a resource id whose resource of |type| holds the markup.
  // Returns the root control (owned by the caller, or by |pManager| once
  // attached) or null when the file is missing or malformed. With a
  // manager, the Window element's attributes and the fonts go to it.
  CControlUI* Create(STRINGorID xml, LPCTSTR type = nullptr,
                     IDialogBuilderCallback* pCallback = nullptr,
                     CPaintManagerUI* pManager = nullptr, CControlUI* pParent = nullptr);
  // Why the last Create returned null.
  CDuiString GetLastErrorMessage() const { return m_sError; }

 private:
  CControlUI* BuildChildren(const MarkupNode& node, CControlUI* pParent, CPaintManagerUI* pManager,
                            int depth);
  bool ApplyWindow(const MarkupNode& node, CPaintManagerUI* pManager, int depth);

  IDialogBuilderCallback* m_pCallback = nullptr;
  CDuiString m_sError;
};

// A control for a layout element name ("Button"), or null if unknown.
CControlUI* CreateControlByClass(LPCTSTR pstrClass);

}  // namespace DuiLib
