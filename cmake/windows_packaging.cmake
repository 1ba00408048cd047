# Installing cellport on Windows and packing it as a zip: the program and
# its README at the top of the zip's one folder, the project's own grid
# library in a folder of its own below. Beside the program, where Windows
# looks first, that library would always win over the vendor's on PATH; a
# user without the vendor's copies it there by hand.

install(TARGETS cellport RUNTIME DESTINATION .)
if(TARGET cellport-batch)
  install(TARGETS cellport-batch RUNTIME DESTINATION .)
else()
  message(WARNING "No cellport-batch (needs CLI11): the zip will lack cellport-batch.exe")
endif()
if(TARGET mdgridio)
  install(TARGETS mdgridio RUNTIME DESTINATION standalone)
else()
  message(WARNING "No grid library target (mdgridio): the zip will lack standalone/mdgridio.dll")
endif()
# The zip's name and its one folder: cellport-<version>-win64 or -win32.
if(CMAKE_SIZEOF_VOID_P EQUAL 8)
  set(CELLPORT_WINDOWS_SYSTEM win64)
else()
  set(CELLPORT_WINDOWS_SYSTEM win32)
endif()
set(CPACK_SYSTEM_NAME ${CELLPORT_WINDOWS_SYSTEM})
# Notepad before Windows 10 shows LF-only text as one line.
configure_file(${PROJECT_SOURCE_DIR}/docs/windows-README.txt ${PROJECT_BINARY_DIR}/README.txt
               @ONLY NEWLINE_STYLE CRLF)
install(FILES ${PROJECT_BINARY_DIR}/README.txt DESTINATION .)

set(CPACK_PACKAGE_NAME cellport)
set(CPACK_PACKAGE_VENDOR "cellport maintainers")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_GENERATOR ZIP)
# Everything in one folder named after the zip, as Windows users expect.
set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY ON)
set(CPACK_STRIP_FILES ON)

include(CPack)
