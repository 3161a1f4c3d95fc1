# Lumivox.exe loads the DLLs it imports that are not Known DLLs from the system
# folder only, so that a file of that name in the program's folder (which the
# updater writes into) cannot stand in for one. The Known DLLs (kernel32,
# user32, gdi32, advapi32, ole32, shell32, comdlg32, ws2_32, msvcrt) always come
# from the system. The others are delay-loaded: their import libraries are
# replaced, for Lumivox.exe alone, by delay-import libraries (dlltool -y) of the
# same name, and WinMain limits the DLL search to the system folder
# (SetDefaultDllDirectories) before any of them is first called. comdlg32, a
# Known DLL, is delay-loaded too, for start-up time alone: only the open-file
# dialog needs it, and it brings the printing DLLs (winspool, compstui) along.
# bcrypt (the remote panel's random tokens) is no Known DLL on every Windows.
set(LUMIVOX_DELAY_LOADED_DLLS comctl32 msacm32 wininet winmm comdlg32 bcrypt)
find_program(LUMIVOX_DLLTOOL x86_64-w64-mingw32-dlltool REQUIRED)
find_program(LUMIVOX_NM x86_64-w64-mingw32-nm REQUIRED)
set(delay_dir ${CMAKE_BINARY_DIR}/delay-import)
set(delay_libs "")
foreach(dll ${LUMIVOX_DELAY_LOADED_DLLS})
  find_library(LUMIVOX_IMPORT_LIB_${dll} NAMES lib${dll}.a REQUIRED)
  add_custom_command(OUTPUT ${delay_dir}/lib${dll}.a
    COMMAND ${CMAKE_COMMAND} -DNM=${LUMIVOX_NM} -DDLLTOOL=${LUMIVOX_DLLTOOL} -DDLL=${dll}
      -DIMPORT_LIB=${LUMIVOX_IMPORT_LIB_${dll}} -DOUTPUT_DIR=${delay_dir}
      -P ${CMAKE_CURRENT_LIST_DIR}/DelayImportLibrary.cmake
    DEPENDS ${LUMIVOX_IMPORT_LIB_${dll}} ${CMAKE_CURRENT_LIST_DIR}/DelayImportLibrary.cmake
    COMMENT "Making the delay-import library of ${dll}.dll"
    VERBATIM)
  list(APPEND delay_libs ${delay_dir}/lib${dll}.a)
endforeach()
add_custom_target(lumivox_delay_import_libs DEPENDS ${delay_libs})
add_dependencies(lumivox lumivox_delay_import_libs)
# Searched before the toolchain's own folder: -lwinmm finds the delay-import library.
target_link_directories(lumivox BEFORE PRIVATE ${delay_dir})
set_property(TARGET lumivox APPEND PROPERTY LINK_DEPENDS ${delay_libs})
