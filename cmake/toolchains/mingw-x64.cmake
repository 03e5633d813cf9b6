# Cross-compiles for 64-bit Windows with Debian's mingw-w64 (win32 thread model).
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(KW_MINGW_TRIPLE x86_64-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)
# Where Wine is installed, the Windows checks run under it.
find_program(KW_WINE64 wine64 PATHS /usr/lib/wine NO_DEFAULT_PATH)
if(KW_WINE64)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${KW_WINE64})
endif()
