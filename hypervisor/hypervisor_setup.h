// The hypervisor's silent setup: "VMware14.exe" from the install directory,
// run from a batch file through the command interpreter on a detached
// worker thread, which posts the caller's message (the installing page's
// WM_HYPERVISOR_INSTALLED) when it has ended.
#pragma once

#include <windows.h>

#include <string>

#include "util/keep_alive.h"

constexpr char kHypervisorSetupProgram[] = "VMware14.exe";
constexpr char kHypervisorBatchFile[] = "Vmware.bat";
// Everything of the setup's command line after the program's path.
constexpr char kHypervisorSetupSwitches[] =
    " /s /pass /v/qn REBOOT=Suppress EULAS_AGREED=1 "
    "INSTALLDIR=\"C:\\Program Files (x86)\\VMware\" ADDLOCAL=ALL";

// Ends "vmware-vmx.exe", "vmware.exe" and "vmplayer.exe" where they run,
// then pauses 200 ms (|keep_alive| runs meanwhile). Called when an
// installation starts.
void TerminateHypervisorProcesses(const KeepAlive& keep_alive = KeepAlive());

// |directory| with every component that the command interpreter would not
// take as it is enclosed in double quotes: components holding a space or
// one of & ^ ( ) % !. A "%" is doubled so that it survives a batch file.
// "C:\Program Files\ZEVodirodaz" gives C:\"Program Files"\ZEVodirodaz; a
// path of plain components comes back unchanged; "C:\" stays "C:\".
std::string QuoteDirectoryForCmd(const std::string& directory);

// The batch file's text: the quoted directory, "\VMware14.exe" and the
// switches, then "exit", each line ending in CR LF.
std::string HypervisorBatchText(const std::string& quoted_directory);

// Ends "vmware-vmx.exe" and "vmware.exe" (not "vmplayer.exe"), pauses
// 200 ms, and starts the setup's worker thread for |install_dir|; |page|
// receives |done_message| (wParam and lParam 0) when the setup has ended,
// whether it succeeded or not. The caller starts its status timer. False
// when no thread could be started (the message is then posted at once).
bool StartHypervisorSetup(HWND page, UINT done_message, const std::string& install_dir);

// Thread body. Writes "<install dir>\Vmware.bat" afresh (a file or link of
// that name is replaced, never written through), runs it hidden through the
// system's command interpreter with the install directory as its working
// folder, waits for it without time limit, then posts the done message to
// the page. Takes ownership of |parameter|.
DWORD WINAPI HypervisorSetupThread(LPVOID parameter);

// Deletes "Vmware.bat" (when it exists) and "VMware14.exe" from
// |install_dir|.
void RemoveHypervisorSetupFiles(const std::string& install_dir);
