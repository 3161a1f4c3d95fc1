#include "platform/linux/LibraryOnDemand.hpp"

#include <dlfcn.h>

#include <cstdio>
#include <optional>
#include <string>

namespace lumivox::platform {

namespace {

// Null when every entry point was found, else what failed.
std::optional<std::string> findAll(
    void* library, std::initializer_list<std::pair<const char*, void**>> entryPoints) {
    if (library == nullptr) {
        const char* error = ::dlerror();
        return std::string(error != nullptr ? error : "unknown reason");
    }
    for (const auto& [name, slot] : entryPoints) {
        *slot = ::dlsym(library, name);
        if (*slot == nullptr) {
            return std::string("no entry point ") + name;
        }
    }
    return std::nullopt;
}

}  // namespace

bool openLibrary(const char* soname,
                 std::initializer_list<std::pair<const char*, void**>> entryPoints,
                 const char* without, const char* hint) {
    // A library without every entry point stays open, unused: closing it may
    // run its unload code for nothing.
    const std::optional<std::string> failure =
        findAll(::dlopen(soname, RTLD_NOW | RTLD_LOCAL), entryPoints);
    if (!failure) {
        return true;
    }
    for (const auto& entry : entryPoints) {
        *entry.second = nullptr;
    }
    std::fprintf(stderr, "Lumivox: %s: %s could not be loaded (%s). %s\n", without, soname,
                 failure->c_str(), hint);
    return false;
}

}  // namespace lumivox::platform
