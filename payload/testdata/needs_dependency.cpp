// An archive library stand-in that imports a library from its own folder.
#include <windows.h>

extern "C" __declspec(dllimport) int DependencyValue();

extern "C" __declspec(dllexport) HRESULT WINAPI
    CreateObject(const GUID*, const GUID*, void** object) {
  if (object) *object = nullptr;
  return DependencyValue() == 7 ? E_NOTIMPL : E_FAIL;
}
