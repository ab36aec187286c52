#include "pages/page_host.h"

const char kPageHome[] = "UI_HomePage";
const char kPageCustomInstall[] = "UI_CustomInstall";
const char kPageInstalling[] = "UI_Installing";
const char kPageInstallSuccess[] = "UI_InstallSuccess";
