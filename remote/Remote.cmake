# The remote panel's parts of the core: its page, carried in the executable, and
# the libraries it uses (cpp-httplib for HTTP, nlohmann-json for the API's
# JSON, libqrencode for the link's QR code). Included by both builds after lumivox_core is made.
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS
  ${CMAKE_SOURCE_DIR}/remote/panel.html ${CMAKE_SOURCE_DIR}/remote/PanelPage.cpp.in)
file(READ ${CMAKE_SOURCE_DIR}/remote/panel.html PANEL_HTML)
configure_file(${CMAKE_SOURCE_DIR}/remote/PanelPage.cpp.in
  ${CMAKE_BINARY_DIR}/remote/PanelPage.cpp @ONLY)
target_sources(lumivox_core PRIVATE ${CMAKE_BINARY_DIR}/remote/PanelPage.cpp)

if(WIN32)
  # Debian's libcpp-httplib-dev is the split build for Linux (a header of
  # declarations and a shared library); the Windows build compiles the library's
  # own single header from Debian's source package of the same version, which
  # scripts/setup unpacks. nlohmann-json is header-only: its folder is copied
  # beside it, so that no Linux system header reaches the cross-compiler.
  set(LUMIVOX_HTTPLIB_SOURCE "/usr/local/share/lumivox/cpp-httplib" CACHE PATH
    "Folder of the header-only httplib.h (Debian's cpp-httplib source)")
  if(NOT EXISTS ${LUMIVOX_HTTPLIB_SOURCE}/httplib.h)
    message(FATAL_ERROR "No ${LUMIVOX_HTTPLIB_SOURCE}/httplib.h: run scripts/setup")
  endif()
  file(COPY ${LUMIVOX_HTTPLIB_SOURCE}/httplib.h DESTINATION ${CMAKE_BINARY_DIR}/third-party)
  file(COPY /usr/include/nlohmann DESTINATION ${CMAKE_BINARY_DIR}/third-party)
  target_include_directories(lumivox_core SYSTEM PUBLIC ${CMAKE_BINARY_DIR}/third-party)
  target_link_libraries(lumivox_core PUBLIC ws2_32)
  # libqrencode's C sources from Debian's source package, as its configure
  # script would set them up.
  set(LUMIVOX_QRENCODE_SOURCE "/usr/local/share/lumivox/qrencode" CACHE PATH
    "Folder of libqrencode's C sources (Debian's qrencode source)")
  set(qrencode_sources)
  foreach(part bitstream mask mmask mqrspec qrencode qrinput qrspec rsecc split)
    list(APPEND qrencode_sources ${LUMIVOX_QRENCODE_SOURCE}/${part}.c)
  endforeach()
  enable_language(C)
  add_library(lumivox_qrencode STATIC ${qrencode_sources})
  target_compile_definitions(lumivox_qrencode PRIVATE STATIC_IN_RELEASE=static MAJOR_VERSION=4
    MINOR_VERSION=1 MICRO_VERSION=1 VERSION="4.1.1" HAVE_LIBPTHREAD=1)
  target_compile_options(lumivox_qrencode PRIVATE -w)
  target_include_directories(lumivox_qrencode SYSTEM PUBLIC ${LUMIVOX_QRENCODE_SOURCE})
  target_link_libraries(lumivox_core PUBLIC lumivox_qrencode)
else()
  pkg_check_modules(HTTPLIB REQUIRED IMPORTED_TARGET cpp-httplib)
  pkg_check_modules(QRENCODE REQUIRED IMPORTED_TARGET libqrencode)
  find_package(nlohmann_json REQUIRED)
  target_link_libraries(lumivox_core PUBLIC PkgConfig::HTTPLIB PkgConfig::QRENCODE
    nlohmann_json::nlohmann_json)
endif()
