#pragma once
// The version file of the maker's server:
// "version---URL---name---signature---new version".
// Field 1 is the version to be replaced, field 2 the new build's URL, field 3 its
// base name, field 4 the maker's signature of the build (see UpdateSignature.hpp),
// field 5 the new build's own version, which the signature covers too.
#include <cstdint>
#include <optional>
#include <string_view>
#include <vector>

#include "base/TextOps.hpp"

namespace lumivox::online {

inline constexpr std::string_view kVersionSeparator = "---";

// The main window's hidden text stores that keep the check's result until the
// program ends: the whole file, its first three fields, and the built-in version.
inline constexpr std::string_view kFileStore = "编辑框更新";
inline constexpr std::string_view kVersionStore = "编辑框版本号";
inline constexpr std::string_view kUrlStore = "编辑框更新连接";
inline constexpr std::string_view kNameStore = "编辑框软件名字";
inline constexpr std::string_view kBuiltInVersionStore = "编辑框老版本号";

// The fields: each separator closes one; a non-empty remainder is the last.
TextArray versionFields(std::string_view text);

inline constexpr std::size_t kMaxBaseNameLength = 64;

// A base name the update may write beside the program: 1 to 64 of the letters
// A-Z and a-z, the digits, ".", "-" and "_"; no leading or trailing dot; not a
// name Windows keeps for a device (CON, NUL, COM1, LPT1..., with or without an
// extension, in any case). Anything else (a path, a line break, ":") is refused.
bool isSafeBaseName(std::string_view name);

// The numbers of a version text "1.2.10", or nothing when it is not numbers
// (at most nine digits each) joined by single dots.
std::optional<std::vector<std::uint32_t>> versionNumbers(std::string_view version);
// True when both are version texts and `candidate` is the later one.
bool isNewerVersion(std::string_view candidate, std::string_view current);

}  // namespace lumivox::online
