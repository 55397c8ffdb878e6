# Cross-compiles for Windows with Debian's MinGW-w64 (posix thread model, which
# GoogleTest needs for its std::thread-based pieces). The including toolchain
# file names the processor: i686 for the shipped HD.EXE, x86_64 for the twin
# build that runs the tests on hosts without 32-bit execution.
set(CMAKE_SYSTEM_NAME Windows)
set(toolchain_prefix ${CMAKE_SYSTEM_PROCESSOR}-w64-mingw32)

set(CMAKE_C_COMPILER ${toolchain_prefix}-gcc-posix)
set(CMAKE_CXX_COMPILER ${toolchain_prefix}-g++-posix)
set(CMAKE_RC_COMPILER ${toolchain_prefix}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${toolchain_prefix})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)

# Every Windows program built here runs under Wine through this wrapper
# (private prefix, Russian ANSI code page, the loader that fits the program).
set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_CURRENT_LIST_DIR}/../tools/wine-run)
