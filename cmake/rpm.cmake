# RPM packages for Fedora, RHEL, openSUSE and the other RPM-based systems, made beside the Debian
# package whose settings (cmake/packaging.cmake) they share. x86-64 and 64-bit ARM only: those
# systems no longer ship for 32-bit ARM (Fedora dropped it in release 37).
if(CMAKE_SYSTEM_PROCESSOR MATCHES "^(x86_64|AMD64|amd64)$")
  set(rpm_architecture x86_64)
elseif(CMAKE_SYSTEM_PROCESSOR MATCHES "^(aarch64|arm64)$")
  set(rpm_architecture aarch64)
else()
  return()
endif()
find_program(RPMBUILD rpmbuild)
if(NOT RPMBUILD)
  set(CPACK_KESTROVANE_NO_RPM_BECAUSE
      "rpmbuild was not found (Debian package rpm), so the package target makes the .deb alone")
  message(STATUS "No RPM package: ${CPACK_KESTROVANE_NO_RPM_BECAUSE}")
  return()
endif()

list(APPEND CPACK_GENERATOR RPM)
set(CPACK_RPM_FILE_NAME RPM-DEFAULT)
# rpmbuild would otherwise label a cross build with the build machine's architecture.
set(CPACK_RPM_PACKAGE_ARCHITECTURE ${rpm_architecture})
set(CPACK_RPM_PACKAGE_LICENSE MIT)
# RPM summaries start with a capital, Debian's with a small letter.
set(CPACK_RPM_PACKAGE_SUMMARY "Encode and decode text files with a reversible vowel code")
set(CPACK_RPM_PACKAGE_DESCRIPTION "${description}")
# Installed where the package says, as the .deb is, and nowhere else.
set(CPACK_PACKAGE_RELOCATABLE OFF)
# The standard folders of manual pages belong to the system's filesystem package; the package
# owns only its own documentation folder.
set(CPACK_RPM_EXCLUDE_FROM_AUTO_FILELIST_ADDITION /usr/share/man /usr/share/man/man1)
# A licence is kept even where documentation is not installed (dnf's tsflags=nodocs).
set(CPACK_RPM_USER_FILELIST "%license /usr/share/doc/kestrovane/copyright")
# The Requires are read off the program by rpmbuild, as dpkg-shlibdeps does for the .deb.
string(CONCAT CPACK_RPM_SPEC_MORE_DEFINE
  "%define packager ${CPACK_PACKAGE_CONTACT}\n"
  # SOURCE_DATE_EPOCH alone still leaves the build's time and host in the header.
  "%define _buildhost reproducible\n"
  "%define use_source_date_epoch_as_buildtime 1\n"
  # The links by build ID serve debugging packages, and there are none.
  "%define _build_id_links none\n"
  # rpm's steps after the install would strip the program again with the build machine's strip,
  # which cannot read a cross build's program, and would change bytes that the .deb's copy
  # keeps: the program stays as CPack stripped it. Instead every file is dated by the commit, as
  # in the .deb: rpm could only bring later dates down to it, and a file checked out before the
  # commit was made would keep its own.
  "%define __os_install_post find %{buildroot} -exec touch -h -d @$SOURCE_DATE_EPOCH {} +\n")

# rpm keeps its changelog in the package's header, in a form of its own. It is made from the
# Debian changelog, so the two never disagree: each entry's closing line becomes its heading.
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS
             ${PROJECT_SOURCE_DIR}/packaging/changelog)
file(READ ${PROJECT_SOURCE_DIR}/packaging/changelog text)
# rpm would expand a % in the text as a macro.
string(REPLACE "%" "%%" text "${text}")
string(REPLACE ";" "\\;" text "${text}")
string(REPLACE "\n" ";" lines "${text}")
set(rpm_changelog "")
foreach(line IN LISTS lines)
  if(line MATCHES "^kestrovane \\(([^)]+)\\)")
    set(entry_version ${CMAKE_MATCH_1})
    set(entry "")
  elseif(line MATCHES "^  \\* (.*)")
    string(APPEND entry "- ${CMAKE_MATCH_1}\n")
  elseif(line MATCHES "^    +(.*)")
    string(APPEND entry "  ${CMAKE_MATCH_1}\n")
  elseif(line MATCHES "^ -- (.+)  ([A-Z][a-z][a-z]), ([0-9]+) ([A-Z][a-z][a-z]) ([0-9]+) ")
    if(rpm_changelog)
      string(APPEND rpm_changelog "\n")
    endif()
    string(APPEND rpm_changelog "* ${CMAKE_MATCH_2} ${CMAKE_MATCH_4} ${CMAKE_MATCH_3} "
           "${CMAKE_MATCH_5} ${CMAKE_MATCH_1} - ${entry_version}-1\n${entry}")
  endif()
endforeach()
file(WRITE ${PROJECT_BINARY_DIR}/rpm-changelog "${rpm_changelog}")
set(CPACK_RPM_CHANGELOG_FILE ${PROJECT_BINARY_DIR}/rpm-changelog)

# rpmlint reads the filters of a package's checks from the .rpmlintrc beside it.
configure_file(${PROJECT_SOURCE_DIR}/packaging/kestrovane.rpmlintrc
               ${PROJECT_BINARY_DIR}/kestrovane.rpmlintrc COPYONLY)
