# Installing cellport on Windows and packing it as a zip: the program and
# its README at the top, the project's own grid library in a folder of its
# own. Beside the program, where Windows looks first, that library would
# always win over the vendor's on PATH; a user without the vendor's copies it
# there by hand.

install(TARGETS cellport RUNTIME DESTINATION .)
if(TARGET mdgridio)
  install(TARGETS mdgridio RUNTIME DESTINATION standalone)
else()
  message(WARNING "No grid library target (mdgridio): the zip will lack standalone/mdgridio.dll")
endif()
# Notepad before Windows 10 shows LF-only text as one line.
configure_file(${PROJECT_SOURCE_DIR}/docs/windows-README.txt ${PROJECT_BINARY_DIR}/README.txt
               @ONLY NEWLINE_STYLE CRLF)
install(FILES ${PROJECT_BINARY_DIR}/README.txt DESTINATION .)

set(CPACK_PACKAGE_NAME cellport)
set(CPACK_PACKAGE_VENDOR "cellport maintainers")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_GENERATOR ZIP)
set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY OFF)
set(CPACK_STRIP_FILES ON)

include(CPack)
