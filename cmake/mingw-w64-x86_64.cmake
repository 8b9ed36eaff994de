# Cross-building for Windows x64 with Debian's MinGW-w64 (the posix thread
# model, which std::thread and std::mutex need), and running what is built
# under Wine: ctest and GoogleTest's discovery call the programs through the
# emulator below.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR AMD64)

set(LVS_MINGW_TRIPLE x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${LVS_MINGW_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${LVS_MINGW_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER ${LVS_MINGW_TRIPLE}-windres)

# Libraries and headers come from the MinGW tree (zlib, the Windows
# headers) and from the prefix the cross build fills (cmake/WindowsDeps.cmake),
# never from the build machine's own /usr.
# (list(FIND): the libraries built with this file may predate IN_LIST.)
list(FIND CMAKE_FIND_ROOT_PATH /usr/${LVS_MINGW_TRIPLE} known)
if(known EQUAL -1)
  list(APPEND CMAKE_FIND_ROOT_PATH /usr/${LVS_MINGW_TRIPLE})
endif()
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# Debian installs wine64 outside PATH; the wrapper gives each build tree its
# own Wine prefix and keeps Wine's own chatter out of test output.
find_program(LVS_WINE64 NAMES wine64 PATHS /usr/lib/wine /usr/lib64/wine NO_CMAKE_FIND_ROOT_PATH)
if(LVS_WINE64)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_CURRENT_LIST_DIR}/wine-run.sh)
endif()
