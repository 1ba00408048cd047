# 64-bit Windows, with Debian's g++-mingw-w64-x86-64-win32. ctest runs the
# tests under Wine when Debian's wine64 is installed.
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(mingw_triplet x86_64-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64.cmake)

# No Wine debug chatter, and no offer to install Mono or Gecko.
find_program(CELLPORT_WINE64 wine64 PATHS /usr/lib/wine NO_CMAKE_FIND_ROOT_PATH)
if(CELLPORT_WINE64 AND NOT CMAKE_CROSSCOMPILING_EMULATOR)
  set(CMAKE_CROSSCOMPILING_EMULATOR
      env WINEDEBUG=-all WINEDLLOVERRIDES=mscoree,mshtml= ${CELLPORT_WINE64})
endif()
