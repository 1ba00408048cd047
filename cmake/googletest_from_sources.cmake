# A build for another system cannot link the host's GoogleTest libraries, so
# it builds GoogleTest from the sources Debian's googletest package installs.
set(CELLPORT_GOOGLETEST_SOURCES /usr/src/googletest/googletest CACHE PATH
    "GoogleTest sources, built for builds for another system")
if(EXISTS ${CELLPORT_GOOGLETEST_SOURCES}/CMakeLists.txt)
  # MinGW's win32 thread model has no pthreads; the CRT switch is MSVC's alone.
  set(gtest_disable_pthreads ON CACHE BOOL "" FORCE)
  set(gtest_force_shared_crt OFF CACHE BOOL "" FORCE)
  add_subdirectory(${CELLPORT_GOOGLETEST_SOURCES} ${PROJECT_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)
  include(CheckCXXSourceCompiles)
  check_cxx_source_compiles("#include <mutex>\nstd::mutex m;\nint main() {}" CELLPORT_HAS_STD_MUTEX)
  if(NOT CELLPORT_HAS_STD_MUTEX)
    target_include_directories(gtest BEFORE PUBLIC ${CMAKE_CURRENT_LIST_DIR}/googletest_win32_threads)
  endif()
  # GoogleTest's code is not ours to keep free of warnings.
  set_property(TARGET gtest gtest_main PROPERTY COMPILE_OPTIONS "")
  set(GTest_FOUND TRUE)
else()
  set(GTest_FOUND FALSE)
endif()
