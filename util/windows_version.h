// The Windows version as the kernel reports it, regardless of the
// compatibility the executable declares in its manifest.
#pragma once

// True when the running Windows reports NT version 10.0 (Windows 10 and 11).
bool IsNtVersion10();
