// SHA-256 and Ed25519 through OpenSSL's libcrypto, opened when an update is
// first checked (most runs never check one), not linked: the program starts
// without it. Without the library every check fails, so no update is trusted.
#include <openssl/evp.h>

#include <mutex>

#include "platform/Crypto.hpp"
#include "platform/linux/LibraryOnDemand.hpp"

namespace lumivox::platform {
namespace {

constexpr const char* kLibrary = "libcrypto.so.3";

#define LUMIVOX_CRYPTO_FUNCTIONS(X)                                                             \
    X(EVP_MD_CTX_new) X(EVP_MD_CTX_free) X(EVP_DigestInit_ex) X(EVP_sha256) X(EVP_DigestUpdate) \
    X(EVP_DigestFinal_ex) X(EVP_PKEY_new_raw_public_key) X(EVP_PKEY_new_raw_private_key)       \
    X(EVP_PKEY_free) X(EVP_DigestVerifyInit) X(EVP_DigestVerify) X(EVP_DigestSignInit)          \
    X(EVP_DigestSign)

struct Crypto {
#define LUMIVOX_MEMBER(name) decltype(&::name) name = nullptr;
    LUMIVOX_CRYPTO_FUNCTIONS(LUMIVOX_MEMBER)
#undef LUMIVOX_MEMBER
    bool loaded = false;
};

// The entry points, found on the first call; all null when the library failed.
const Crypto& crypto() {
    static Crypto table;
    static std::once_flag once;
#define LUMIVOX_SLOT(name) {#name, reinterpret_cast<void**>(&table.name)},
    std::call_once(once, [] {
        table.loaded = openLibrary(kLibrary, {LUMIVOX_CRYPTO_FUNCTIONS(LUMIVOX_SLOT)},
                                   "updates cannot be verified, so none is taken",
                                   "Install OpenSSL's library (Debian: libssl3).");
    });
#undef LUMIVOX_SLOT
    return table;
}

struct KeyFree {
    void operator()(EVP_PKEY* key) const { crypto().EVP_PKEY_free(key); }
};
struct ContextFree {
    void operator()(EVP_MD_CTX* context) const { crypto().EVP_MD_CTX_free(context); }
};
using Key = std::unique_ptr<EVP_PKEY, KeyFree>;
using Context = std::unique_ptr<EVP_MD_CTX, ContextFree>;

}  // namespace

struct Sha256Hasher::State {
    const Crypto& api = crypto();
    Context context{api.loaded ? api.EVP_MD_CTX_new() : nullptr};
    bool good = context && api.EVP_DigestInit_ex(context.get(), api.EVP_sha256(), nullptr) == 1;
};

Sha256Hasher::Sha256Hasher() : state_(std::make_unique<State>()) {}
Sha256Hasher::~Sha256Hasher() = default;

bool Sha256Hasher::add(std::span<const std::uint8_t> bytes) {
    state_->good =
        state_->good &&
        state_->api.EVP_DigestUpdate(state_->context.get(), bytes.data(), bytes.size()) == 1;
    return state_->good;
}

std::optional<Sha256Digest> Sha256Hasher::finish() {
    Sha256Digest digest;
    unsigned int length = 0;
    const bool good = state_->good &&
                      state_->api.EVP_DigestFinal_ex(state_->context.get(), digest.data(),
                                                     &length) == 1 &&
                      length == digest.size();
    state_->good = false;
    return good ? std::optional(digest) : std::nullopt;
}

bool verifyEd25519(std::span<const std::uint8_t> publicKey, std::span<const std::uint8_t> signature,
                   std::span<const std::uint8_t> message) {
    const Crypto& api = crypto();
    if (!api.loaded || publicKey.size() != 32 || signature.size() != 64)
        return false;
    Key key(api.EVP_PKEY_new_raw_public_key(EVP_PKEY_ED25519, nullptr, publicKey.data(),
                                            publicKey.size()));
    Context context(api.EVP_MD_CTX_new());
    if (!key || !context ||
        api.EVP_DigestVerifyInit(context.get(), nullptr, nullptr, nullptr, key.get()) != 1)
        return false;
    return api.EVP_DigestVerify(context.get(), signature.data(), signature.size(), message.data(),
                                message.size()) == 1;
}

std::optional<Ed25519Signature> signEd25519(std::span<const std::uint8_t> seed,
                                            std::span<const std::uint8_t> message) {
    const Crypto& api = crypto();
    if (!api.loaded || seed.size() != 32)
        return std::nullopt;
    Key key(api.EVP_PKEY_new_raw_private_key(EVP_PKEY_ED25519, nullptr, seed.data(), seed.size()));
    Context context(api.EVP_MD_CTX_new());
    if (!key || !context ||
        api.EVP_DigestSignInit(context.get(), nullptr, nullptr, nullptr, key.get()) != 1)
        return std::nullopt;
    Ed25519Signature signature;
    std::size_t length = signature.size();
    if (api.EVP_DigestSign(context.get(), signature.data(), &length, message.data(),
                           message.size()) != 1 ||
        length != signature.size())
        return std::nullopt;
    return signature;
}

}  // namespace lumivox::platform
