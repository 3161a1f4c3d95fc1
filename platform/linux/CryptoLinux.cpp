#include <openssl/evp.h>

#include "platform/Crypto.hpp"

namespace lumivox::platform {
namespace {

struct KeyFree {
    void operator()(EVP_PKEY* key) const { EVP_PKEY_free(key); }
};
struct ContextFree {
    void operator()(EVP_MD_CTX* context) const { EVP_MD_CTX_free(context); }
};
using Key = std::unique_ptr<EVP_PKEY, KeyFree>;
using Context = std::unique_ptr<EVP_MD_CTX, ContextFree>;

}  // namespace

struct Sha256Hasher::State {
    Context context{EVP_MD_CTX_new()};
    bool good = context && EVP_DigestInit_ex(context.get(), EVP_sha256(), nullptr) == 1;
};

Sha256Hasher::Sha256Hasher() : state_(std::make_unique<State>()) {}
Sha256Hasher::~Sha256Hasher() = default;

bool Sha256Hasher::add(std::span<const std::uint8_t> bytes) {
    state_->good =
        state_->good && EVP_DigestUpdate(state_->context.get(), bytes.data(), bytes.size()) == 1;
    return state_->good;
}

std::optional<Sha256Digest> Sha256Hasher::finish() {
    Sha256Digest digest;
    unsigned int length = 0;
    const bool good = state_->good &&
                      EVP_DigestFinal_ex(state_->context.get(), digest.data(), &length) == 1 &&
                      length == digest.size();
    state_->good = false;
    return good ? std::optional(digest) : std::nullopt;
}

bool verifyEd25519(std::span<const std::uint8_t> publicKey, std::span<const std::uint8_t> signature,
                   std::span<const std::uint8_t> message) {
    if (publicKey.size() != 32 || signature.size() != 64)
        return false;
    Key key(
        EVP_PKEY_new_raw_public_key(EVP_PKEY_ED25519, nullptr, publicKey.data(), publicKey.size()));
    Context context(EVP_MD_CTX_new());
    if (!key || !context ||
        EVP_DigestVerifyInit(context.get(), nullptr, nullptr, nullptr, key.get()) != 1)
        return false;
    return EVP_DigestVerify(context.get(), signature.data(), signature.size(), message.data(),
                            message.size()) == 1;
}

std::optional<Ed25519Signature> signEd25519(std::span<const std::uint8_t> seed,
                                            std::span<const std::uint8_t> message) {
    if (seed.size() != 32)
        return std::nullopt;
    Key key(EVP_PKEY_new_raw_private_key(EVP_PKEY_ED25519, nullptr, seed.data(), seed.size()));
    Context context(EVP_MD_CTX_new());
    if (!key || !context ||
        EVP_DigestSignInit(context.get(), nullptr, nullptr, nullptr, key.get()) != 1)
        return std::nullopt;
    Ed25519Signature signature;
    std::size_t length = signature.size();
    if (EVP_DigestSign(context.get(), signature.data(), &length, message.data(), message.size()) !=
            1 ||
        length != signature.size())
        return std::nullopt;
    return signature;
}

}  // namespace lumivox::platform
