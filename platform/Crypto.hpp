#pragma once
// The cryptography of update signatures: SHA-256 and Ed25519 (pure EdDSA, as
// RFC 8032 defines it). OpenSSL on Linux, libgcrypt on Windows; both give the
// same bytes for the same input, Ed25519 signatures being deterministic.
#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>

namespace lumivox::platform {

using Sha256Digest = std::array<std::uint8_t, 32>;
using Ed25519Signature = std::array<std::uint8_t, 64>;

// SHA-256 of bytes handed over in pieces. One caller at a time.
class Sha256Hasher {
  public:
    Sha256Hasher();
    ~Sha256Hasher();
    Sha256Hasher(const Sha256Hasher&) = delete;
    Sha256Hasher& operator=(const Sha256Hasher&) = delete;

    // False when the hash cannot be computed (then `finish` gives nothing).
    bool add(std::span<const std::uint8_t> bytes);
    // The digest of everything added; the hasher is spent afterwards.
    std::optional<Sha256Digest> finish();

  private:
    struct State;
    std::unique_ptr<State> state_;
};

// True when `signature` (64 bytes) is a valid signature of `message` by the
// public key (32 bytes). Keys and signatures of another length are refused.
bool verifyEd25519(std::span<const std::uint8_t> publicKey, std::span<const std::uint8_t> signature,
                   std::span<const std::uint8_t> message);

// The signature of `message` with the private key given by its 32-byte seed, or
// nothing when the seed has another length or the library fails.
std::optional<Ed25519Signature> signEd25519(std::span<const std::uint8_t> seed,
                                            std::span<const std::uint8_t> message);

}  // namespace lumivox::platform
