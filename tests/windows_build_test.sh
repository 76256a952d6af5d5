#!/bin/sh
# Cross-builds kestrovane.exe and runs the Windows tests on it under wine, beside the Linux
# build. Skipped (exit 77) where the cross compiler or wine is not installed.
# Usage: windows_build_test.sh SOURCE_DIR BUILD_DIR LINUX_EXECUTABLE
set -e
for tool in x86_64-w64-mingw32-g++-posix wine; do
  if ! command -v "$tool" >/dev/null; then
    echo "skipped: $tool is not installed (Debian packages g++-mingw-w64-x86-64-posix, wine)"
    exit 77
  fi
done
cmake -S "$1" -B "$2" -DCMAKE_TOOLCHAIN_FILE="$1/cmake/mingw-w64-x86_64.cmake" >/dev/null
cmake --build "$2" -j --target kestrovane >/dev/null
exec python3 "$1/tests/windows_test.py" "$3" "$2/kestrovane.exe"
