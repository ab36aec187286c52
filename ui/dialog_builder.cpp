#include "ui/dialog_builder.h"

#include <cstdlib>
#include <cstring>
#include <string>

#include "ui/markup.h"
#include "ui/render.h"
#include "ui/ui_button.h"
#include "ui/ui_container.h"
#include "ui/ui_edit.h"
#include "ui/ui_label.h"
#include "ui/ui_option.h"
#include "ui/ui_progress.h"
#include "ui/ui_rich_edit.h"

namespace DuiLib {

namespace {

// Includes may name each other; deeper chains than this are refused.
constexpr int kMaxIncludeDepth = 8;

bool IsTrue(const std::string* value) { return value && *value == "true"; }

bool LoadMarkup(STRINGorID xml, LPCTSTR type, std::string* bytes, std::string* error) {
  bytes->clear();
  if (IS_INTRESOURCE(xml.m_lpstr)) {
    HINSTANCE instance = CPaintManagerUI::GetInstance();
    HRSRC resource = ::FindResourceA(instance, xml.m_lpstr, type ? type : "XML");
    HGLOBAL loaded = resource ? ::LoadResource(instance, resource) : nullptr;
    const void* data = loaded ? ::LockResource(loaded) : nullptr;
    DWORD size = resource ? ::SizeofResource(instance, resource) : 0;
    if (!data) {
      *error = "layout resource not found";
      return false;
    }
    bytes->assign(static_cast<const char*>(data), size);
    return true;
  }
  if (!xml.m_lpstr || !*xml.m_lpstr) {
    *error = "no layout named";
    return false;
  }
  if (xml.m_lpstr[0] == '<') {
    *bytes = xml.m_lpstr;
    return true;
  }
  if (!CPaintManagerUI::LoadSkinFile(xml.m_lpstr, bytes)) {
    *error = std::string("layout file not found: ") + xml.m_lpstr;
    return false;
  }
  return true;
}

}  // namespace

CControlUI* CreateControlByClass(LPCTSTR pstrClass) {
  if (!pstrClass) return nullptr;
  std::string name = pstrClass;
  if (name == "Control") return new CControlUI;
  if (name == "Container") return new CContainerUI;
  if (name == "VerticalLayout") return new CVerticalLayoutUI;
  if (name == "HorizontalLayout") return new CHorizontalLayoutUI;
  if (name == "TabLayout") return new CTabLayoutUI;
  if (name == "Label" || name == "Text") return new CLabelUI;
  if (name == "Button") return new CButtonUI;
  if (name == "Option" || name == "CheckBox") return new COptionUI;
  if (name == "Edit") return new CEditUI;
  if (name == "RichEdit") return new CRichEditUI;
  if (name == "Progress") return new CProgressUI;
  return nullptr;
}

CDialogBuilder::CDialogBuilder() = default;
CDialogBuilder::~CDialogBuilder() = default;

CControlUI* CDialogBuilder::Create(STRINGorID xml, LPCTSTR type, IDialogBuilderCallback* pCallback,
                                   CPaintManagerUI* pManager, CControlUI* pParent) {
  m_pCallback = pCallback;
  m_sError.Empty();
  std::string bytes, error;
  if (!LoadMarkup(xml, type, &bytes, &error)) {
    m_sError = error;
    ::OutputDebugStringA((error + "\n").c_str());
    return nullptr;
  }
  CMarkup markup;
  if (!markup.Load(bytes.data(), bytes.size())) {
    CDuiString message;
    message.Format("layout is malformed at byte %u: %s",
                   static_cast<unsigned>(markup.GetErrorOffset()), markup.GetLastError().c_str());
    m_sError = message;
    ::OutputDebugStringA((message.str() + "\n").c_str());
    return nullptr;
  }
  const MarkupNode& root = *markup.Root();
  CControlUI* result = nullptr;
  if (root.name == "Window") {
    if (pManager) {
      for (const auto& attribute : root.attributes) {
        pManager->SetWindowAttribute(attribute.first.c_str(), Utf8ToAnsi(attribute.second).c_str());
      }
    }
    if (!ApplyWindow(root, pManager, 0)) return nullptr;
    result = BuildChildren(root, pParent, pManager, 0);
  } else {
    // A layout may also be a single control tree without a Window element.
    CControlUI* control = CreateControlByClass(root.name.c_str());
    if (!control && m_pCallback) control = m_pCallback->CreateControl(root.name.c_str());
    if (control) {
      for (const auto& attribute : root.attributes)
        control->SetAttribute(attribute.first.c_str(), Utf8ToAnsi(attribute.second).c_str());
      BuildChildren(root, control, pManager, 1);
      result = control;
    }
  }
  if (!result && m_sError.IsEmpty()) m_sError = "layout has no control";
  return result;
}

bool CDialogBuilder::ApplyWindow(const MarkupNode& node, CPaintManagerUI* pManager, int depth) {
  for (const auto& child : node.children) {
    if (child->name == "Font") {
      if (!pManager) continue;
      const std::string* id = child->Attribute("id");
      const std::string* name = child->Attribute("name");
      const std::string* size = child->Attribute("size");
      if (!name || !size) continue;
      pManager->AddFont(id ? std::atoi(id->c_str()) : -1, Utf8ToAnsi(*name).c_str(),
                        std::atoi(size->c_str()), IsTrue(child->Attribute("bold")),
                        IsTrue(child->Attribute("underline")), IsTrue(child->Attribute("italic")),
                        IsTrue(child->Attribute("default")));
    } else if (child->name == "Include") {
      const std::string* source = child->Attribute("source");
      if (!source) continue;
      if (depth >= kMaxIncludeDepth) {
        m_sError = "includes nested too deeply";
        return false;
      }
      std::string bytes, error;
      std::string file = Utf8ToAnsi(*source);
      if (!LoadMarkup(file.c_str(), nullptr, &bytes, &error)) {
        // A missing font table leaves the default font; the page still shows.
        ::OutputDebugStringA((error + "\n").c_str());
        continue;
      }
      CMarkup included;
      if (!included.Load(bytes.data(), bytes.size())) {
        ::OutputDebugStringA(("included layout is malformed: " + file + "\n").c_str());
        continue;
      }
      if (!ApplyWindow(*included.Root(), pManager, depth + 1)) return false;
    }
  }
  return true;
}

CControlUI* CDialogBuilder::BuildChildren(const MarkupNode& node, CControlUI* pParent,
                                          CPaintManagerUI* pManager, int depth) {
  CControlUI* first = nullptr;
  IContainerUI* container =
      pParent ? static_cast<IContainerUI*>(pParent->GetInterface("IContainer")) : nullptr;
  for (const auto& child : node.children) {
    const std::string& name = child->name;
    if (name == "Font" || name == "Include" || name == "Default" || name == "Image") continue;
    CControlUI* control = CreateControlByClass(name.c_str());
    if (!control && m_pCallback) control = m_pCallback->CreateControl(name.c_str());
    if (!control) {
      ::OutputDebugStringA(("unknown layout element skipped: " + name + "\n").c_str());
      continue;
    }
    // Attributes in file order: a repeated attribute's later value counts.
    for (const auto& attribute : child->attributes) {
      control->SetAttribute(attribute.first.c_str(), Utf8ToAnsi(attribute.second).c_str());
    }
    BuildChildren(*child, control, pManager, depth + 1);
    if (container) {
      container->Add(control);
    } else if (pParent) {
      // Children of a control that is not a container are dropped.
      delete control;
      continue;
    }
    if (!first) first = control;
    // Without a parent only the first control is the root; a second
    // top-level control has nowhere to go.
    if (!pParent && first != control) delete control;
  }
  return first;
}

}  // namespace DuiLib
