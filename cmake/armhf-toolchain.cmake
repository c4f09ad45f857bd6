# Cross-build for 32-bit ARM (armhf) with Debian's cross toolchain.
#
# The target libraries (Poco, Paho, SQLite, OpenSSL, zlib, PCRE, expat, GoogleTest) come from a
# sysroot folder made of Debian armhf packages unpacked with dpkg-deb (see scripts/armhf); C and
# C++ runtime come from the cross toolchain itself (/usr/arm-linux-gnueabihf).
#
# Set ORVIK_ARMHF_SYSROOT (cache variable or environment) to the unpacked folder. Tests run under
# qemu-arm through CMAKE_CROSSCOMPILING_EMULATOR, so ctest and test discovery work unchanged.
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR arm)

if(NOT ORVIK_ARMHF_SYSROOT)
  set(ORVIK_ARMHF_SYSROOT "$ENV{ORVIK_ARMHF_SYSROOT}")
endif()
if(NOT ORVIK_ARMHF_SYSROOT OR NOT EXISTS "${ORVIK_ARMHF_SYSROOT}/usr/include")
  message(FATAL_ERROR "ORVIK_ARMHF_SYSROOT must name the unpacked armhf sysroot (scripts/armhf makes it)")
endif()
# try_compile projects re-read this file: hand the folder on to them.
set(ENV{ORVIK_ARMHF_SYSROOT} "${ORVIK_ARMHF_SYSROOT}")
list(APPEND CMAKE_TRY_COMPILE_PLATFORM_VARIABLES ORVIK_ARMHF_SYSROOT)

set(triple arm-linux-gnueabihf)
set(CMAKE_C_COMPILER ${triple}-gcc)
set(CMAKE_CXX_COMPILER ${triple}-g++)

# Libraries and config packages are searched in the sysroot only; programs on the build host.
list(APPEND CMAKE_FIND_ROOT_PATH "${ORVIK_ARMHF_SYSROOT}")
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
set(CMAKE_LIBRARY_ARCHITECTURE ${triple})

set(sysroot_libs "${ORVIK_ARMHF_SYSROOT}/usr/lib/${triple}:${ORVIK_ARMHF_SYSROOT}/lib/${triple}")
# The sysroot's headers sit beside the toolchain's own; -rpath-link lets the linker follow the
# indirect dependencies (libpcre, libexpat, libssl...) of the libraries linked directly.
set(sysroot_includes "-isystem ${ORVIK_ARMHF_SYSROOT}/usr/include -isystem ${ORVIK_ARMHF_SYSROOT}/usr/include/${triple}")
# -Wno-psabi: GCC notes, in the standard library's templates, that the armhf calling convention of
# some aggregates changed in GCC 7.1. Everything here is built with one compiler, so the notes say
# nothing and would only bury a real warning.
set(CMAKE_C_FLAGS_INIT "${sysroot_includes} -Wno-psabi")
set(CMAKE_CXX_FLAGS_INIT "${sysroot_includes} -Wno-psabi")
foreach(kind EXE SHARED MODULE)
  set(CMAKE_${kind}_LINKER_FLAGS_INIT
      "-L${ORVIK_ARMHF_SYSROOT}/usr/lib/${triple} -Wl,-rpath-link,${sysroot_libs}")
endforeach()

# No binfmt here: every target program runs through qemu-arm, with the toolchain's loader and C
# library (-L) and the sysroot's shared libraries.
set(CMAKE_CROSSCOMPILING_EMULATOR
    qemu-arm -L /usr/${triple} -E "LD_LIBRARY_PATH=${sysroot_libs}")
