# Cross-compiles the Linux program for 32-bit ARM with hardware floating point (Debian's armhf:
# 32-bit Raspberry Pi OS) with Debian package g++-arm-linux-gnueabihf. Here it runs under
# `qemu-arm -L /usr/arm-linux-gnueabihf` (Debian package qemu-user).
set(triplet arm-linux-gnueabihf)
set(CMAKE_SYSTEM_PROCESSOR arm)
set(KESTROVANE_DEBIAN_ARCHITECTURE armhf)
include(${CMAKE_CURRENT_LIST_DIR}/debian-cross.cmake)
