# What Debian's cross compilers for Linux share, included by a toolchain file that has set
# `triplet` (the compilers' prefix, such as aarch64-linux-gnu), CMAKE_SYSTEM_PROCESSOR and
# KESTROVANE_DEBIAN_ARCHITECTURE (the package's Architecture field, such as arm64).
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_C_COMPILER ${triplet}-gcc)
set(CMAKE_CXX_COMPILER ${triplet}-g++)
# The target system's libraries and headers, as Debian's libc6-dev-*-cross packages install them.
set(CMAKE_FIND_ROOT_PATH /usr/${triplet})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
