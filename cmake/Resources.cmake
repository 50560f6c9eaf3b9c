# The resources the program finds by id: resgen draws every bitmap, synthesizes every
# sound and makes the icon at build time, then writes a source file that embeds them
# into clavora_res with the assembler's .incbin.
pkg_check_modules(PANGOCAIRO REQUIRED IMPORTED_TARGET pangocairo cairo cairo-svg)

file(GLOB CLAVORA_RESGEN_SOURCES CONFIGURE_DEPENDS tools/resgen/*.cpp)
add_executable(resgen ${CLAVORA_RESGEN_SOURCES})
target_link_libraries(resgen PRIVATE PkgConfig::PANGOCAIRO)
# The generator runs during the build: keep sanitizers (and their leak reports on
# fontconfig's caches) out of it.
target_compile_options(resgen PRIVATE -fno-sanitize=all)
target_link_options(resgen PRIVATE -fno-sanitize=all)

set(CLAVORA_RES_DIR ${CMAKE_BINARY_DIR}/generated/resources)
# The desktop icon, drawn at each size it is installed at, and as SVG.
set(CLAVORA_ICON_SIDES 16 32 48 64 128 256)
set(CLAVORA_DESKTOP_ICONS ${CLAVORA_RES_DIR}/icons/clavora.svg)
foreach(side ${CLAVORA_ICON_SIDES})
  list(APPEND CLAVORA_DESKTOP_ICONS ${CLAVORA_RES_DIR}/icons/clavora-${side}.png)
endforeach()
add_custom_command(
  OUTPUT ${CLAVORA_RES_DIR}/ResourceBlobs.cpp ${CLAVORA_DESKTOP_ICONS}
  COMMAND resgen ${CLAVORA_RES_DIR}
  DEPENDS resgen
  COMMENT "Drawing the art, synthesizing the sounds"
  VERBATIM)

add_library(clavora_res STATIC src/platform/resources/Resources.cpp
  ${CLAVORA_RES_DIR}/ResourceBlobs.cpp)
target_include_directories(clavora_res PUBLIC src)
