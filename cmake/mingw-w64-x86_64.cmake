# Cross-compiling for 64-bit Windows with Debian's mingw-w64 (posix threads flavour).
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(SKELD_MINGW_TRIPLE x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${SKELD_MINGW_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${SKELD_MINGW_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER ${SKELD_MINGW_TRIPLE}-windres)

# The cross Qt prefix (and anything else given in CMAKE_PREFIX_PATH) is searched as a target
# root; programs, such as the host's moc and rcc, still come from the host.
set(CMAKE_FIND_ROOT_PATH /usr/${SKELD_MINGW_TRIPLE} ${CMAKE_PREFIX_PATH})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
