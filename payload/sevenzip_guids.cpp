// Defines the interface ids declared by 7-Zip's headers: with INITGUID in
// effect, its Z7_DEFINE_GUID emits definitions. This is the only such file.
#include <windows.h>
#include <objbase.h>
#include <oleauto.h>
#include <propidl.h>

#define INITGUID
#include "payload/sevenzip_interfaces.h"

namespace tn {

const GUID kSevenZipHandlerClassId = {
    0x23170F69, 0x40C1, 0x278A, {0x10, 0x00, 0x00, 0x01, 0x10, 0x07, 0x00, 0x00}};

}  // namespace tn
