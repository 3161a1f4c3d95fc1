# The Windows build: the platform-free core over the Win32 platform layer, and
# the core's unit tests (run under Wine). Debian has no Windows builds of Qt,
# libmpg123, libcurl, PulseAudio, FluidSynth or OpenSSL; the system's own
# services stand in for them in platform/windows/, and libgcrypt (Debian's
# mingw-w64 build) for OpenSSL in the update signature check.
find_package(Threads REQUIRED)
# GCC 12 warns of overlapping copies inside std::string at -O3 where none can
# happen (GCC bug 105329): a false alarm that -Werror would make fatal.
add_compile_options(-Wno-restrict)

file(GLOB_RECURSE LUMIVOX_CORE_SOURCES CONFIGURE_DEPENDS
  base/*.cpp sound/*.cpp online/*.cpp hotkeys/*.cpp remote/*.cpp)
file(GLOB LUMIVOX_CORE_NEUTRAL_SOURCES CONFIGURE_DEPENDS platform/*.cpp forms/*.cpp)
lumivox_library(lumivox_core ${LUMIVOX_CORE_SOURCES} ${LUMIVOX_CORE_NEUTRAL_SOURCES})
target_include_directories(lumivox_core ${LUMIVOX_SCOPE} ${CMAKE_SOURCE_DIR})
target_link_libraries(lumivox_core ${LUMIVOX_SCOPE} Threads::Threads)
include(online/Update.cmake)
include(remote/Remote.cmake)
# The core calls the neutral platform headers; the Win32 layer comes at link time.
target_link_libraries(lumivox_core INTERFACE "$<LINK_ONLY:lumivox_platform>")

file(GLOB LUMIVOX_PLATFORM_SOURCES CONFIGURE_DEPENDS platform/windows/*.cpp)
lumivox_library(lumivox_platform ${LUMIVOX_PLATFORM_SOURCES})
target_include_directories(lumivox_platform ${LUMIVOX_SCOPE} ${CMAKE_SOURCE_DIR})
# The static libgcrypt and libgpg-error, not their DLLs: one self-contained program.
find_library(LUMIVOX_GCRYPT NAMES libgcrypt.a REQUIRED)
find_library(LUMIVOX_GPG_ERROR NAMES libgpg-error.a REQUIRED)
target_link_libraries(lumivox_platform ${LUMIVOX_SCOPE} ${LUMIVOX_GCRYPT} ${LUMIVOX_GPG_ERROR}
  ws2_32 bcrypt winmm msacm32 wininet shell32 user32 ole32 uuid)

# The installer (the target `installer`, which the installer test installs).
include(packaging/windows/Installer.cmake)

# The program's neutral part and the Win32 form runtime (forms/win32/).
file(GLOB LUMIVOX_APP_COMMON_SOURCES CONFIGURE_DEPENDS app/*.cpp)
lumivox_library(lumivox_app_common ${LUMIVOX_APP_COMMON_SOURCES})
target_include_directories(lumivox_app_common ${LUMIVOX_SCOPE} ${CMAKE_SOURCE_DIR})
target_link_libraries(lumivox_app_common ${LUMIVOX_SCOPE} lumivox_core)
file(GLOB LUMIVOX_FORMS_SOURCES CONFIGURE_DEPENDS forms/win32/*.cpp)
lumivox_library(lumivox_forms ${LUMIVOX_FORMS_SOURCES})
target_link_libraries(lumivox_forms ${LUMIVOX_SCOPE} lumivox_core lumivox_platform
  user32 gdi32 comctl32 comdlg32 windowscodecs ole32 uuid)
add_subdirectory(assets)
target_link_libraries(lumivox_forms ${LUMIVOX_SCOPE} lumivox_assets)
lumivox_library(lumivox_app)
target_link_libraries(lumivox_app INTERFACE lumivox_app_common lumivox_forms)

# Lumivox.exe: a GUI program (no console window).
add_executable(lumivox WIN32 app/win32/main.cpp)
set_target_properties(lumivox PROPERTIES OUTPUT_NAME Lumivox)
target_link_libraries(lumivox PRIVATE lumivox_app)
# The shipped program carries no symbols (no Windows debugger reads mingw's).
target_link_options(lumivox PRIVATE $<$<CONFIG:Release>:-s>)
# Sections at page boundaries in the file as in memory: the loader can map the
# 40 MB of embedded pictures and effects straight from the file (Wine otherwise
# reads every byte of a file-aligned image at start) and only the pages used are
# read.
target_link_options(lumivox PRIVATE -Wl,--file-alignment=0x1000)
# Its manifest, icon and version information; its Authenticode signature when
# the maker gives a certificate; its DLL imports loaded from the system folder.
include(cmake/WindowsResources.cmake)
include(cmake/Signing.cmake)
lumivox_sign_target(lumivox)
include(cmake/SaferLoading.cmake)

if(LUMIVOX_BUILD_TESTS)
  enable_testing()
  add_subdirectory(tests)
  # The command-line download, for the download benchmark under Wine, and the
  # signature check's benchmark.
  add_subdirectory(tools/get)
  add_subdirectory(bench/online)
endif()
