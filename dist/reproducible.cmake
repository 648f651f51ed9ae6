# Read by cpack before it makes the package (CPACK_PROJECT_CONFIG_FILE): what makes the same
# commit give the same bytes, whoever packages it, wherever and whenever.

# Every time in the package (files, folders, the archives and their gzip headers) is
# SOURCE_DATE_EPOCH when it is set: unless the caller chose one, the time of the commit built,
# else, outside a git checkout, the date of the latest change log entry. safe.directory: a
# checkout of another user's gives the same time.
if(NOT DEFINED ENV{SOURCE_DATE_EPOCH})
  execute_process(COMMAND git -c safe.directory=* -C "${CPACK_LUMETTA_SOURCE_DIR}" log -1 --format=%ct
                  OUTPUT_VARIABLE epoch OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_QUIET)
  if(NOT epoch MATCHES "^[0-9]+$")
    file(STRINGS "${CPACK_LUMETTA_SOURCE_DIR}/dist/changelog" signed REGEX "^ -- " LIMIT_COUNT 1)
    string(REGEX REPLACE ".*>  " "" date "${signed}")
    execute_process(COMMAND date -d "${date}" +%s OUTPUT_VARIABLE epoch OUTPUT_STRIP_TRAILING_WHITESPACE)
  endif()
  set(ENV{SOURCE_DATE_EPOCH} "${epoch}")
endif()

# cpack gives the three members of the .deb the permissions its umask gives new files; they
# are set to 0644 afterwards, as dpkg-deb writes them (deb_members.cmake).
list(APPEND CPACK_POST_BUILD_SCRIPTS "${CMAKE_CURRENT_LIST_DIR}/deb_members.cmake")
