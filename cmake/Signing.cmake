# Authenticode signatures (osslsigncode) for Lumivox.exe and the installer, made
# with the maker's certificate and key when they are given:
#   LUMIVOX_SIGN_CERT           the certificate (chain), PEM or DER (or a .p12/.pfx with its key)
#   LUMIVOX_SIGN_KEY            its private key, PEM or DER (not needed with a .p12/.pfx)
#   LUMIVOX_SIGN_PASSWORD_FILE  optional: a file holding the key's (or .p12's) password
#   LUMIVOX_SIGN_TIMESTAMP_URL  optional: an RFC 3161 time-stamping server
# as CMake options or, when those are empty, as environment variables at build
# time (so a CI secret never lands in the cache). Without a certificate the build
# says that the files are not signed. Secrets are never committed.
find_program(LUMIVOX_OSSLSIGNCODE osslsigncode)
foreach(setting CERT KEY PASSWORD_FILE TIMESTAMP_URL)
  set(LUMIVOX_SIGN_${setting} "" CACHE STRING "Authenticode signing: see cmake/Signing.cmake")
endforeach()
# The command that signs one file in place: append the file's path.
set(LUMIVOX_SIGN_COMMAND ${CMAKE_COMMAND}
  "-DOSSLSIGNCODE=${LUMIVOX_OSSLSIGNCODE}"
  "-DCERT=${LUMIVOX_SIGN_CERT}" "-DKEY=${LUMIVOX_SIGN_KEY}"
  "-DPASSWORD_FILE=${LUMIVOX_SIGN_PASSWORD_FILE}" "-DTIMESTAMP_URL=${LUMIVOX_SIGN_TIMESTAMP_URL}"
  -P ${CMAKE_CURRENT_LIST_DIR}/SignFile.cmake)

# Signs a target's file after every link.
function(lumivox_sign_target target)
  add_custom_command(TARGET ${target} POST_BUILD
    COMMAND ${LUMIVOX_SIGN_COMMAND} $<TARGET_FILE:${target}>
    VERBATIM)
endfunction()
