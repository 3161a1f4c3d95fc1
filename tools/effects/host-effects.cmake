# The 50 effects for a cross build: the generator is a program of the build
# machine, so a build of this project for the build machine (its generator
# alone) makes them, below the cross build's own folder.
include(ExternalProject)
enable_language(ASM)
set(LUMIVOX_HOST_BUILD_DIR ${CMAKE_BINARY_DIR}/host)
set(LUMIVOX_GENERATED_ASSETS_DIR ${LUMIVOX_HOST_BUILD_DIR}/assets)
include(${CMAKE_CURRENT_LIST_DIR}/effect-files.cmake)
lumivox_effect_files(LUMIVOX_EFFECT_FILES ${LUMIVOX_GENERATED_ASSETS_DIR}/effects)
ExternalProject_Add(lumivox_host_effects
  SOURCE_DIR ${CMAKE_SOURCE_DIR}
  BINARY_DIR ${LUMIVOX_HOST_BUILD_DIR}
  CMAKE_GENERATOR Ninja
  CMAKE_ARGS -DCMAKE_BUILD_TYPE=Release -DLUMIVOX_BUILD_TESTS=OFF
  BUILD_COMMAND ${CMAKE_COMMAND} --build <BINARY_DIR> --target lumivox_effects
  INSTALL_COMMAND ""
  # The inner build knows when the recipes changed.
  BUILD_ALWAYS ON
  BUILD_BYPRODUCTS ${LUMIVOX_EFFECT_FILES})
add_custom_target(lumivox_effects DEPENDS lumivox_host_effects)
