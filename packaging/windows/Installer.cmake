# The Windows installer (NSIS, Debian's makensis) around a program built here.
#   lumivox_add_installer(<target name> <program: path or $<TARGET_FILE:...>>
#                         <installer path> [DEPENDS <targets>...])
find_program(LUMIVOX_MAKENSIS makensis)
function(lumivox_add_installer name program output)
  cmake_parse_arguments(ARG "" "" "DEPENDS" ${ARGN})
  if(NOT LUMIVOX_MAKENSIS)
    add_custom_target(${name} COMMAND ${CMAKE_COMMAND} -E echo "makensis is missing (scripts/setup installs nsis)"
      COMMAND ${CMAKE_COMMAND} -E false)
    return()
  endif()
  set(script ${CMAKE_SOURCE_DIR}/packaging/windows/Lumivox.nsi)
  add_custom_command(OUTPUT ${output}
    COMMAND ${LUMIVOX_MAKENSIS} -V2 -WX -DPROGRAM=${program} -DVERSION=${PROJECT_VERSION_MAJOR}.${PROJECT_VERSION_MINOR}
      -DICON=${LUMIVOX_ICON} -DOUTFILE=${output} ${script}
    # Signed when the maker gives a certificate (cmake/Signing.cmake).
    COMMAND ${LUMIVOX_SIGN_COMMAND} ${output}
    DEPENDS ${script} ${LUMIVOX_ICON} ${ARG_DEPENDS}
    COMMENT "Making the installer ${output}"
    VERBATIM)
  add_custom_target(${name} DEPENDS ${output})
endfunction()

# The product's installer, `installer`, around Lumivox.exe (the target lumivox),
# once every target of the build is known.
function(lumivox_add_product_installer)
  set(output ${CMAKE_BINARY_DIR}/Lumivox-${PROJECT_VERSION}-setup.exe)
  lumivox_add_installer(installer $<TARGET_FILE:lumivox> ${output} DEPENDS lumivox)
endfunction()
cmake_language(DEFER DIRECTORY ${CMAKE_SOURCE_DIR} CALL lumivox_add_product_installer)
