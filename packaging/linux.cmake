# Linux: installed as a desktop program (GNUInstallDirs under any prefix, /usr for a package)
# and packaged for Debian with `cpack -G DEB` (`make package`). The files it installs besides the
# programs live in packaging/linux/:
#   share/applications/com.varnok.ktm520.desktop     the menu entry
#   share/icons/hicolor/*/apps/com.varnok.ktm520.*   the icon (SVG, PNGs made by render-icons)
#   share/metainfo/com.varnok.ktm520.metainfo.xml    AppStream metadata
#   share/man/man1/*.1.gz                            manual pages
#   share/doc/ktm520/{copyright,changelog.gz}        the package's licence and history
#   share/lintian/overrides/ktm520                   lintian's false alarms, each explained
# The template Data.xls goes to share/ktm520 (workbook/CMakeLists.txt).
set(KTM_APP_ID com.varnok.ktm520)
set(KTM_LINUX_SOURCE ${CMAKE_CURRENT_LIST_DIR}/linux)
set(KTM_LINUX_STAGED ${CMAKE_BINARY_DIR}/packaging)
set(KTM_MAN_PAGES ktm520 ktm520-cli ktm520-sim wbdump)
set(KTM_PACKAGE_MAINTAINER "Varnok <ktm520@varnok.example>" CACHE STRING "The Debian package's maintainer")

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

configure_file(${KTM_LINUX_SOURCE}/changelog ${KTM_LINUX_STAGED}/changelog COPYONLY)
ktm_gzip(${KTM_LINUX_STAGED}/changelog)
install(FILES ${KTM_LINUX_SOURCE}/copyright ${KTM_LINUX_STAGED}/changelog.gz DESTINATION ${CMAKE_INSTALL_DOCDIR})
install(FILES ${KTM_LINUX_SOURCE}/lintian-overrides DESTINATION ${CMAKE_INSTALL_DATADIR}/lintian/overrides
        RENAME ktm520)

# The Debian package. Its dependencies are computed from the binaries (dpkg-shlibdeps, from
# dpkg-dev); what the programs load without linking it is recommended.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME ktm520)
set(CPACK_PACKAGE_VENDOR "Varnok")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT ${KTM_PACKAGE_MAINTAINER})
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "data manager for the KTM-520 vibrating-wire readout")
set(CPACK_PACKAGE_DESCRIPTION
"Talks to a KTM-520 vibrating-wire readout over a serial line: browses its
data partitions and files, downloads a file or a whole partition, previews
the records and saves them as .xls, .xlsx or CSV without an office suite,
creates and deletes files, and reads and writes the component lists.
Every download is kept in an archive whose components are plotted over
time, converted to engineering units and exported. The user interface is
in Simplified Chinese.

The package holds the window program ktm520, the command line ktm520-cli
for unattended downloads, the simulated instrument ktm520-sim for trying
the program without hardware, and the workbook dump tool wbdump.")
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER ${KTM_PACKAGE_MAINTAINER})
set(CPACK_DEBIAN_PACKAGE_SECTION science)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# Qt's own dialogs in Chinese, and a font with the interface's Chinese characters.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "qt6-translations-l10n, fonts-wqy-microhei | fonts-noto-cjk | fonts-wqy-zenhei")
set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA ${KTM_LINUX_SOURCE}/postinst)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
set(CPACK_STRIP_FILES ON)
# Folders 0755 whatever the packager's umask; files are installed 0644 and programs 0755.
set(CPACK_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
    OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
include(CPack)
