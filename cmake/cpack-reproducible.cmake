# Run by cpack around the making of each package (CPACK_PRE_BUILD_SCRIPTS,
# CPACK_POST_BUILD_SCRIPTS), so that what comes out does not depend on the
# umask of whoever runs it.

if(NOT CPACK_PACKAGE_FILES)
  # Before: the folders of the staged tree, which the install made under the
  # umask, are rwxr-xr-x as every package's are. (The files have their
  # modes from the install rules.)
  file(GLOB_RECURSE varnock_staged LIST_DIRECTORIES true "${CPACK_TEMPORARY_INSTALL_DIRECTORY}/*")
  foreach(varnock_path IN LISTS varnock_staged)
    if(IS_DIRECTORY "${varnock_path}" AND NOT IS_SYMLINK "${varnock_path}")
      file(CHMOD "${varnock_path}" PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE
                                               WORLD_READ WORLD_EXECUTE)
    endif()
  endforeach()
  return()
endif()

# After: a .deb is an ar archive whose members (debian-binary, control.tar.*,
# data.tar.*) CPack makes as files of its own under the umask, and whose
# headers carry their modes. Each header's mode becomes rw-r--r--, in place:
# "!<arch>\n", then per member a 60-byte header (the mode at 40, 8 bytes;
# the size at 48, 10 bytes) and the data, padded to an even length.
foreach(varnock_package IN LISTS CPACK_PACKAGE_FILES)
  if(NOT varnock_package MATCHES "\\.deb$")
    continue()
  endif()
  file(SIZE "${varnock_package}" varnock_total)
  set(varnock_at 8)
  while(varnock_at LESS varnock_total)
    file(READ "${varnock_package}" varnock_header OFFSET ${varnock_at} LIMIT 60)
    string(SUBSTRING "${varnock_header}" 48 10 varnock_size)
    string(STRIP "${varnock_size}" varnock_size)
    if(NOT varnock_size MATCHES "^[0-9]+$")
      message(FATAL_ERROR "${varnock_package}: no ar member header at ${varnock_at}")
    endif()
    math(EXPR varnock_mode_at "${varnock_at} + 40")
    execute_process(COMMAND sh -c "printf '100644  ' | dd of=\"$0\" bs=1 seek=$1 conv=notrunc status=none"
                            "${varnock_package}" ${varnock_mode_at}
                    COMMAND_ERROR_IS_FATAL ANY)
    math(EXPR varnock_at "${varnock_at} + 60 + ${varnock_size} + ${varnock_size} % 2")
  endwhile()
endforeach()
