# Cross-compiling the program for Windows on Linux with mingw-w64 (posix threads) against the
# libraries scripts/windows-deps builds. The compiler's runtime stays in its DLLs, which the
# deployed folder carries beside the program, so every DLL shares one C++ runtime.
#
# The dependencies' folder comes from KTM_WINDOWS_DEPS (a cache variable or the environment).
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(CMAKE_C_COMPILER x86_64-w64-mingw32-gcc-posix)
set(CMAKE_CXX_COMPILER x86_64-w64-mingw32-g++-posix)
set(CMAKE_RC_COMPILER x86_64-w64-mingw32-windres)

if(NOT KTM_WINDOWS_DEPS AND DEFINED ENV{KTM_WINDOWS_DEPS})
  set(KTM_WINDOWS_DEPS "$ENV{KTM_WINDOWS_DEPS}")
endif()
# The copy scripts/windows-deps keeps in <deps>/share/ktm520 finds its folder by itself.
if(NOT KTM_WINDOWS_DEPS AND CMAKE_CURRENT_LIST_DIR MATCHES "/share/ktm520$")
  get_filename_component(KTM_WINDOWS_DEPS "${CMAKE_CURRENT_LIST_DIR}/../.." ABSOLUTE)
endif()
# try_compile projects see the variable only when it is passed on.
list(APPEND CMAKE_TRY_COMPILE_PLATFORM_VARIABLES KTM_WINDOWS_DEPS)

set(CMAKE_FIND_ROOT_PATH /usr/x86_64-w64-mingw32)
if(KTM_WINDOWS_DEPS)
  list(PREPEND CMAKE_FIND_ROOT_PATH "${KTM_WINDOWS_DEPS}")
  list(APPEND CMAKE_PREFIX_PATH "${KTM_WINDOWS_DEPS}")
  # pkg-config (libzip) looks in the dependencies' folder only, never in the host's.
  set(ENV{PKG_CONFIG_LIBDIR} "${KTM_WINDOWS_DEPS}/lib/pkgconfig")
  set(ENV{PKG_CONFIG_PATH} "")
  set(ENV{PKG_CONFIG_SYSROOT_DIR} "")
endif()
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
