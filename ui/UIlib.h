// The skinned window framework, in one include for the pages.
#pragma once

#include <windows.h>

#include "ui/delegate.h"
#include "ui/dialog_builder.h"
#include "ui/ui_button.h"
#include "ui/ui_container.h"
#include "ui/ui_control.h"
#include "ui/ui_edit.h"
#include "ui/ui_label.h"
#include "ui/ui_manager.h"
#include "ui/ui_option.h"
#include "ui/ui_progress.h"
#include "ui/ui_rich_edit.h"
#include "ui/ui_string.h"
#include "ui/window_impl_base.h"
#include "ui/window_wnd.h"
