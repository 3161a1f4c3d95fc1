# Two kinds of build. With LUMIVOX_SELF_UPDATE the program reads the version file
# a second after start and updates itself (or ends when the file cannot be read);
# without it (distribution packages, a plain build) there is no version check and
# no update window, and the program runs for as long as the host wants.
option(LUMIVOX_SELF_UPDATE "The program checks the maker's server and updates itself" OFF)
option(LUMIVOX_ALLOW_DEVELOPMENT_KEY
  "A test build: an optimised self-updating build may trust the development key" OFF)
# The version text this build replaces and compares the version file with.
set(LUMIVOX_VERSION_TEXT "${PROJECT_VERSION}" CACHE STRING
  "The version of this build, as the version file names it (digits and dots)")
if(NOT LUMIVOX_VERSION_TEXT MATCHES "^[0-9]+(\\.[0-9]+)*$")
  message(FATAL_ERROR "LUMIVOX_VERSION_TEXT must be numbers joined by dots: ${LUMIVOX_VERSION_TEXT}")
endif()

# The maker's server and the key that signs updates, fixed at build time.
set(LUMIVOX_DEFAULT_SERVER "lumivox.invalid" CACHE STRING
  "host[:port] of the maker's web server (LUMIVOX_SERVER overrides it at run time)")
# The development key: its private half is tests/fixtures/update_signing_development.pem,
# so anyone can sign an update for a build that carries it.
set(LUMIVOX_DEVELOPMENT_UPDATE_KEY "MOQ7RpDnYjEcqK+gBAHt/+6dRY4dDjDWlvoJ4+kZNfc=")
set(LUMIVOX_UPDATE_PUBLIC_KEY "${LUMIVOX_DEVELOPMENT_UPDATE_KEY}" CACHE STRING
  "Ed25519 public key (base64 of the 32 raw bytes) that updates must be signed with")
if(NOT LUMIVOX_UPDATE_PUBLIC_KEY MATCHES "^[A-Za-z0-9+/]+=?$")
  message(FATAL_ERROR "LUMIVOX_UPDATE_PUBLIC_KEY is no base64 key: ${LUMIVOX_UPDATE_PUBLIC_KEY}")
endif()
if(LUMIVOX_SELF_UPDATE AND NOT LUMIVOX_ALLOW_DEVELOPMENT_KEY
   AND LUMIVOX_UPDATE_PUBLIC_KEY STREQUAL LUMIVOX_DEVELOPMENT_UPDATE_KEY
   AND CMAKE_BUILD_TYPE MATCHES "^(Release|MinSizeRel|RelWithDebInfo)$")
  message(FATAL_ERROR "This optimised self-updating build would trust the DEVELOPMENT update "
    "key, whose private half is public in tests/fixtures: anyone could sign an update it runs. "
    "Set LUMIVOX_UPDATE_PUBLIC_KEY to the maker's own key: make a key pair once with "
    "'lumivox-sign keygen maker-update-key.pem' (it prints the public key; keep the .pem "
    "offline), then configure with -DLUMIVOX_UPDATE_PUBLIC_KEY=<that base64>. A test build says "
    "so with -DLUMIVOX_ALLOW_DEVELOPMENT_KEY=ON; a build that does not update itself needs no "
    "key (-DLUMIVOX_SELF_UPDATE=OFF).")
endif()

# The signature check's cryptography (platform/linux/CryptoLinux.cpp): OpenSSL's
# header only, its library opened when an update is first checked; the Windows
# build links libgcrypt instead (cmake/Windows.cmake).
if(NOT WIN32)
  find_package(OpenSSL REQUIRED COMPONENTS Crypto)
  target_include_directories(lumivox_core PUBLIC ${OPENSSL_INCLUDE_DIR})
  target_link_libraries(lumivox_core PUBLIC ${CMAKE_DL_LIBS})
endif()
set_property(SOURCE ${CMAKE_SOURCE_DIR}/online/Site.cpp APPEND PROPERTY COMPILE_DEFINITIONS
  "LUMIVOX_DEFAULT_SERVER=\"${LUMIVOX_DEFAULT_SERVER}\"")
set_property(SOURCE ${CMAKE_SOURCE_DIR}/online/UpdateSignature.cpp APPEND PROPERTY
  COMPILE_DEFINITIONS "LUMIVOX_UPDATE_PUBLIC_KEY=\"${LUMIVOX_UPDATE_PUBLIC_KEY}\"")
set_property(SOURCE ${CMAKE_SOURCE_DIR}/online/BuildInfo.cpp APPEND PROPERTY COMPILE_DEFINITIONS
  "LUMIVOX_SELF_UPDATE=$<BOOL:${LUMIVOX_SELF_UPDATE}>"
  "LUMIVOX_VERSION_TEXT=\"${LUMIVOX_VERSION_TEXT}\"")
