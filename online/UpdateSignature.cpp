#include "online/UpdateSignature.hpp"

#include <algorithm>
#include <cstdio>
#include <memory>

#include <openssl/bio.h>
#include <openssl/evp.h>
#include <openssl/pem.h>

#ifndef LUMIVOX_UPDATE_PUBLIC_KEY
#error "the build names the update signing key (LUMIVOX_UPDATE_PUBLIC_KEY)"
#endif

namespace lumivox::online {
namespace {

constexpr std::string_view kAlphabet =
    "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

int sextet(char c) {
    const std::size_t at = kAlphabet.find(c);
    return at == std::string_view::npos ? -1 : static_cast<int>(at);
}

std::string_view trimBlanks(std::string_view text) {
    const std::string_view blanks = " \t\r\n";
    const std::size_t first = text.find_first_not_of(blanks);
    if (first == std::string_view::npos)
        return {};
    return text.substr(first, text.find_last_not_of(blanks) - first + 1);
}

struct KeyFree {
    void operator()(EVP_PKEY* key) const { EVP_PKEY_free(key); }
};
struct ContextFree {
    void operator()(EVP_MD_CTX* context) const { EVP_MD_CTX_free(context); }
};
using Key = std::unique_ptr<EVP_PKEY, KeyFree>;
using Context = std::unique_ptr<EVP_MD_CTX, ContextFree>;

}  // namespace

std::optional<ByteData> decodeBase64(std::string_view text) {
    if (text.size() % 4 != 0)
        return std::nullopt;
    ByteData bytes;
    for (std::size_t i = 0; i < text.size(); i += 4) {
        const bool last = i + 4 == text.size();
        int s[4];
        int padding = 0;
        for (int k = 0; k < 4; ++k) {
            const char c = text[i + static_cast<std::size_t>(k)];
            if (c == '=' && last && k >= 2) {
                s[k] = 0;
                ++padding;
                continue;
            }
            if (padding > 0 || (s[k] = sextet(c)) < 0)
                return std::nullopt;  // a character after "=", or outside the alphabet
        }
        // Bits that the padding drops must be zero: one spelling for one value.
        if ((padding == 1 && (s[2] & 3) != 0) || (padding == 2 && (s[1] & 15) != 0))
            return std::nullopt;
        const std::uint32_t group =
            (static_cast<std::uint32_t>(s[0]) << 18) | (static_cast<std::uint32_t>(s[1]) << 12) |
            (static_cast<std::uint32_t>(s[2]) << 6) | static_cast<std::uint32_t>(s[3]);
        bytes.push_back(static_cast<std::uint8_t>(group >> 16));
        if (padding < 2)
            bytes.push_back(static_cast<std::uint8_t>(group >> 8));
        if (padding < 1)
            bytes.push_back(static_cast<std::uint8_t>(group));
    }
    return bytes;
}

std::string encodeBase64(ByteView bytes) {
    std::string text;
    for (std::size_t i = 0; i < bytes.size(); i += 3) {
        const std::size_t count = std::min<std::size_t>(3, bytes.size() - i);
        std::uint32_t group = static_cast<std::uint32_t>(bytes[i]) << 16;
        if (count > 1)
            group |= static_cast<std::uint32_t>(bytes[i + 1]) << 8;
        if (count > 2)
            group |= bytes[i + 2];
        for (std::size_t k = 0; k < 4; ++k) {
            text += k <= count ? kAlphabet[(group >> (18 - 6 * k)) & 63] : '=';
        }
    }
    return text;
}

std::optional<Sha256> fileSha256(const std::string& utf8Path) {
    std::unique_ptr<std::FILE, int (*)(std::FILE*)> file(std::fopen(utf8Path.c_str(), "rb"),
                                                         std::fclose);
    Context context(EVP_MD_CTX_new());
    if (!file || !context || EVP_DigestInit_ex(context.get(), EVP_sha256(), nullptr) != 1)
        return std::nullopt;
    std::array<char, 65536> chunk;
    std::size_t read;
    while ((read = std::fread(chunk.data(), 1, chunk.size(), file.get())) > 0) {
        if (EVP_DigestUpdate(context.get(), chunk.data(), read) != 1)
            return std::nullopt;
    }
    if (std::ferror(file.get()))
        return std::nullopt;
    Sha256 digest;
    unsigned int length = 0;
    if (EVP_DigestFinal_ex(context.get(), digest.data(), &length) != 1 || length != digest.size())
        return std::nullopt;
    return digest;
}

std::string updateMessage(const Sha256& digest, std::string_view baseName,
                          std::string_view version) {
    static constexpr char kHex[] = "0123456789abcdef";
    std::string message = "Lumivox update 1\n";
    for (std::uint8_t byte : digest) {
        message += kHex[byte >> 4];
        message += kHex[byte & 15];
    }
    message += '\n';
    message += baseName;
    message += '\n';
    message += version;
    return message;
}

bool verifyUpdate(ByteView publicKey, std::string_view signatureText, const Sha256& digest,
                  std::string_view baseName, std::string_view version) {
    const std::optional<ByteData> signature = decodeBase64(trimBlanks(signatureText));
    if (!signature || signature->size() != 64 || publicKey.size() != 32)
        return false;
    Key key(
        EVP_PKEY_new_raw_public_key(EVP_PKEY_ED25519, nullptr, publicKey.data(), publicKey.size()));
    Context context(EVP_MD_CTX_new());
    if (!key || !context ||
        EVP_DigestVerifyInit(context.get(), nullptr, nullptr, nullptr, key.get()) != 1)
        return false;
    const std::string message = updateMessage(digest, baseName, version);
    return EVP_DigestVerify(context.get(), signature->data(), signature->size(),
                            reinterpret_cast<const unsigned char*>(message.data()),
                            message.size()) == 1;
}

std::optional<std::string> signUpdate(std::string_view privateKeyPem, const Sha256& digest,
                                      std::string_view baseName, std::string_view version) {
    std::unique_ptr<BIO, int (*)(BIO*)> pem(
        BIO_new_mem_buf(privateKeyPem.data(), static_cast<int>(privateKeyPem.size())), BIO_free);
    if (!pem)
        return std::nullopt;
    Key key(PEM_read_bio_PrivateKey(pem.get(), nullptr, nullptr, nullptr));
    Context context(EVP_MD_CTX_new());
    if (!key || EVP_PKEY_get_id(key.get()) != EVP_PKEY_ED25519 || !context ||
        EVP_DigestSignInit(context.get(), nullptr, nullptr, nullptr, key.get()) != 1)
        return std::nullopt;
    const std::string message = updateMessage(digest, baseName, version);
    std::array<std::uint8_t, 64> signature;
    std::size_t length = signature.size();
    if (EVP_DigestSign(context.get(), signature.data(), &length,
                       reinterpret_cast<const unsigned char*>(message.data()), message.size()) != 1)
        return std::nullopt;
    return encodeBase64(ByteView(signature.data(), length));
}

ByteData builtInUpdateKey() {
    return decodeBase64(LUMIVOX_UPDATE_PUBLIC_KEY).value_or(ByteData());
}

}  // namespace lumivox::online
