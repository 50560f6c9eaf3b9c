# What `cmake --install` puts on the machine: the program, the launcher the
# applications menu starts it with, the desktop entry, the icons at every size, the
# AppStream metainfo and the manual page. One application id names the desktop entry,
# the metainfo and the icon; the window's class is the desktop entry's StartupWMClass.
include(GNUInstallDirs)

set(CLAVORA_APP_ID "org.clavora.Clavora")
set(CLAVORA_WM_CLASS "Clavora")
set(CLAVORA_RELEASE_DATE "2026-12-07")
target_compile_definitions(clavora_platform PRIVATE
  CLAVORA_APP_ID="${CLAVORA_APP_ID}" CLAVORA_WM_CLASS="${CLAVORA_WM_CLASS}")

# The launcher finds the program by the way from its own directory to the program's, so
# that a tree unpacked anywhere (or installed under another prefix) starts its own copy.
set(CLAVORA_LAUNCHER_DIR ${CMAKE_INSTALL_LIBEXECDIR}/clavora)
file(RELATIVE_PATH CLAVORA_LAUNCHER_TO_BIN
  ${CMAKE_INSTALL_PREFIX}/${CLAVORA_LAUNCHER_DIR} ${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_BINDIR})
set(CLAVORA_LAUNCHER ${CMAKE_INSTALL_FULL_LIBEXECDIR}/clavora/clavora-desktop)
# The desktop entry's "Practice progress" action: the history's picture, opened.
set(CLAVORA_PROGRESS_LAUNCHER ${CMAKE_INSTALL_FULL_LIBEXECDIR}/clavora/clavora-progress-desktop)

set(CLAVORA_DIST_OUT ${CMAKE_BINARY_DIR}/dist)
configure_file(dist/clavora-desktop.in ${CLAVORA_DIST_OUT}/clavora-desktop @ONLY)
configure_file(dist/clavora-progress-desktop.in ${CLAVORA_DIST_OUT}/clavora-progress-desktop @ONLY)
configure_file(dist/clavora.desktop.in ${CLAVORA_DIST_OUT}/${CLAVORA_APP_ID}.desktop @ONLY)
configure_file(dist/clavora.metainfo.xml.in ${CLAVORA_DIST_OUT}/${CLAVORA_APP_ID}.metainfo.xml @ONLY)

install(TARGETS clavora RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(PROGRAMS ${CLAVORA_DIST_OUT}/clavora-desktop ${CLAVORA_DIST_OUT}/clavora-progress-desktop
  DESTINATION ${CLAVORA_LAUNCHER_DIR})
install(FILES ${CLAVORA_DIST_OUT}/${CLAVORA_APP_ID}.desktop
  DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES ${CLAVORA_DIST_OUT}/${CLAVORA_APP_ID}.metainfo.xml
  DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)
install(FILES dist/clavora.1 DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
foreach(side ${CLAVORA_ICON_SIDES})
  install(FILES ${CLAVORA_RES_DIR}/icons/clavora-${side}.png
    DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${side}x${side}/apps
    RENAME ${CLAVORA_APP_ID}.png)
endforeach()
install(FILES ${CLAVORA_RES_DIR}/icons/clavora.svg
  DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps RENAME ${CLAVORA_APP_ID}.svg)
