// libgcrypt (Debian's mingw-w64 build, linked in statically): Windows' own
// CNG has no Ed25519 before Windows 11 and Debian packages no OpenSSL for it.
#include <gcrypt.h>

#include <cstring>
#include <mutex>

#include "platform/Crypto.hpp"

namespace lumivox::platform {
namespace {

// The library must be initialised once before any other call; after that its
// calls are safe from any thread.
bool ready() {
    static std::once_flag once;
    static bool good = false;
    std::call_once(once, [] {
        if (gcry_check_version(GCRYPT_VERSION) == nullptr)
            return;  // an older library than the one built against
        // Nothing secret is held for long (a signing seed in the tools alone):
        // no locked memory pool, which would need privileges.
        gcry_control(GCRYCTL_DISABLE_SECMEM, 0);
        gcry_control(GCRYCTL_INITIALIZATION_FINISHED, 0);
        good = true;
    });
    return good;
}

struct SexpFree {
    void operator()(gcry_sexp_t sexp) const { gcry_sexp_release(sexp); }
};
using Sexp = std::unique_ptr<gcry_sexp, SexpFree>;

// Sizes go to gcry_sexp_build's %b as int.
int sizeOf(std::span<const std::uint8_t> bytes) {
    return static_cast<int>(bytes.size());
}

Sexp eddsaData(std::span<const std::uint8_t> message) {
    gcry_sexp_t data = nullptr;
    if (message.size() > 0x7fffffff ||
        gcry_sexp_build(&data, nullptr, "(data (flags eddsa) (hash-algo sha512) (value %b))",
                        sizeOf(message), message.data()) != 0)
        return nullptr;
    return Sexp(data);
}

// The 32 bytes of a signature's named part, or false.
bool signaturePart(gcry_sexp_t signature, const char* name, std::uint8_t* out) {
    Sexp part(gcry_sexp_find_token(signature, name, 0));
    std::size_t length = 0;
    const char* bytes = part ? gcry_sexp_nth_data(part.get(), 1, &length) : nullptr;
    if (bytes == nullptr || length != 32)
        return false;
    std::memcpy(out, bytes, length);
    return true;
}

// S < L, the order of the curve's base point, as RFC 8032 demands and OpenSSL
// checks: libgcrypt 1.10 also takes S + L, a second spelling of one signature.
bool canonicalScalar(const std::uint8_t* s) {
    static constexpr std::uint8_t kOrder[32] = {0xed, 0xd3, 0xf5, 0x5c, 0x1a, 0x63, 0x12, 0x58,
                                                0xd6, 0x9c, 0xf7, 0xa2, 0xde, 0xf9, 0xde, 0x14,
                                                0,    0,    0,    0,    0,    0,    0,    0,
                                                0,    0,    0,    0,    0,    0,    0,    0x10};
    for (int i = 31; i >= 0; --i) {  // little-endian: compare from the top byte down
        if (s[i] != kOrder[i])
            return s[i] < kOrder[i];
    }
    return false;  // equal to L
}

}  // namespace

struct Sha256Hasher::State {
    gcry_md_hd_t handle = nullptr;
    bool good = ready() && gcry_md_open(&handle, GCRY_MD_SHA256, 0) == 0;
    ~State() { gcry_md_close(handle); }
};

Sha256Hasher::Sha256Hasher() : state_(std::make_unique<State>()) {}
Sha256Hasher::~Sha256Hasher() = default;

bool Sha256Hasher::add(std::span<const std::uint8_t> bytes) {
    if (state_->good)
        gcry_md_write(state_->handle, bytes.data(), bytes.size());
    return state_->good;
}

std::optional<Sha256Digest> Sha256Hasher::finish() {
    const unsigned char* bytes =
        state_->good ? gcry_md_read(state_->handle, GCRY_MD_SHA256) : nullptr;
    state_->good = false;
    if (bytes == nullptr)
        return std::nullopt;
    Sha256Digest digest;
    std::memcpy(digest.data(), bytes, digest.size());
    return digest;
}

bool verifyEd25519(std::span<const std::uint8_t> publicKey, std::span<const std::uint8_t> signature,
                   std::span<const std::uint8_t> message) {
    if (publicKey.size() != 32 || signature.size() != 64 || !canonicalScalar(&signature[32]) ||
        !ready())
        return false;
    gcry_sexp_t key = nullptr;
    gcry_sexp_t value = nullptr;
    if (gcry_sexp_build(&key, nullptr, "(public-key (ecc (curve Ed25519) (flags eddsa) (q %b)))",
                        sizeOf(publicKey), publicKey.data()) != 0)
        return false;
    Sexp keyHolder(key);
    if (gcry_sexp_build(&value, nullptr, "(sig-val (eddsa (r %b) (s %b)))", 32, signature.data(),
                        32, signature.data() + 32) != 0)
        return false;
    Sexp valueHolder(value);
    const Sexp data = eddsaData(message);
    return data && gcry_pk_verify(value, data.get(), key) == 0;
}

std::optional<Ed25519Signature> signEd25519(std::span<const std::uint8_t> seed,
                                            std::span<const std::uint8_t> message) {
    if (seed.size() != 32 || !ready())
        return std::nullopt;
    gcry_sexp_t key = nullptr;
    if (gcry_sexp_build(&key, nullptr, "(private-key (ecc (curve Ed25519) (flags eddsa) (d %b)))",
                        sizeOf(seed), seed.data()) != 0)
        return std::nullopt;
    Sexp keyHolder(key);
    const Sexp data = eddsaData(message);
    gcry_sexp_t result = nullptr;
    if (!data || gcry_pk_sign(&result, data.get(), key) != 0)
        return std::nullopt;
    Sexp resultHolder(result);
    Ed25519Signature signature;
    if (!signaturePart(result, "r", signature.data()) ||
        !signaturePart(result, "s", signature.data() + 32))
        return std::nullopt;
    return signature;
}

}  // namespace lumivox::platform
