// 7-Zip's published interface headers, included the same way everywhere in
// the archive client.
#pragma once

// Reference counts are changed with interlocked operations: the library may
// call progress methods from its decoder threads.
#ifndef Z7_COM_USE_ATOMIC
#define Z7_COM_USE_ATOMIC
#endif

// The lean Windows headers leave out the OLE types 7-Zip relies on.
#include <windows.h>
#include <objbase.h>
#include <oleauto.h>
#include <propidl.h>

#include "CPP/Common/MyWindows.h"
#include "CPP/Common/MyCom.h"
#include "CPP/7zip/Archive/IArchive.h"
#include "CPP/7zip/IPassword.h"
#include "CPP/7zip/IStream.h"
#include "CPP/7zip/PropID.h"

namespace tn {

// The library's 7z format handler, {23170F69-40C1-278A-1000-000110070000}.
extern const GUID kSevenZipHandlerClassId;

}  // namespace tn
