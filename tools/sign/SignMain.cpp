// lumivox-sign keygen PRIVATE.pem
//     Makes an Ed25519 key pair: the private key goes to the file (mode 0600),
//     the public key (base64, for -DLUMIVOX_UPDATE_PUBLIC_KEY) to standard output.
// lumivox-sign line PRIVATE.pem BUILD VERSION URL NAME NEW_VERSION
//     Prints the version file that moves VERSION to that build (whose own version
//     is NEW_VERSION): VERSION---URL---NAME---signature---NEW_VERSION, with no
//     line break after it (the last field would take it in).
// Exit status 0 on success, 1 on failure (with a message), 2 for wrong arguments.
#include <sys/stat.h>

#include <cstdio>
#include <cstring>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>

#include <openssl/evp.h>
#include <openssl/pem.h>

#include "online/UpdateSignature.hpp"
#include "online/VersionFile.hpp"

using namespace lumivox;

namespace {

int usage() {
    std::fputs(
        "usage: lumivox-sign keygen PRIVATE.pem\n"
        "       lumivox-sign line PRIVATE.pem BUILD VERSION URL NAME NEW_VERSION\n",
        stderr);
    return 2;
}

int fail(const std::string& message) {
    std::fprintf(stderr, "lumivox-sign: %s\n", message.c_str());
    return 1;
}

int makeKeyPair(const char* privatePath) {
    std::unique_ptr<EVP_PKEY, void (*)(EVP_PKEY*)> key(
        EVP_PKEY_Q_keygen(nullptr, nullptr, "ED25519"), EVP_PKEY_free);
    if (!key)
        return fail("cannot make a key");
    unsigned char raw[32];
    std::size_t length = sizeof raw;
    if (EVP_PKEY_get_raw_public_key(key.get(), raw, &length) != 1 || length != sizeof raw)
        return fail("cannot read the public key");
    const mode_t old = ::umask(077);
    std::FILE* file = std::fopen(privatePath, "wx");  // never overwrites a key
    ::umask(old);
    if (file == nullptr)
        return fail(std::string("cannot create ") + privatePath + " (does it exist already?)");
    const bool written =
        PEM_write_PrivateKey(file, key.get(), nullptr, nullptr, 0, nullptr, nullptr) == 1;
    if (std::fclose(file) != 0 || !written)
        return fail(std::string("cannot write ") + privatePath);
    std::printf("%s\n", online::encodeBase64(ByteView(raw, length)).c_str());
    return 0;
}

int printLine(char** args) {
    const std::string privatePath = args[0], build = args[1], version = args[2], url = args[3],
                      name = args[4], newVersion = args[5];
    if (!online::isSafeBaseName(name))
        return fail("the name must be a plain file name without a line break: " + name);
    for (const std::string& field : {version, url})
        if (field.find(online::kVersionSeparator) != std::string::npos)
            return fail("no field may hold \"---\": " + field);
    if (!online::isNewerVersion(newVersion, version))
        return fail("the new version must be numbers joined by dots, later than " + version +
                    ": " + newVersion);
    std::ifstream keyFile(privatePath);
    std::stringstream pem;
    pem << keyFile.rdbuf();
    if (!keyFile)
        return fail("cannot read " + privatePath);
    const auto digest = online::fileSha256(build);
    if (!digest)
        return fail("cannot read " + build);
    const auto signature = online::signUpdate(pem.str(), *digest, name, version, newVersion);
    if (!signature)
        return fail(privatePath + " holds no Ed25519 private key");
    std::printf("%s---%s---%s---%s---%s", version.c_str(), url.c_str(), name.c_str(),
                signature->c_str(), newVersion.c_str());
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc == 3 && std::strcmp(argv[1], "keygen") == 0)
        return makeKeyPair(argv[2]);
    if (argc == 8 && std::strcmp(argv[1], "line") == 0)
        return printLine(argv + 2);
    return usage();
}
