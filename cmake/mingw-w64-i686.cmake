# 32-bit Windows, where the exports use the stdcall convention.
set(CMAKE_SYSTEM_PROCESSOR x86)
set(ZARNI_MINGW_TRIPLET i686-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64.cmake)
