#include "pages/setup_texts.h"

const char kSetupCaption[] = "Tarnis模拟器 安装";
const char kConfirmCloseText[] = "模拟器正在安装，\n确定要关闭模拟器吗?";
