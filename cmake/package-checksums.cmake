# Run by cpack after each of its generators (CPACK_POST_BUILD_SCRIPTS), with CPACK_PACKAGE_FILES
# naming what that generator made. Writes SHA256SUMS beside the packages, one file for all that
# the package target makes, in sha256sum's form so `sha256sum -c SHA256SUMS` checks them: a
# build of the same commit anywhere else must give the same file.

# cpack runs its generators in the order of the list: the first starts the file afresh, so no
# line is left over from an earlier run, and the others add theirs. A generator run alone
# (cpack -G RPM) replaces its own lines.
set(sums ${CPACK_PACKAGE_DIRECTORY}/SHA256SUMS)
set(names "")
foreach(package IN LISTS CPACK_PACKAGE_FILES)
  get_filename_component(name ${package} NAME)
  list(APPEND names ${name})
endforeach()
set(kept "")
list(GET CPACK_KESTROVANE_GENERATORS 0 first)
if(NOT CPACK_GENERATOR STREQUAL first AND EXISTS ${sums})
  file(STRINGS ${sums} lines)
  foreach(line IN LISTS lines)
    string(REGEX REPLACE "^[0-9a-f]+  " "" name "${line}")
    if(NOT name IN_LIST names)
      string(APPEND kept "${line}\n")
    endif()
  endforeach()
endif()
file(WRITE ${sums} "${kept}")
foreach(package IN LISTS CPACK_PACKAGE_FILES)
  file(SHA256 ${package} sum)
  get_filename_component(name ${package} NAME)
  file(APPEND ${sums} "${sum}  ${name}\n")
endforeach()
