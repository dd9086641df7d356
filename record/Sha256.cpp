#include "record/Sha256.h"

#ifdef _WIN32
#include <windows.h>
// windows.h first: bcrypt.h needs its types.
#include <bcrypt.h>
#else
#include <openssl/evp.h>
#endif

#include <array>
#include <memory>
#include <stdexcept>

namespace lut::record {
namespace {

std::string HexOf(const unsigned char* value, std::size_t size) {
    static constexpr char Digits[] = "0123456789abcdef";
    std::string hex;
    for (std::size_t i = 0; i < size; ++i) {
        hex += Digits[value[i] >> 4];
        hex += Digits[value[i] & 0x0F];
    }
    return hex;
}

#ifdef _WIN32
// The system's own cryptography (CNG) on Windows.
class Digest {
  public:
    Digest() {
        if (BCryptOpenAlgorithmProvider(&algorithm_, BCRYPT_SHA256_ALGORITHM, nullptr, 0) != 0 ||
            BCryptCreateHash(algorithm_, &hash_, nullptr, 0, nullptr, 0, 0) != 0) {
            Release();
            throw std::runtime_error("SHA-256 is not available");
        }
    }
    ~Digest() { Release(); }
    Digest(const Digest&) = delete;
    Digest& operator=(const Digest&) = delete;

    void Add(std::string_view bytes) {
        BCryptHashData(hash_, reinterpret_cast<PUCHAR>(const_cast<char*>(bytes.data())),
                       static_cast<ULONG>(bytes.size()), 0);
    }

    std::string Hex() {
        std::array<unsigned char, 32> value{};
        BCryptFinishHash(hash_, value.data(), static_cast<ULONG>(value.size()), 0);
        return HexOf(value.data(), value.size());
    }

  private:
    void Release() {
        if (hash_ != nullptr) {
            BCryptDestroyHash(hash_);
        }
        if (algorithm_ != nullptr) {
            BCryptCloseAlgorithmProvider(algorithm_, 0);
        }
    }

    BCRYPT_ALG_HANDLE algorithm_ = nullptr;
    BCRYPT_HASH_HANDLE hash_ = nullptr;
};
#else
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
        return HexOf(value.data(), size);
    }

  private:
    std::unique_ptr<EVP_MD_CTX, decltype(&EVP_MD_CTX_free)> context_;
};
#endif

}  // namespace

std::string Sha256Hex(std::string_view bytes) {
    Digest digest;
    digest.Add(bytes);
    return digest.Hex();
}

std::string Sha256OfHexText(std::string_view hex) {
    const auto value = [](char digit) {
        return static_cast<unsigned char>(digit <= '9' ? digit - '0' : (digit & ~0x20) - 'A' + 10);
    };
    Digest digest;
    std::array<char, 64 * 1024> chunk{};
    while (hex.size() >= 2) {
        std::size_t filled = 0;
        for (; filled < chunk.size() && hex.size() >= 2; ++filled, hex.remove_prefix(2)) {
            chunk[filled] = static_cast<char>(value(hex[0]) << 4 | value(hex[1]));
        }
        digest.Add(std::string_view(chunk.data(), filled));
    }
    return digest.Hex();
}

}  // namespace lut::record
