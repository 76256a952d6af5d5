# Read by cpack before each of its generators runs (CPACK_PROJECT_CONFIG_FILE), in cpack's own
# process: what is set here holds while the packages are made, not when the build is configured.

# Every time stamp in the packages is the last commit's time rather than the build's, so the same
# commit gives the same packages byte for byte, whoever builds it and wherever. The generators and
# rpmbuild read SOURCE_DATE_EPOCH from this process's environment; one the user sets wins. It is
# found here rather than at configure time because a commit made since then moves it.
if(NOT DEFINED ENV{SOURCE_DATE_EPOCH})
  execute_process(COMMAND git log -1 --format=%ct
                  WORKING_DIRECTORY ${CPACK_KESTROVANE_SOURCE_DIR}
                  RESULT_VARIABLE git_result OUTPUT_VARIABLE epoch ERROR_VARIABLE git_error
                  OUTPUT_STRIP_TRAILING_WHITESPACE)
  if(NOT epoch MATCHES "^[0-9]+$")
    # A source tree without its history: the changelog's newest entry is the release's time.
    execute_process(COMMAND dpkg-parsechangelog -STimestamp
                            -l ${CPACK_KESTROVANE_SOURCE_DIR}/packaging/changelog
                    RESULT_VARIABLE dpkg_result OUTPUT_VARIABLE epoch ERROR_VARIABLE dpkg_error
                    OUTPUT_STRIP_TRAILING_WHITESPACE)
  endif()
  if(NOT epoch MATCHES "^[0-9]+$")
    message(FATAL_ERROR "The packages need SOURCE_DATE_EPOCH, the time (seconds since 1970) "
      "their files are dated: neither git nor dpkg-parsechangelog (Debian package dpkg-dev) "
      "could read it from ${CPACK_KESTROVANE_SOURCE_DIR}. Set it, for example to the release's "
      "time, and make the packages again.\ngit: ${git_result} ${git_error}\n"
      "dpkg-parsechangelog: ${dpkg_result} ${dpkg_error}")
  endif()
  set(ENV{SOURCE_DATE_EPOCH} ${epoch})
endif()

if(CPACK_GENERATOR STREQUAL "DEB" AND CPACK_KESTROVANE_NO_RPM_BECAUSE)
  message(STATUS "No RPM package: ${CPACK_KESTROVANE_NO_RPM_BECAUSE}")
endif()
