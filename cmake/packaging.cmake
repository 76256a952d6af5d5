# What people install: Debian and RPM packages on Linux, a zip on Windows, all made by the
# package target (CPack) and named after the project's version, with a SHA256SUMS file beside
# them. The same commit gives the same packages byte for byte (cmake/package-time.cmake).

set(CPACK_PACKAGE_NAME kestrovane)
set(CPACK_PACKAGE_VENDOR "The Kestrovane team")
set(CPACK_PACKAGE_CONTACT "The Kestrovane team <kestrovane@example.com>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "encode and decode text files with a reversible vowel code")
set(CPACK_PACKAGE_HOMEPAGE_URL "http://www.example.com/kestrovane")
set(CPACK_RESOURCE_FILE_LICENSE ${PROJECT_SOURCE_DIR}/LICENSE)
set(CPACK_STRIP_FILES ON)
set(CPACK_PROJECT_CONFIG_FILE ${CMAKE_CURRENT_LIST_DIR}/package-time.cmake)
set(CPACK_POST_BUILD_SCRIPTS ${CMAKE_CURRENT_LIST_DIR}/package-checksums.cmake)
# cpack's variables are the only ones its scripts see.
set(CPACK_KESTROVANE_SOURCE_DIR ${PROJECT_SOURCE_DIR})

if(WIN32)
  install(TARGETS kestrovane RUNTIME DESTINATION .)
  # Notepad and friends expect CR LF line ends.
  foreach(pair "README.md;README.txt" "LICENSE;LICENSE.txt")
    list(GET pair 0 from)
    list(GET pair 1 to)
    file(READ ${PROJECT_SOURCE_DIR}/${from} text)
    string(REPLACE "\n" "\r\n" text "${text}")
    file(WRITE ${PROJECT_BINARY_DIR}/${to} "${text}")
    install(FILES ${PROJECT_BINARY_DIR}/${to} DESTINATION .)
  endforeach()
  set(CPACK_GENERATOR ZIP)
  set(CPACK_PACKAGE_FILE_NAME kestrovane-${PROJECT_VERSION}-win64)
else()
  include(GNUInstallDirs)
  install(TARGETS kestrovane RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
  # Manual pages and changelogs are installed compressed, as Debian's tools expect.
  find_program(GZIP gzip REQUIRED)
  foreach(pair "man/kestrovane.1;kestrovane.1.gz" "packaging/changelog;changelog.gz")
    list(GET pair 0 from)
    list(GET pair 1 to)
    add_custom_command(OUTPUT ${to}
      COMMAND ${GZIP} -9nc ${PROJECT_SOURCE_DIR}/${from} > ${to}
      DEPENDS ${PROJECT_SOURCE_DIR}/${from})
    list(APPEND compressed ${PROJECT_BINARY_DIR}/${to})
  endforeach()
  add_custom_target(compressed_docs ALL DEPENDS ${compressed})
  install(FILES ${PROJECT_BINARY_DIR}/kestrovane.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
  install(FILES ${PROJECT_BINARY_DIR}/changelog.gz packaging/copyright
          DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/doc/kestrovane)

  set(CPACK_GENERATOR DEB)
  set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
  set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
  set(CPACK_DEBIAN_PACKAGE_SECTION utils)
  set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
  set(CPACK_DEBIAN_PACKAGE_MAINTAINER "The Kestrovane team <kestrovane@example.com>")
  # Both formats keep lines under 80 characters; Debian's first line is the summary above.
  string(CONCAT description
    "Kestrovane is a small interactive console program that turns a plain text\n"
    "into a coded text and back. Its code swaps the ten vowels with the ten digits\n"
    "and reverses the text, so the same transformation decodes what it encoded.\n"
    "A one-letter menu encodes a file, decodes a file, or encodes a typed one-line\n"
    "message. An existing output file is only ever replaced by a complete new copy,\n"
    "flushed to disk.")
  set(CPACK_DEBIAN_PACKAGE_DESCRIPTION "${description}")
  if(NOT CMAKE_CROSSCOMPILING)
    # Depends is read off the libraries the binary links, not written by hand.
    set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
  else()
    # CPack would name the build machine's architecture, and dpkg-shlibdeps does not look in
    # the cross compiler's libraries, so both are stated here. Each version is the first to
    # hold the newest symbol version the program needs from that library (GLIBC_2.34,
    # GLIBCXX_3.4.26; GCC_3.0, or on 32-bit ARM GCC_3.5 for its division and unwinding helpers);
    # .ci/check-packages checks them against the program.
    set(CPACK_DEBIAN_PACKAGE_ARCHITECTURE ${KESTROVANE_DEBIAN_ARCHITECTURE})
    set(libgcc_version 3.0)
    if(CMAKE_SYSTEM_PROCESSOR MATCHES "^arm")
      set(libgcc_version 3.5)
    endif()
    set(CPACK_DEBIAN_PACKAGE_DEPENDS
        "libc6 (>= 2.34), libgcc-s1 (>= ${libgcc_version}), libstdc++6 (>= 9)")
  endif()
endif()

if(NOT WIN32)
  include(${CMAKE_CURRENT_LIST_DIR}/rpm.cmake)
endif()
set(CPACK_KESTROVANE_GENERATORS ${CPACK_GENERATOR})
include(CPack)
