# Cross-compiling for Windows with Debian's mingw-w64 compilers. Included by the
# two per-architecture toolchain files, which set ZARNI_MINGW_TRIPLET first.
set(CMAKE_SYSTEM_NAME Windows)

# The posix thread model gives the C++ runtime its full thread support; the
# runtime is linked statically below, so nothing of it ships as a DLL.
set(CMAKE_C_COMPILER ${ZARNI_MINGW_TRIPLET}-gcc-posix)
set(CMAKE_CXX_COMPILER ${ZARNI_MINGW_TRIPLET}-g++-posix)
set(CMAKE_RC_COMPILER ${ZARNI_MINGW_TRIPLET}-windres)
set(CMAKE_OBJDUMP ${ZARNI_MINGW_TRIPLET}-objdump CACHE FILEPATH "objdump of the cross binutils")
set(CMAKE_DLLTOOL ${ZARNI_MINGW_TRIPLET}-dlltool CACHE FILEPATH "dlltool of the cross binutils")

set(CMAKE_FIND_ROOT_PATH /usr/${ZARNI_MINGW_TRIPLET})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# The DLL and the programs need nothing but the system's own DLLs.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-static")
