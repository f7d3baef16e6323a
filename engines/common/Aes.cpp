// libgcrypt behind the engines' AES: the one file that talks to it.
#include "engines/common/Aes.h"

#include <gcrypt.h>

#include <algorithm>

#include "platform/Files.h"

namespace engines {
namespace {

constexpr int kPbkdf2Iterations = 1000;
constexpr size_t kBlock = 16;
// Counter blocks encrypted at once: one library call for many blocks keeps the mode fast.
constexpr size_t kKeystreamBlocks = 256;

// The library must be told once that it is ready before any other call; its secure memory (for
// long-lived secret keys) is not needed by a program that holds a key for one entry.
void InitialiseLibrary() {
    static const bool ready = [] {
        if (!gcry_check_version(GCRYPT_VERSION)) return false;
        gcry_control(GCRYCTL_DISABLE_SECMEM, 0);
        gcry_control(GCRYCTL_INITIALIZATION_FINISHED, 0);
        return true;
    }();
    if (!ready) platform::RaiseFileError("The encryption library cannot start.");
}

void Check(gcry_error_t error) {
    if (error) platform::RaiseFileError(std::string("The encryption library failed: ") + gcry_strerror(error));
}

}  // namespace

AesKeys DeriveAesKeys(const std::string& password, const uint8_t* salt, uint8_t strength) {
    InitialiseLibrary();
    const size_t keyLength = zip::AesKeyLength(strength);
    std::vector<uint8_t> derived(2 * keyLength + zip::kAesVerifierLength);
    Check(gcry_kdf_derive(password.data(), password.size(), GCRY_KDF_PBKDF2, GCRY_MD_SHA1, salt,
                          zip::AesSaltLength(strength), kPbkdf2Iterations, derived.size(), derived.data()));
    AesKeys keys;
    keys.cipherKey.assign(derived.begin(), derived.begin() + keyLength);
    keys.macKey.assign(derived.begin() + keyLength, derived.begin() + 2 * keyLength);
    std::copy(derived.end() - zip::kAesVerifierLength, derived.end(), keys.verifier.begin());
    return keys;
}

// The library's own CTR mode counts big-endian; the format counts little-endian, so the counter
// blocks are made here and encrypted in ECB mode.
// Each state closes its handle itself, so a constructor that fails after the open releases it too.
struct AesCtr::State {
    ~State() { gcry_cipher_close(cipher); }
    gcry_cipher_hd_t cipher = nullptr;
    uint64_t counter = 0;
    std::array<uint8_t, kBlock * kKeystreamBlocks> keystream{};
    size_t used = kBlock * kKeystreamBlocks;
};

AesCtr::AesCtr(const std::vector<uint8_t>& key) : state_(std::make_unique<State>()) {
    InitialiseLibrary();
    const int algorithm = key.size() == 16 ? GCRY_CIPHER_AES128 : key.size() == 24 ? GCRY_CIPHER_AES192 : GCRY_CIPHER_AES256;
    Check(gcry_cipher_open(&state_->cipher, algorithm, GCRY_CIPHER_MODE_ECB, 0));
    Check(gcry_cipher_setkey(state_->cipher, key.data(), key.size()));
}

AesCtr::~AesCtr() = default;

void AesCtr::Refill() {
    std::array<uint8_t, kBlock * kKeystreamBlocks>& stream = state_->keystream;
    stream.fill(0);
    for (size_t block = 0; block < kKeystreamBlocks; ++block) {
        const uint64_t counter = ++state_->counter;
        for (size_t i = 0; i < 8; ++i) stream[block * kBlock + i] = static_cast<uint8_t>(counter >> (8 * i));
    }
    Check(gcry_cipher_encrypt(state_->cipher, stream.data(), stream.size(), nullptr, 0));
    state_->used = 0;
}

void AesCtr::Apply(uint8_t* bytes, size_t count) {
    while (count > 0) {
        if (state_->used == state_->keystream.size()) Refill();
        const size_t take = std::min(count, state_->keystream.size() - state_->used);
        const uint8_t* key = state_->keystream.data() + state_->used;
        for (size_t i = 0; i < take; ++i) bytes[i] ^= key[i];
        state_->used += take;
        bytes += take;
        count -= take;
    }
}

struct AesMac::State {
    ~State() { gcry_md_close(md); }
    gcry_md_hd_t md = nullptr;
};

AesMac::AesMac(const std::vector<uint8_t>& key) : state_(std::make_unique<State>()) {
    InitialiseLibrary();
    Check(gcry_md_open(&state_->md, GCRY_MD_SHA1, GCRY_MD_FLAG_HMAC));
    Check(gcry_md_setkey(state_->md, key.data(), key.size()));
}

AesMac::~AesMac() = default;

void AesMac::Update(const uint8_t* bytes, size_t count) { gcry_md_write(state_->md, bytes, count); }

std::array<uint8_t, zip::kAesMacLength> AesMac::Code() {
    const uint8_t* full = gcry_md_read(state_->md, GCRY_MD_SHA1);
    std::array<uint8_t, zip::kAesMacLength> code{};
    std::copy(full, full + code.size(), code.begin());
    return code;
}

AesSealer::AesSealer(const std::string& password, uint8_t strength) {
    header_.resize(zip::AesSaltLength(strength));
    RandomBytes(header_.data(), header_.size());
    const AesKeys keys = DeriveAesKeys(password, header_.data(), strength);
    header_.insert(header_.end(), keys.verifier.begin(), keys.verifier.end());
    ctr_ = std::make_unique<AesCtr>(keys.cipherKey);
    mac_ = std::make_unique<AesMac>(keys.macKey);
}

void AesSealer::Encrypt(uint8_t* bytes, size_t count) {
    ctr_->Apply(bytes, count);
    mac_->Update(bytes, count);
}

void RandomBytes(uint8_t* bytes, size_t count) {
    InitialiseLibrary();
    gcry_randomize(bytes, count, GCRY_STRONG_RANDOM);
}

}  // namespace engines
