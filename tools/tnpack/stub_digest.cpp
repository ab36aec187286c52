#include "tools/tnpack/stub_digest.h"

#include <openssl/evp.h>

#include <memory>

namespace tnpack {
namespace {

void Put32(std::string* bytes, uint64_t offset, uint32_t value) {
  for (int i = 0; i < 4; ++i) (*bytes)[offset + i] = static_cast<char>((value >> (8 * i)) & 0xFF);
}

}  // namespace

uint32_t PeChecksum(const std::string& file, uint64_t checksum_field) {
  uint64_t sum = 0;
  const size_t size = file.size();
  for (size_t at = 0; at < size; at += 2) {
    if (at >= checksum_field && at < checksum_field + 4) continue;
    uint32_t word = static_cast<unsigned char>(file[at]);
    if (at + 1 < size) word |= static_cast<uint32_t>(static_cast<unsigned char>(file[at + 1])) << 8;
    sum += word;
    sum = (sum & 0xFFFF) + (sum >> 16);
  }
  sum = (sum & 0xFFFF) + (sum >> 16);
  return static_cast<uint32_t>(sum + size);
}

bool UnsignedStubImage(const std::string& head, const PeHeaders& headers, std::string* image,
                       std::string* error) {
  if (head.size() < headers.image_end) {
    *error = "the file ends before its executable image does";
    return false;
  }
  image->assign(head, 0, static_cast<size_t>(headers.image_end));
  if (headers.certificate_size == 0 && headers.certificate_offset == 0) return true;
  if (headers.certificate_entry == 0 || headers.certificate_entry + 8 > image->size() ||
      headers.checksum_field + 4 > image->size()) {
    *error = "the signature's header fields lie outside the image";
    return false;
  }
  Put32(image, headers.certificate_entry, 0);
  Put32(image, headers.certificate_entry + 4, 0);
  Put32(image, headers.checksum_field, PeChecksum(*image, headers.checksum_field));
  return true;
}

std::string Sha256Hex(const std::string& bytes) {
  unsigned char digest[EVP_MAX_MD_SIZE];
  unsigned int length = 0;
  std::unique_ptr<EVP_MD_CTX, decltype(&EVP_MD_CTX_free)> context(EVP_MD_CTX_new(),
                                                                  &EVP_MD_CTX_free);
  if (!context || EVP_DigestInit_ex(context.get(), EVP_sha256(), nullptr) != 1 ||
      EVP_DigestUpdate(context.get(), bytes.data(), bytes.size()) != 1 ||
      EVP_DigestFinal_ex(context.get(), digest, &length) != 1) {
    return std::string();
  }
  static const char kDigits[] = "0123456789abcdef";
  std::string text;
  for (unsigned int i = 0; i < length; ++i) {
    text += kDigits[digest[i] >> 4];
    text += kDigits[digest[i] & 0xF];
  }
  return text;
}

}  // namespace tnpack
