// Whether the product's hypervisor, VMware Workstation 14, has to be set up:
// read from the registry entries an installation of it leaves behind.
#pragma once

// Major version the product needs, exactly.
constexpr int kRequiredHypervisorMajorVersion = 14;

// The access mask for the hypervisor's keys: KEY_READ with the 64-bit
// registry view, except on Itanium systems, where KEY_READ alone.
unsigned long HypervisorKeyAccess();

// True unless HKLM "...\App Paths\vmware.exe" opens and the installed
// version's major number is 14. Every failure to read counts as "needed".
bool IsHypervisorSetupNeeded();

// The major number of HKLM "SOFTWARE\Wow6432Node\VMware, Inc.\VMware
// Workstation" ProductVersion (REG_SZ or REG_EXPAND_SZ, at most 1024 bytes,
// NUL-terminated): the decimal number before the first "."; 0 when the key
// or value cannot be read or holds no leading number.
int GetHypervisorMajorVersion();

// The leading decimal integer of |text|: white space skipped, an optional
// sign, digits up to the first other character; 0 without digits.
int ParseMajorVersion(const char* text);
