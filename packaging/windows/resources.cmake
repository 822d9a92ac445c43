# The Windows resources of a program: its icon, made from the committed PNG sizes of the
# program's icon, and its version block.
#   ktm_windows_resources(TARGET NAME DESCRIPTION)
function(ktm_windows_resources target name description)
  if(NOT WIN32)
    return()
  endif()
  enable_language(RC)
  set(icons ${PROJECT_SOURCE_DIR}/packaging/linux/icons/hicolor)
  set(KTM_ICO ${CMAKE_BINARY_DIR}/windows-resources/ktm520.ico)
  if(NOT EXISTS ${KTM_ICO})
    file(MAKE_DIRECTORY ${CMAKE_BINARY_DIR}/windows-resources)
    execute_process(COMMAND ${SYSTEM_PYTHON3} ${PROJECT_SOURCE_DIR}/packaging/windows/make-ico.py ${KTM_ICO}
                            ${icons}/16x16/apps/com.varnok.ktm520.png ${icons}/32x32/apps/com.varnok.ktm520.png
                            ${icons}/48x48/apps/com.varnok.ktm520.png ${icons}/256x256/apps/com.varnok.ktm520.png
                    COMMAND_ERROR_IS_FATAL ANY)
  endif()
  set(KTM_NAME ${name})
  set(KTM_DESCRIPTION ${description})
  set(rc ${CMAKE_BINARY_DIR}/windows-resources/${name}.rc)
  configure_file(${PROJECT_SOURCE_DIR}/packaging/windows/ktm520.rc.in ${rc} @ONLY)
  target_sources(${target} PRIVATE ${rc})
endfunction()
