# Run by CPack on the staged files before packing: gzip -9n, as Debian
# installs manual pages, without a time stamp so the package is reproducible.
file(GLOB_RECURSE manual_pages "${CPACK_TEMPORARY_DIRECTORY}/*/share/man/man[1-9]/*.[1-9]")
foreach(page IN LISTS manual_pages)
  execute_process(COMMAND gzip -9nf "${page}" RESULT_VARIABLE gzip_status)
  if(NOT gzip_status EQUAL 0)
    message(FATAL_ERROR "Could not compress ${page}")
  endif()
endforeach()
