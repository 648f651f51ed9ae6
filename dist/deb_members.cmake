# Run by cpack after it made a .deb (CPACK_POST_BUILD_SCRIPTS): the members of the ar archive
# (debian-binary, control.tar.gz, data.tar.gz) carry the permissions that cpack's umask gave
# the files they were made from. Each header's mode field is written as 100644, as dpkg-deb
# writes it. A member's header is 60 characters: name 16, time 12, owner 6, group 6, mode 8,
# size 10, then its data, padded to an even length; the archive starts with "!<arch>\n".
set(mode "${CPACK_TOPLEVEL_DIRECTORY}/deb_member_mode")
file(WRITE "${mode}" "100644  ")
foreach(deb IN LISTS CPACK_PACKAGE_FILES)
  if(NOT deb MATCHES "\\.deb$")
    continue()
  endif()
  file(SIZE "${deb}" end)
  set(at 8)
  while(at LESS end)
    file(READ "${deb}" header OFFSET ${at} LIMIT 60)
    string(SUBSTRING "${header}" 48 10 size)
    string(STRIP "${size}" size)
    if(NOT size MATCHES "^[0-9]+$")
      message(FATAL_ERROR "${deb}: no ar member header at ${at}")
    endif()
    math(EXPR field "${at} + 40")
    execute_process(COMMAND dd "of=${deb}" bs=1 seek=${field} conv=notrunc status=none
                    INPUT_FILE "${mode}" RESULT_VARIABLE failed)
    if(failed)
      message(FATAL_ERROR "${deb}: cannot set the mode of the member at ${at}")
    endif()
    math(EXPR at "${at} + 60 + ${size} + ${size} % 2")
  endwhile()
endforeach()
file(REMOVE "${mode}")
