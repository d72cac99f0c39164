# Cross-compiles for 64-bit Windows with Debian's MinGW-w64 and runs the results under Wine.
# The -posix compilers: the -win32 ones have no std::thread.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(VETRA_MINGW x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${VETRA_MINGW}-gcc-posix)
set(CMAKE_CXX_COMPILER ${VETRA_MINGW}-g++-posix)
set(CMAKE_RC_COMPILER ${VETRA_MINGW}-windres)

# GoogleTest, libxlsxwriter and the link to Boost's headers (scripts/windows-deps.sh).
if(DEFINED ENV{VETRA_WINDOWS_DEPS})
  set(VETRA_WINDOWS_DEPS $ENV{VETRA_WINDOWS_DEPS})
else()
  set(VETRA_WINDOWS_DEPS $ENV{HOME}/.cache/vetra-windows-deps)
endif()
set(CMAKE_FIND_ROOT_PATH /usr/${VETRA_MINGW} ${VETRA_WINDOWS_DEPS})
# Qt for the window, once built (scripts/windows-deps.sh --qt); the host's Qt of the same
# version runs moc, rcc and uic.
set(VETRA_WINDOWS_QT ${VETRA_WINDOWS_DEPS}/qt6)
if(EXISTS ${VETRA_WINDOWS_QT}/.built-1)
  list(APPEND CMAKE_PREFIX_PATH ${VETRA_WINDOWS_QT})
  set(QT_HOST_PATH /usr)
  set(QT_HOST_PATH_CMAKE_DIR /usr/lib/x86_64-linux-gnu/cmake)
endif()
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
set(Boost_INCLUDE_DIR ${VETRA_WINDOWS_DEPS}/boost-include)
set(Boost_NO_BOOST_CMAKE ON)
set(ENV{PKG_CONFIG_LIBDIR} ${VETRA_WINDOWS_DEPS}/lib/pkgconfig)

# Static: the programs run without MinGW's DLLs beside them.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")

# Tests and their discovery run under Wine in a prefix of the build's own. Qt's DLLs and
# the MinGW runtime they need come from where they are built or installed.
set(VETRA_WINE_DLL_DIRS
  "${VETRA_WINDOWS_QT}/bin:/usr/lib/gcc/${VETRA_MINGW}/12-posix:/usr/${VETRA_MINGW}/lib")
set(CMAKE_CROSSCOMPILING_EMULATOR
  env VETRA_WINEPREFIX=${CMAKE_BINARY_DIR}/wine VETRA_WINE_DLL_DIRS=${VETRA_WINE_DLL_DIRS}
  ${CMAKE_CURRENT_LIST_DIR}/wine-run.sh)
