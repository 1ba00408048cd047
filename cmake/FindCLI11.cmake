# CLI11, the header-only command-line parser of cellport-make-image and
# cellport-batch. The build host's copy serves the Windows cross builds too,
# so it is looked for outside the cross compiler's root. Gives the target
# cellport_cli11.

find_path(CLI11_INCLUDE_DIR CLI/CLI.hpp PATHS /usr/local/include /usr/include
  NO_CMAKE_FIND_ROOT_PATH)
include(FindPackageHandleStandardArgs)
find_package_handle_standard_args(CLI11 REQUIRED_VARS CLI11_INCLUDE_DIR)

if(CLI11_FOUND AND NOT TARGET cellport_cli11)
  # Only CLI/ goes on the include path: the host's whole /usr/include would
  # put its C library's headers before the cross compiler's own.
  set(cli11_only ${PROJECT_BINARY_DIR}/cli11)
  file(MAKE_DIRECTORY ${cli11_only})
  file(CREATE_LINK ${CLI11_INCLUDE_DIR}/CLI ${cli11_only}/CLI SYMBOLIC)
  add_library(cellport_cli11 INTERFACE IMPORTED)
  target_include_directories(cellport_cli11 SYSTEM INTERFACE ${cli11_only})
endif()
