# Windows: `cmake --install` puts the program and the command line in bin\ with Data.xls beside
# them, then windeployqt adds the Qt libraries, plugins and Qt's own translations (Chinese and
# English) in bin\translations, where the program looks first. `cpack` (preset windows-msvc)
# makes an NSIS installer with a Start-menu entry and an uninstaller.
find_program(KTM_WINDEPLOYQT windeployqt
  HINTS "${QT6_INSTALL_PREFIX}/${QT6_INSTALL_BINS}" "${Qt6_DIR}/../../../tools/Qt6/bin" "${Qt6_DIR}/../../../bin")
if(KTM_WINDEPLOYQT)
  install(CODE "
    execute_process(
      COMMAND \"${KTM_WINDEPLOYQT}\" --release --no-compiler-runtime --translations zh_CN,en
              --dir \"\${CMAKE_INSTALL_PREFIX}/bin\"
              \"\${CMAKE_INSTALL_PREFIX}/bin/ktm520.exe\" \"\${CMAKE_INSTALL_PREFIX}/bin/ktm520-cli.exe\"
      RESULT_VARIABLE status)
    if(NOT status EQUAL 0)
      message(FATAL_ERROR \"windeployqt failed (\${status})\")
    endif()")
else()
  message(WARNING "windeployqt was not found: the installed program will lack the Qt libraries")
endif()

# The compiler's runtime libraries, into bin\ beside the program.
set(CMAKE_INSTALL_SYSTEM_RUNTIME_DESTINATION bin)
include(InstallRequiredSystemLibraries)

set(CPACK_GENERATOR NSIS)
set(CPACK_PACKAGE_NAME "KTM520")
set(CPACK_PACKAGE_VENDOR "Varnok")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "KTM-520 vibrating-wire readout data manager")
set(CPACK_PACKAGE_INSTALL_DIRECTORY "KTM-520 Data Manager")
# The Start-menu entry: bin\ktm520.exe under the program's name (kept ASCII: the installer's
# own texts are not guaranteed to be Unicode).
set(CPACK_PACKAGE_EXECUTABLES "ktm520" "KTM-520 Data Manager")
set(CPACK_NSIS_DISPLAY_NAME "KTM-520 Data Manager")
set(CPACK_NSIS_INSTALLED_ICON_NAME "bin\\\\ktm520.exe")
set(CPACK_NSIS_ENABLE_UNINSTALL_BEFORE_INSTALL ON)
set(CPACK_NSIS_MANIFEST_DPI_AWARE ON)
include(CPack)
