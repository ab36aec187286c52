// The installer's run from process start to the end of the main window.
#pragma once

#include <windows.h>

// Registers the skin package (resource "ZIP" 129 of |instance|) with the
// framework, without copying it. False when the resource is missing or
// cannot be mapped, or is not a readable package.
bool LoadSkinResource(HINSTANCE instance);

// Start-up checks, single-instance mutex, main window and its modal loop.
// Every refusal ends after its message box; the exit code is always 0.
int RunInstaller(HINSTANCE instance);
