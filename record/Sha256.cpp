#include "record/Sha256.h"

#include <openssl/evp.h>

#include <array>
#include <fstream>
#include <memory>
#include <stdexcept>

namespace lut::record {
namespace {

class Digest {
  public:
    Digest() : context_(EVP_MD_CTX_new(), &EVP_MD_CTX_free) {
        if (!context_ || EVP_DigestInit_ex(context_.get(), EVP_sha256(), nullptr) != 1) {
            throw std::runtime_error("SHA-256 is not available");
        }
    }

    void Add(std::string_view bytes) { EVP_DigestUpdate(context_.get(), bytes.data(), bytes.size()); }

    std::string Hex() {
        std::array<unsigned char, EVP_MAX_MD_SIZE> value{};
        unsigned int size = 0;
        EVP_DigestFinal_ex(context_.get(), value.data(), &size);
        static constexpr char Digits[] = "0123456789abcdef";
        std::string hex;
        for (unsigned int i = 0; i < size; ++i) {
            hex += Digits[value[i] >> 4];
            hex += Digits[value[i] & 0x0F];
        }
        return hex;
    }

  private:
    std::unique_ptr<EVP_MD_CTX, decltype(&EVP_MD_CTX_free)> context_;
};

}  // namespace

std::string Sha256Hex(std::string_view bytes) {
    Digest digest;
    digest.Add(bytes);
    return digest.Hex();
}

std::optional<std::string> FileSha256Hex(const std::filesystem::path& file) {
    std::ifstream in(file, std::ios::binary);
    if (!in) {
        return std::nullopt;
    }
    Digest digest;
    std::array<char, 64 * 1024> chunk{};
    while (in.read(chunk.data(), chunk.size()) || in.gcount() > 0) {
        digest.Add(std::string_view(chunk.data(), static_cast<std::size_t>(in.gcount())));
    }
    if (in.bad()) {
        return std::nullopt;
    }
    return digest.Hex();
}

}  // namespace lut::record
