#pragma once
// Libraries that the first seconds never need (the MIDI synthesizer, the
// update's cryptography) are opened with dlopen when first used instead of
// being linked: the program then starts without them and their own
// dependencies. Each user keeps a table of typed entry points filled once.
#include <initializer_list>
#include <utility>

namespace lumivox::platform {

// Opens `soname` and stores each named entry point into its slot. False when
// the library or any entry point is missing: then every slot is null and the
// host is told on the standard error what stays undone ("Lumivox: <without>:
// <soname> could not be loaded (<reason>). <hint>"). The library stays open for
// the life of the process. Callers open each library once (std::call_once).
bool openLibrary(const char* soname,
                 std::initializer_list<std::pair<const char*, void**>> entryPoints,
                 const char* without, const char* hint);

}  // namespace lumivox::platform
