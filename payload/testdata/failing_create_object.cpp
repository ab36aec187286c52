// A library whose "CreateObject" refuses every class.
#include <windows.h>

extern "C" __declspec(dllexport) HRESULT WINAPI
    CreateObject(const GUID*, const GUID*, void** object) {
  if (object) *object = nullptr;
  return E_NOTIMPL;
}
