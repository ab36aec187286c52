// The SHA-256 that names the installer stub inside a finished installer,
// comparable with `sha256sum` of the unsigned stub the build made.
//
// The stub image is bytes 0 to the end of the headers or of the last
// section's raw data (PeHeaders::image_end); for the build's stub, which is
// stripped and carries nothing behind its sections, that is the whole file.
// tnpack copies the stub unchanged, so an unsigned installer holds its image
// as it was. Signing the finished installer rewrites two fields of the
// image: the certificate table's directory entry and the optional header's
// checksum. For a signed installer both are put back the way the unsigned
// stub has them: the entry zero (tnpack packs no signed stub) and the
// checksum computed over the image, as the linker writes it.
#pragma once

#include <cstdint>
#include <string>

#include "tools/tnpack/pe_resources.h"

namespace tnpack {

// The PE checksum of |file| as the linker, osslsigncode and Windows'
// CheckSumMappedFile compute it: 16-bit words summed with end-around
// carry, leaving out the checksum field at |checksum_field|, plus the
// file's length.
uint32_t PeChecksum(const std::string& file, uint64_t checksum_field);

// The stub image of an installer whose first bytes are |head| (at least
// headers.image_end of them) and whose headers are |headers|, with the
// fields that signing rewrote put back. False with |*error| set when |head|
// is too short or the fields lie outside it.
bool UnsignedStubImage(const std::string& head, const PeHeaders& headers, std::string* image,
                       std::string* error);

// 64 lower-case hexadecimal digits, as sha256sum prints them.
std::string Sha256Hex(const std::string& bytes);

}  // namespace tnpack
