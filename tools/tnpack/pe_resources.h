// Reads resources out of a Windows executable image held in memory.
#pragma once

#include <cstdint>
#include <string>

namespace tnpack {

// True when |image| starts with a DOS header whose e_lfanew leads to a
// "PE\0\0" signature and a PE32 or PE32+ optional header.
bool IsPortableExecutable(const std::string& image);

// Finds the resource of type |type_name| (a named type such as "INI",
// compared without regard to letter case) and numeric id |id|, in its first
// language, and copies its bytes to |*data|. False when the image has no
// such resource or its directory is malformed; |*error| then says why.
bool FindNamedTypeResource(const std::string& image, const std::string& type_name, uint32_t id,
                           std::string* data, std::string* error);

}  // namespace tnpack
