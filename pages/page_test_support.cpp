#include "pages/page_test_support.h"

#include <windows.h>

#include <string>

#include "tests/support/test_support.h"
#include "ui/UIlib.h"

bool SkinnedWindowTest::skin_loaded_ = false;

bool UseShippedSkin() {
  // The framework keeps reading from the package: it lives for the process.
  static const std::string* const package =
      new std::string(tn_test::ReadFileBytes(tn_test::BuildPath("skin\\skin.zip")));
  if (package->empty()) return false;
  DuiLib::CPaintManagerUI::SetInstance(GetModuleHandleA(nullptr));
  DuiLib::CPaintManagerUI::SetResourceZip(const_cast<char*>(package->data()),
                                          static_cast<unsigned>(package->size()));
  return true;
}
