# Debian's libmodbus: the independent peer of the interoperability tests and
# the master the benchmark compares against. Looked up here only, once, with
# one policy: where it is missing, what needs it is not built (one warning);
# in CI (CI=true) that is an error, since tests/run.sh installs it.
if(CMAKE_CROSSCOMPILING)
  return()
endif()
find_package(PkgConfig QUIET)
if(PkgConfig_FOUND)
  pkg_check_modules(LIBMODBUS QUIET IMPORTED_TARGET GLOBAL libmodbus)
endif()
if(NOT TARGET PkgConfig::LIBMODBUS)
  if("$ENV{CI}" STREQUAL "true")
    message(FATAL_ERROR "libmodbus not found (Debian: libmodbus-dev); CI needs it for the tests against it and the benchmark")
  endif()
  message(WARNING "libmodbus not found (Debian: libmodbus-dev): the tests against it and the benchmark are not built")
endif()
