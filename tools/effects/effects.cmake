# The sound-effect generator and the 50 effects it makes in the build. Included
# from assets/CMakeLists.txt (the program needs the effects even when tests and
# tools are not built). The effects are remade only when the generator changes:
# they depend on its executable alone.
pkg_check_modules(ESPEAK_NG REQUIRED IMPORTED_TARGET espeak-ng)
pkg_check_modules(EBUR128 REQUIRED IMPORTED_TARGET libebur128)

set(LUMIVOX_EFFECTS_DIR ${CMAKE_SOURCE_DIR}/tools/effects)
add_executable(lumivox_effect_generator
  ${LUMIVOX_EFFECTS_DIR}/GeneratorMain.cpp
  ${LUMIVOX_EFFECTS_DIR}/Dsp.cpp
  ${LUMIVOX_EFFECTS_DIR}/Loudness.cpp
  ${LUMIVOX_EFFECTS_DIR}/RecipesNoises.cpp
  ${LUMIVOX_EFFECTS_DIR}/RecipesTones.cpp
  ${LUMIVOX_EFFECTS_DIR}/RecipesVoices.cpp
  ${LUMIVOX_EFFECTS_DIR}/Speech.cpp
  ${LUMIVOX_EFFECTS_DIR}/WaveWriter.cpp)
target_include_directories(lumivox_effect_generator PRIVATE ${CMAKE_SOURCE_DIR})
target_link_libraries(lumivox_effect_generator PRIVATE PkgConfig::ESPEAK_NG PkgConfig::EBUR128
  Threads::Threads)
# Always optimised and uninstrumented: it runs in every build, sanitizer builds too.
target_compile_options(lumivox_effect_generator PRIVATE -O2 -fno-sanitize=all)
target_link_options(lumivox_effect_generator PRIVATE -fno-sanitize=all)

# The loudness measure, shared with the tests of the embedded effects.
add_library(lumivox_effect_loudness STATIC ${LUMIVOX_EFFECTS_DIR}/Loudness.cpp)
target_include_directories(lumivox_effect_loudness PUBLIC ${CMAKE_SOURCE_DIR})
target_link_libraries(lumivox_effect_loudness PUBLIC PkgConfig::EBUR128)

include(${CMAKE_CURRENT_LIST_DIR}/effect-files.cmake)
lumivox_effect_files(LUMIVOX_EFFECT_FILES ${CMAKE_CURRENT_BINARY_DIR}/effects)
add_custom_command(
  OUTPUT ${LUMIVOX_EFFECT_FILES}
  COMMAND lumivox_effect_generator ${CMAKE_CURRENT_BINARY_DIR}/effects
  DEPENDS lumivox_effect_generator
  COMMENT "Making the 50 sound effects"
  VERBATIM)
add_custom_target(lumivox_effects DEPENDS ${LUMIVOX_EFFECT_FILES})
