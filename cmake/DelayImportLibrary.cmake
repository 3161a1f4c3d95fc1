# A delay-import library of one DLL with every function its import library names:
#   cmake -DNM=... -DDLLTOOL=... -DDLL=winmm -DIMPORT_LIB=.../libwinmm.a -DOUTPUT_DIR=... -P DelayImportLibrary.cmake
# A function has both NAME (its thunk) and __imp_NAME; data exports (no thunk)
# cannot be delay-loaded and are left out.
cmake_minimum_required(VERSION 3.25)
execute_process(COMMAND ${NM} --defined-only ${IMPORT_LIB}
  OUTPUT_VARIABLE symbols RESULT_VARIABLE result)
if(NOT result EQUAL 0)
  message(FATAL_ERROR "${NM} could not read ${IMPORT_LIB}")
endif()
string(REGEX MATCHALL "[0-9a-f]+ I __imp_[A-Za-z0-9_@?$]+" imports "${symbols}")
string(REGEX MATCHALL "[0-9a-f]+ T [A-Za-z0-9_@?$]+" thunks "${symbols}")
list(TRANSFORM imports REPLACE "^[0-9a-f]+ I __imp_" "")
list(TRANSFORM thunks REPLACE "^[0-9a-f]+ T " "")
set(def "LIBRARY ${DLL}.dll\nEXPORTS\n")
set(count 0)
foreach(name ${imports})
  if(name IN_LIST thunks)
    string(APPEND def "${name}\n")
    math(EXPR count "${count} + 1")
  endif()
endforeach()
if(count EQUAL 0)
  message(FATAL_ERROR "no functions found in ${IMPORT_LIB}")
endif()
file(MAKE_DIRECTORY ${OUTPUT_DIR})
file(WRITE ${OUTPUT_DIR}/${DLL}.def "${def}")
execute_process(COMMAND ${DLLTOOL} --input-def ${OUTPUT_DIR}/${DLL}.def --dllname ${DLL}.dll
    --output-delaylib ${OUTPUT_DIR}/lib${DLL}.a
  WORKING_DIRECTORY ${OUTPUT_DIR} RESULT_VARIABLE result)
if(NOT result EQUAL 0)
  message(FATAL_ERROR "${DLLTOOL} could not make the delay-import library of ${DLL}.dll")
endif()
