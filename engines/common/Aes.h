// AES as ZIP entries use it: keys from the password by PBKDF2-HMAC-SHA1, CTR mode with a
// little-endian counter from 1, and a 10-byte HMAC-SHA1 over the encrypted bytes; libgcrypt does
// the cryptography.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "zipformat/ZipRecords.h"

namespace engines {

// What one password and salt give: the cipher key, the authentication key and the check value.
struct AesKeys {
    std::vector<uint8_t> cipherKey;
    std::vector<uint8_t> macKey;
    std::array<uint8_t, zip::kAesVerifierLength> verifier{};
};
AesKeys DeriveAesKeys(const std::string& password, const uint8_t* salt, uint8_t strength);

// The CTR keystream: encrypting and decrypting are one operation. Pieces of any size follow on.
class AesCtr {
public:
    explicit AesCtr(const std::vector<uint8_t>& key);
    ~AesCtr();
    AesCtr(const AesCtr&) = delete;
    AesCtr& operator=(const AesCtr&) = delete;

    void Apply(uint8_t* bytes, size_t count);

private:
    void Refill();

    struct State;
    std::unique_ptr<State> state_;
};

// The authentication code of the encrypted bytes, fed in pieces.
class AesMac {
public:
    explicit AesMac(const std::vector<uint8_t>& key);
    ~AesMac();
    AesMac(const AesMac&) = delete;
    AesMac& operator=(const AesMac&) = delete;

    void Update(const uint8_t* bytes, size_t count);
    // The first kAesMacLength bytes of the HMAC, as the entry stores them.
    std::array<uint8_t, zip::kAesMacLength> Code();

private:
    struct State;
    std::unique_ptr<State> state_;
};

// Encrypts one entry's data as it is written: a fresh salt and the check value go in front of the
// data, the authentication code behind it.
class AesSealer {
public:
    AesSealer(const std::string& password, uint8_t strength);
    const std::vector<uint8_t>& Header() const { return header_; }
    void Encrypt(uint8_t* bytes, size_t count);
    std::array<uint8_t, zip::kAesMacLength> Code() { return mac_->Code(); }

private:
    std::vector<uint8_t> header_;
    std::unique_ptr<AesCtr> ctr_;
    std::unique_ptr<AesMac> mac_;
};

// The strength our engines write: AES-256.
constexpr uint8_t kAesStrength256 = 3;

// Unpredictable bytes for salts, from the system's random source.
void RandomBytes(uint8_t* bytes, size_t count);

}  // namespace engines
