# Cross-compiles the Linux program for 64-bit ARM (Debian's arm64: ARM servers and laptops,
# 64-bit Raspberry Pi OS) with Debian package g++-aarch64-linux-gnu. Here it runs under
# `qemu-aarch64 -L /usr/aarch64-linux-gnu` (Debian package qemu-user).
set(triplet aarch64-linux-gnu)
set(CMAKE_SYSTEM_PROCESSOR aarch64)
set(KESTROVANE_DEBIAN_ARCHITECTURE arm64)
include(${CMAKE_CURRENT_LIST_DIR}/debian-cross.cmake)
