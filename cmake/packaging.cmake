# Installing cellport and packing it as a Debian package; on Windows, as a zip.

if(WIN32)
  include(${CMAKE_CURRENT_LIST_DIR}/windows_packaging.cmake)
  return()
endif()

include(GNUInstallDirs)

# The grid library has no versioned soname and a generic name, so it stays in
# a folder of its own rather than on the system's library search path, where
# it could shadow or be shadowed by another vendor's libmdgridio.so.
set(CELLPORT_INSTALL_LIBRARYDIR "lib/cellport" CACHE STRING
    "Folder, relative to the prefix, for cellport's grid library")
foreach(install_dir IN ITEMS CMAKE_INSTALL_BINDIR CELLPORT_INSTALL_LIBRARYDIR)
  if(IS_ABSOLUTE "${${install_dir}}")
    message(FATAL_ERROR "${install_dir} must be relative to the prefix, so that the installed tree can be moved")
  endif()
endforeach()

# cellport dlopens the library, so the dynamic loader finds it through the
# program's RUNPATH: relative to $ORIGIN so the tree can be moved, and a
# RUNPATH (the link uses new dtags) so that LD_LIBRARY_PATH still comes first.
file(RELATIVE_PATH library_from_program
     "/${CMAKE_INSTALL_BINDIR}" "/${CELLPORT_INSTALL_LIBRARYDIR}")
set_target_properties(cellport PROPERTIES INSTALL_RPATH "\$ORIGIN/${library_from_program}")
# To give the installed program its RUNPATH, CMake would otherwise pad the
# build tree's one with ':' to the install one's length and edit it in place;
# the loader searches those empty entries as the current folder. Relinking
# for the install leaves the build tree's program as it is. Only Makefile
# generators can relink.
if(CMAKE_EXECUTABLE_FORMAT STREQUAL "ELF")
  if(CMAKE_GENERATOR MATCHES "Makefiles")
    set(CMAKE_NO_BUILTIN_CHRPATH ON)
    # The relinked program comes from the build's preinstall step, which
    # `make install` and cpack run but `cmake --install` does not.
    install(CODE "
      execute_process(COMMAND \"${CMAKE_COMMAND}\" --build \"${PROJECT_BINARY_DIR}\" --target preinstall
                      OUTPUT_QUIET COMMAND_ERROR_IS_FATAL ANY)")
  else()
    message(WARNING "With ${CMAKE_GENERATOR}, cellport's RUNPATH in the build tree is padded "
                    "with empty entries, which also search the current folder; "
                    "use a Makefile generator for builds that are installed.")
  endif()
endif()

install(TARGETS cellport RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
if(TARGET mdgridio)
  install(TARGETS mdgridio
    RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR}
    LIBRARY DESTINATION ${CELLPORT_INSTALL_LIBRARYDIR})
else()
  message(WARNING "No grid library target (mdgridio): an installed cellport will not find one")
endif()
# The library looks for its GeoTIFF and coordinate system modules beside itself.
if(TARGET mdgridio_geotiff)
  install(TARGETS mdgridio_geotiff LIBRARY DESTINATION ${CELLPORT_INSTALL_LIBRARYDIR})
endif()
if(TARGET mdgridio_srs)
  install(TARGETS mdgridio_srs LIBRARY DESTINATION ${CELLPORT_INSTALL_LIBRARYDIR})
endif()
install(FILES ${PROJECT_SOURCE_DIR}/docs/cellport.1
        DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
# The batch command starts the cellport beside it.
if(TARGET cellport-batch)
  install(TARGETS cellport-batch RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
  install(FILES ${PROJECT_SOURCE_DIR}/docs/cellport-batch.1
          DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
endif()

set(CELLPORT_PACKAGE_MAINTAINER
    "cellport maintainers <maintainers@users.noreply.c-seed-27f1c6f5.example>"
    CACHE STRING "Maintainer named in the Debian package")
set(CPACK_PACKAGE_NAME cellport)
set(CPACK_PACKAGE_VENDOR "cellport maintainers")
set(CPACK_PACKAGE_CONTACT "${CELLPORT_PACKAGE_MAINTAINER}")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "convert raster images into grids")
set(CPACK_PACKAGE_DESCRIPTION [[
cellport converts a raster image, a text header (.doc) with a cell file
(.img) of bytes, 16-bit integers or 32-bit reals, stored plainly or as
run-length pairs, into a grid: a folder holding the cells as 32-bit values
and a plain-text header, or, for a name ending in .tif, one tiled,
compressed GeoTIFF file; GDAL and QGIS open both. The grid is written by the
bundled grid library, libmdgridio. cellport-batch converts every image of a
folder tree, several at a time; run again, it converts only the images that
have no grid yet.]])
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_STRIP_FILES ON)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
find_program(DPKG_EXECUTABLE dpkg)
if(DPKG_EXECUTABLE)
  set(CPACK_GENERATOR DEB)
else()
  set(CPACK_GENERATOR TGZ)
endif()

set(CPACK_DEBIAN_PACKAGE_NAME cellport)
set(CPACK_DEBIAN_PACKAGE_RELEASE 1)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION science)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
if(DPKG_EXECUTABLE)
  execute_process(COMMAND ${DPKG_EXECUTABLE} --print-architecture
                  OUTPUT_VARIABLE CPACK_DEBIAN_PACKAGE_ARCHITECTURE
                  OUTPUT_STRIP_TRAILING_WHITESPACE)
endif()
# dpkg-shlibdeps (dpkg-dev) derives the C and C++ runtime versions from the
# symbols the binaries use; without it, what it derives on Debian 12.
find_program(DPKG_SHLIBDEPS_EXECUTABLE dpkg-shlibdeps)
find_program(FILE_EXECUTABLE file)
if(DPKG_SHLIBDEPS_EXECUTABLE AND FILE_EXECUTABLE)
  set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
else()
  set(CPACK_DEBIAN_PACKAGE_DEPENDS "libc6 (>= 2.34), libgcc-s1 (>= 3.0), libstdc++6 (>= 11)")
  if(TARGET mdgridio_geotiff)
    string(APPEND CPACK_DEBIAN_PACKAGE_DEPENDS ", libtiff6 (>= 4.5.0), libzstd1 (>= 1.5.4)")
  endif()
  if(TARGET mdgridio_srs)
    string(APPEND CPACK_DEBIAN_PACKAGE_DEPENDS ", libproj25 (>= 9.1.0)")
  endif()
endif()
# Debian keeps manual pages gzip-compressed.
set(CPACK_PRE_BUILD_SCRIPTS ${CMAKE_CURRENT_LIST_DIR}/compress_manual_pages.cmake)

include(CPack)
