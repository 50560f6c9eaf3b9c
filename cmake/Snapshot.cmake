# tools/snapshot: frames of the real main window in scripted states, composed headless
# and written as PNG files, at 1x (NAME.png) and at 2x from the 2x art (NAME@2x.png).
# `cmake --build <dir> --target snapshots` writes them to <dir>/snapshots.
find_package(Threads REQUIRED)
file(GLOB CLAVORA_SNAPSHOT_SOURCES CONFIGURE_DEPENDS tools/snapshot/*.cpp)
add_executable(snapshot ${CLAVORA_SNAPSHOT_SOURCES})
target_link_libraries(snapshot PRIVATE clavora_platform_common PkgConfig::PANGOCAIRO Threads::Threads)
add_custom_target(snapshots
  COMMAND snapshot ${CMAKE_BINARY_DIR}/snapshots
  DEPENDS snapshot
  COMMENT "Writing snapshots to ${CMAKE_BINARY_DIR}/snapshots"
  VERBATIM)
