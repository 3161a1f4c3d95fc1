#pragma once
// The maker's signature of an update: Ed25519 over a message that binds the
// build's bytes (their SHA-256), its base name, the version text it replaces and
// its own version, so a signed build cannot be served under another name, for
// another version, or as a version it is not (the program refuses a new version
// that is not later than its own).
// The signature travels base64-encoded as the version file's fourth field.
#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "base/TextOps.hpp"

namespace lumivox::online {

using Sha256 = std::array<std::uint8_t, 32>;

// Standard base64 with padding; nothing else is accepted (no blanks, no line breaks).
std::optional<ByteData> decodeBase64(std::string_view text);
std::string encodeBase64(ByteView bytes);

std::optional<Sha256> fileSha256(const std::string& utf8Path);

// The bytes that are signed.
std::string updateMessage(const Sha256& digest, std::string_view baseName,
                          std::string_view version, std::string_view newVersion);

// True when `signatureText` (base64, blanks and line breaks around it ignored) is
// a valid signature by `publicKey` (32 raw bytes) of that update.
bool verifyUpdate(ByteView publicKey, std::string_view signatureText, const Sha256& digest,
                  std::string_view baseName, std::string_view version,
                  std::string_view newVersion);

// The Ed25519 signature (base64) of that update with a private key in PEM form,
// or nothing when the key does not load.
std::optional<std::string> signUpdate(std::string_view privateKeyPem, const Sha256& digest,
                                      std::string_view baseName, std::string_view version,
                                      std::string_view newVersion);

// The maker's public key built into the program.
ByteData builtInUpdateKey();

}  // namespace lumivox::online
