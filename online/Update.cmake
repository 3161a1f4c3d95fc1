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
if(LUMIVOX_UPDATE_PUBLIC_KEY STREQUAL LUMIVOX_DEVELOPMENT_UPDATE_KEY
   AND CMAKE_BUILD_TYPE MATCHES "^(Release|MinSizeRel)$")
  message(WARNING "This release build trusts the DEVELOPMENT update key, whose private half is "
    "public in tests/fixtures: anyone can sign an update it will run. Configure the maker's own "
    "key with -DLUMIVOX_UPDATE_PUBLIC_KEY=<base64> (tools/sign makes a key pair).")
endif()

# The signature check's cryptography (platform/linux/CryptoLinux.cpp); the Windows
# build links libgcrypt instead (cmake/Windows.cmake).
if(NOT WIN32)
  find_package(OpenSSL REQUIRED COMPONENTS Crypto)
  target_link_libraries(lumivox_core PUBLIC OpenSSL::Crypto)
endif()
set_property(SOURCE ${CMAKE_SOURCE_DIR}/online/Site.cpp APPEND PROPERTY COMPILE_DEFINITIONS
  "LUMIVOX_DEFAULT_SERVER=\"${LUMIVOX_DEFAULT_SERVER}\"")
set_property(SOURCE ${CMAKE_SOURCE_DIR}/online/UpdateSignature.cpp APPEND PROPERTY
  COMPILE_DEFINITIONS "LUMIVOX_UPDATE_PUBLIC_KEY=\"${LUMIVOX_UPDATE_PUBLIC_KEY}\"")
