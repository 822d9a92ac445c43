# Windows. Cross-built on Linux with mingw-w64 (preset windows-cross): the deployed folder
# deploy/ktm520 (the programs, exactly the DLLs and Qt plugins they load, Qt's catalogues, Data.xls
# and the licences) and the NSIS installer ktm520-<version>-setup.exe, both part of the build.
# Built with MSVC (preset windows-msvc):
#   `cmake --install` puts the program and the command line in bin\ with Data.xls beside
# them, then windeployqt adds the Qt libraries, plugins and Qt's own translations (Chinese and
# English) in bin\translations, where the program looks first. `cpack` (preset windows-msvc)
# makes an NSIS installer with a Start-menu entry and an uninstaller.
if(CMAKE_CROSSCOMPILING AND MINGW)
  find_program(KTM_OBJDUMP x86_64-w64-mingw32-objdump REQUIRED)
  find_program(KTM_STRIP x86_64-w64-mingw32-strip REQUIRED)
  find_program(KTM_MAKENSIS makensis REQUIRED)
  find_path(KTM_QT_CATALOGUES qtbase_zh_CN.qm PATHS /usr/share/qt6/translations NO_CMAKE_FIND_ROOT_PATH REQUIRED)
  execute_process(COMMAND ${CMAKE_CXX_COMPILER} -print-file-name=libstdc++-6.dll OUTPUT_VARIABLE stdcxx OUTPUT_STRIP_TRAILING_WHITESPACE)
  execute_process(COMMAND ${CMAKE_CXX_COMPILER} -print-file-name=libwinpthread-1.dll OUTPUT_VARIABLE pthread OUTPUT_STRIP_TRAILING_WHITESPACE)
  get_filename_component(gcc_runtime ${stdcxx} DIRECTORY)
  get_filename_component(pthread_runtime ${pthread} DIRECTORY)

  set(deployed ${CMAKE_BINARY_DIR}/deploy/ktm520)
  set(licences ${CMAKE_BINARY_DIR}/deploy/licenses)
  set(setup ${CMAKE_BINARY_DIR}/ktm520-${PROJECT_VERSION}-setup.exe)
  set(catalogues)
  foreach(qm qtbase_zh_CN qtserialport_zh_CN) # the ones app/QtTranslations loads
    list(APPEND catalogues --file ${KTM_QT_CATALOGUES}/${qm}.qm=translations/${qm}.qm)
  endforeach()
  add_custom_target(windows-deploy ALL
    COMMAND ${CMAKE_COMMAND} -E rm -rf ${licences}
    COMMAND ${CMAKE_COMMAND} -E copy_directory ${KTM_WINDOWS_DEPS}/share/licenses ${licences}
    COMMAND ${CMAKE_COMMAND} -E copy /usr/share/common-licenses/GPL-3 ${licences}/GPL-3.0.txt
    COMMAND ${CMAKE_COMMAND} -E copy /usr/share/common-licenses/LGPL-3 ${licences}/LGPL-3.0.txt
    COMMAND ${CMAKE_COMMAND} -E copy ${PROJECT_SOURCE_DIR}/packaging/linux/copyright ${licences}/ktm520-copyright.txt
    COMMAND ${CMAKE_COMMAND} -E copy /usr/share/doc/gcc-mingw-w64-base/copyright ${licences}/mingw-gcc-runtime-copyright.txt
    COMMAND ${CMAKE_COMMAND} -E copy /usr/share/doc/mingw-w64-common/copyright ${licences}/mingw-w64-copyright.txt
    COMMAND ${SYSTEM_PYTHON3} ${CMAKE_CURRENT_LIST_DIR}/windows/deploy.py --out ${deployed}
            --objdump ${KTM_OBJDUMP} --strip ${KTM_STRIP}
            --search ${KTM_WINDOWS_DEPS}/bin --search ${gcc_runtime} --search ${pthread_runtime}
            --plugins ${KTM_WINDOWS_DEPS}/plugins
            --plugin platforms/qwindows.dll --plugin styles/qwindowsvistastyle.dll
            ${catalogues}
            --file ${CMAKE_RUNTIME_OUTPUT_DIRECTORY}/Data.xls
            --file ${licences}=licenses
            $<TARGET_FILE:ktm520> $<TARGET_FILE:ktm520-cli> $<TARGET_FILE:wbdump>
    BYPRODUCTS ${CMAKE_BINARY_DIR}/deploy/install-files.nsh ${CMAKE_BINARY_DIR}/deploy/uninstall-files.nsh
    DEPENDS ktm520 ktm520-cli wbdump data-template ${CMAKE_CURRENT_LIST_DIR}/windows/deploy.py
    COMMENT "Laying out the Windows program's folder"
    VERBATIM)
  add_custom_command(OUTPUT ${setup}
    COMMAND ${KTM_MAKENSIS} -V2 -DVERSION=${PROJECT_VERSION} -DDEPLOYED=${deployed}
            -DLISTS=${CMAKE_BINARY_DIR}/deploy -DLICENSE_FILE=${licences}/GPL-3.0.txt -DOUTFILE=${setup}
            ${CMAKE_CURRENT_LIST_DIR}/windows/ktm520.nsi
    DEPENDS windows-deploy ${CMAKE_CURRENT_LIST_DIR}/windows/ktm520.nsi
            ${CMAKE_BINARY_DIR}/deploy/install-files.nsh
    COMMENT "Making the installer ktm520-${PROJECT_VERSION}-setup.exe"
    VERBATIM)
  add_custom_target(windows-installer ALL DEPENDS ${setup})
  return()
endif()

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
