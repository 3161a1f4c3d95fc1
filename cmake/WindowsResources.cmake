# Lumivox.exe's resources (windres, through CMake's RC language): the
# application manifest, the program's icon (16 to 256 pixels, packed at build
# time from the generator's PNGs in assets/icons/) and version information from
# the project's version. The installer takes the same icon.
#
# LUMIVOX_DPI_AWARE adds per-monitor-v2 DPI awareness to the manifest: the Win32
# form runtime scales its layout, fonts and pictures by the window's DPI. OFF
# leaves the scaling to Windows (a stretched, blurred bitmap at 125 % and up).
option(LUMIVOX_DPI_AWARE "Declare per-monitor-v2 DPI awareness in Lumivox.exe's manifest" ON)
enable_language(RC)
find_package(Python3 REQUIRED COMPONENTS Interpreter)

# major.minor.patch.tweak, missing parts 0.
foreach(part MAJOR MINOR PATCH TWEAK)
  set(LUMIVOX_VERSION_${part} "${PROJECT_VERSION_${part}}")
  if("${LUMIVOX_VERSION_${part}}" STREQUAL "")
    set(LUMIVOX_VERSION_${part} 0)
  endif()
endforeach()
set(LUMIVOX_FILE_VERSION_DOTS
  "${LUMIVOX_VERSION_MAJOR}.${LUMIVOX_VERSION_MINOR}.${LUMIVOX_VERSION_PATCH}.${LUMIVOX_VERSION_TWEAK}")
string(REPLACE "." "," LUMIVOX_FILE_VERSION_COMMAS "${LUMIVOX_FILE_VERSION_DOTS}")

set(LUMIVOX_RESOURCE_DIR ${CMAKE_BINARY_DIR}/resources)
set(LUMIVOX_MANIFEST_DPI "")
if(LUMIVOX_DPI_AWARE)
  file(READ ${CMAKE_SOURCE_DIR}/app/win32/Lumivox-dpi-aware.manifest.in LUMIVOX_MANIFEST_DPI)
endif()
set(LUMIVOX_MANIFEST ${LUMIVOX_RESOURCE_DIR}/Lumivox.manifest)
configure_file(${CMAKE_SOURCE_DIR}/app/win32/Lumivox.manifest.in ${LUMIVOX_MANIFEST} @ONLY)

set(LUMIVOX_ICON ${LUMIVOX_RESOURCE_DIR}/Lumivox.ico)
set(icon_pictures "")
foreach(size 16 24 32 48 64 128 256)
  list(APPEND icon_pictures ${CMAKE_SOURCE_DIR}/assets/icons/lumivox_${size}.png)
endforeach()
add_custom_command(OUTPUT ${LUMIVOX_ICON}
  COMMAND Python3::Interpreter ${CMAKE_SOURCE_DIR}/tools/assets/make-ico.py ${LUMIVOX_ICON} ${icon_pictures}
  DEPENDS ${CMAKE_SOURCE_DIR}/tools/assets/make-ico.py ${icon_pictures}
  COMMENT "Packing the program's icon"
  VERBATIM)
add_custom_target(lumivox_icon DEPENDS ${LUMIVOX_ICON})

set(LUMIVOX_RC ${LUMIVOX_RESOURCE_DIR}/Lumivox.rc)
configure_file(${CMAKE_SOURCE_DIR}/app/win32/Lumivox.rc.in ${LUMIVOX_RC} @ONLY)
target_sources(lumivox PRIVATE ${LUMIVOX_RC})
set_source_files_properties(${LUMIVOX_RC} PROPERTIES OBJECT_DEPENDS "${LUMIVOX_ICON};${LUMIVOX_MANIFEST}")
add_dependencies(lumivox lumivox_icon)
