#include "pages/page_host.h"

const char kPageHome[] = "UI_HomePage";
const char kPageCustomInstall[] = "UI_CustomInstall";
const char kPageInstalling[] = "UI_Installing";
const char kPageInstallSuccess[] = "UI_InstallSuccess";

const char kSetupCaption[] = "Tarnis模拟器 安装";
const char kConfirmCloseText[] = "模拟器正在安装，\n确定要关闭模拟器吗?";
