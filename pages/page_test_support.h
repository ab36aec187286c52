// Helpers shared by the tests of the pages and of the main window.
#pragma once

#include <gtest/gtest.h>

#include "config/ini_info_manager.h"

// Registers the installer's own skin package, read once from the build
// tree, with the framework. False when the package is missing.
bool UseShippedSkin();

// A test of windows built from the installer's own skin, with the
// configuration table cleared before and after each test. A derived SetUp
// calls this one first and stops when it failed.
class SkinnedWindowTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { skin_loaded_ = UseShippedSkin(); }
  void SetUp() override {
    ASSERT_TRUE(skin_loaded_) << "skin.zip missing";
    config()->ClearAll();
  }
  void TearDown() override { config()->ClearAll(); }
  static CIniInfoManager* config() { return CIniInfoManager::GetInstance(); }

 private:
  static bool skin_loaded_;
};
