# Cross-compiling for 64-bit Windows with Debian's mingw-w64 (the posix-threads flavour, which
# the cross Qt of build-qt.sh was built with). LAUNCHER_WIN_QT is that Qt's prefix,
# LAUNCHER_WIN_SODIUM the prefix of build-sodium.sh's static libsodium (optional).
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(triple x86_64-w64-mingw32)
set(CMAKE_C_COMPILER /usr/bin/${triple}-gcc-posix)
set(CMAKE_CXX_COMPILER /usr/bin/${triple}-g++-posix)
set(CMAKE_RC_COMPILER /usr/bin/${triple}-windres)

list(APPEND CMAKE_TRY_COMPILE_PLATFORM_VARIABLES LAUNCHER_WIN_QT LAUNCHER_WIN_SODIUM)
set(CMAKE_FIND_ROOT_PATH /usr/${triple} ${LAUNCHER_WIN_QT} ${LAUNCHER_WIN_SODIUM})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# The compiler's own runtime (libstdc++, libgcc, winpthread) linked in, like Qt itself: the
# product tree needs no DLL beside the executables.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")
