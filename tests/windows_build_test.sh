#!/bin/sh
# The Windows build under wine, beside the Linux build.
#   windows_build_test.sh build SOURCE_DIR BUILD_DIR
#     cross-builds kestrovane.exe and makes the wine prefix that its tests share, BUILD_DIR/prefix;
#   windows_build_test.sh run PART SOURCE_DIR BUILD_DIR LINUX_EXECUTABLE
#     runs that part of tests/windows_test.py on them.
# Skipped (exit 77) where the cross compiler or wine is not installed, or the build has not run.
set -e
mode=$1
shift
for tool in x86_64-w64-mingw32-g++-posix wine; do
  if ! command -v "$tool" >/dev/null; then
    echo "skipped: $tool is not installed (Debian packages g++-mingw-w64-x86-64-posix, wine)"
    exit 77
  fi
done
if [ "$mode" = build ]; then
  # A fresh prefix each run: made once here rather than by each part, while the program builds,
  # since wine takes many seconds to make one and little of the processor.
  mkdir -p "$2"
  rm -rf "$2/prefix"
  WINEPREFIX="$2/prefix" WINEDEBUG=-all wineboot --init >/dev/null 2>&1 &
  cmake -S "$1" -B "$2" -DCMAKE_TOOLCHAIN_FILE="$1/cmake/mingw-w64-x86_64.cmake" >/dev/null
  cmake --build "$2" -j "$(nproc 2>/dev/null || echo 2)" --target kestrovane >/dev/null
  wait $!
  exit 0
fi
part=$1
shift
if [ ! -f "$2/kestrovane.exe" ] || [ ! -d "$2/prefix" ]; then
  echo "skipped: the Windows build has not run (ctest runs windows_build_under_wine first)"
  exit 77
fi
WINEPREFIX="$2/prefix" exec python3 "$1/tests/windows_test.py" "$part" "$3" "$2/kestrovane.exe"
