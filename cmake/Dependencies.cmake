# Dependencies come from Debian packages (scripts/deps installs them).
if(WIN32)
  # Cross-built for Windows (scripts/windows): BLAS and LAPACK are static libraries built from
  # Debian's source package, with the Fortran runtime linked in. Debian's Boost headers come
  # through a folder that holds only boost/, so the host's C headers never shadow mingw's.
  set(QUADTRACK_WINDOWS_PREFIX "" CACHE PATH "Folder with lib/liblapack.a, lib/libblas.a and include/boost")
  if(NOT EXISTS ${QUADTRACK_WINDOWS_PREFIX}/lib/liblapack.a)
    message(FATAL_ERROR "QUADTRACK_WINDOWS_PREFIX must name the folder scripts/windows prepares")
  endif()
  add_library(BLAS::BLAS INTERFACE IMPORTED)
  set_target_properties(BLAS::BLAS PROPERTIES
    INTERFACE_LINK_LIBRARIES "${QUADTRACK_WINDOWS_PREFIX}/lib/libblas.a;gfortran;quadmath")
  add_library(LAPACK::LAPACK INTERFACE IMPORTED)
  set_target_properties(LAPACK::LAPACK PROPERTIES
    INTERFACE_LINK_LIBRARIES "${QUADTRACK_WINDOWS_PREFIX}/lib/liblapack.a;BLAS::BLAS")
  add_library(Boost::headers INTERFACE IMPORTED)
  set_target_properties(Boost::headers PROPERTIES
    INTERFACE_INCLUDE_DIRECTORIES ${QUADTRACK_WINDOWS_PREFIX}/include)
else()
  set(BLA_VENDOR ${QUADTRACK_BLAS})
  find_package(BLAS REQUIRED)
  find_package(LAPACK REQUIRED)
  find_package(Boost 1.74 REQUIRED)
endif()
find_package(Threads REQUIRED)
if(QUADTRACK_TESTS)
  if(WIN32)
    # No Debian package ships GoogleTest built for Windows: its sources are built with the tests.
    set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
    set(BUILD_GMOCK OFF CACHE BOOL "" FORCE)
    add_subdirectory(/usr/src/googletest ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL SYSTEM)
  else()
    find_package(GTest REQUIRED)
  endif()
endif()
if(QUADTRACK_BENCHMARKS)
  find_package(benchmark REQUIRED)
endif()
