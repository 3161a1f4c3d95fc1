#pragma once
// The version file of the maker's server: "version---URL---name---signature".
// Field 1 is the version to be replaced, field 2 the new build's URL, field 3 its
// base name, field 4 the maker's signature of the build (see UpdateSignature.hpp).
#include <string_view>

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

// A base name the update may write beside the program: not empty, not "." or
// "..", no "/" or "\", no control character (a trailing line break of the
// version file included).
bool isSafeBaseName(std::string_view name);

}  // namespace lumivox::online
