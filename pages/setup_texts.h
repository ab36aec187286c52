// The texts that more than one part of the installer shows (GBK).
#pragma once

// Caption of every installer message box.
extern const char kSetupCaption[];
// Asked before the installer is closed from the welcome and options pages.
extern const char kConfirmCloseText[];
