# Linux: installed as a desktop program (GNUInstallDirs under any prefix, /usr for a package).
# The files it installs besides the programs live in packaging/linux/:
#   share/applications/com.varnok.ktm520.desktop     the menu entry
#   share/icons/hicolor/*/apps/com.varnok.ktm520.*   the icon (SVG, PNGs made by render-icons)
#   share/metainfo/com.varnok.ktm520.metainfo.xml    AppStream metadata
#   share/man/man1/*.1.gz                            manual pages
# The template Data.xls goes to share/ktm520 (workbook/CMakeLists.txt).
set(KTM_APP_ID com.varnok.ktm520)
set(KTM_LINUX_SOURCE ${CMAKE_CURRENT_LIST_DIR}/linux)
set(KTM_LINUX_STAGED ${CMAKE_BINARY_DIR}/packaging)
set(KTM_MAN_PAGES ktm520 ktm520-cli ktm520-sim wbdump)

find_program(KTM_GZIP gzip REQUIRED)
# Compressed as Debian wants it (-9, no name or time stamp, so the same input gives the same
# bytes); made when CMake configures, which it does again when a source file changes.
function(ktm_gzip file)
  execute_process(COMMAND ${KTM_GZIP} -9nkf ${file} RESULT_VARIABLE status)
  if(NOT status EQUAL 0)
    message(FATAL_ERROR "gzip ${file} failed (${status})")
  endif()
endfunction()

install(FILES ${KTM_LINUX_SOURCE}/${KTM_APP_ID}.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(DIRECTORY ${KTM_LINUX_SOURCE}/icons/hicolor DESTINATION ${CMAKE_INSTALL_DATADIR}/icons)

configure_file(${KTM_LINUX_SOURCE}/${KTM_APP_ID}.metainfo.xml.in ${KTM_LINUX_STAGED}/${KTM_APP_ID}.metainfo.xml @ONLY)
install(FILES ${KTM_LINUX_STAGED}/${KTM_APP_ID}.metainfo.xml DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)

foreach(page IN LISTS KTM_MAN_PAGES)
  configure_file(${KTM_LINUX_SOURCE}/man/${page}.1.in ${KTM_LINUX_STAGED}/man/${page}.1 @ONLY)
  ktm_gzip(${KTM_LINUX_STAGED}/man/${page}.1)
  install(FILES ${KTM_LINUX_STAGED}/man/${page}.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
endforeach()
