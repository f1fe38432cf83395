# Installation and packaging of the Linux build: the command-line host, the
# shared library with its headers, a CMake package (find_package(morvelin)
# gives morvelin::morvelin) and a pkg-config file, the man page, bash
# completion and the licence. `cpack -G DEB` packs the same into a .deb.
# The Windows plug-in ships as the DLL alone: nothing is installed there.
if(CMAKE_CROSSCOMPILING OR WIN32)
  return()
endif()

include(GNUInstallDirs)
include(CMakePackageConfigHelpers)

set(MORVELIN_CMAKE_DIR ${CMAKE_INSTALL_LIBDIR}/cmake/morvelin)

if(TARGET morvelin_cli)
  install(TARGETS morvelin_cli RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
endif()
if(TARGET morvelin_sim)
  install(TARGETS morvelin_sim RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
endif()

# The library hosts load: versioned, with its headers as its interface.
set_target_properties(morvelin PROPERTIES VERSION ${PROJECT_VERSION} SOVERSION ${PROJECT_VERSION_MAJOR})
target_include_directories(morvelin INTERFACE $<INSTALL_INTERFACE:${CMAKE_INSTALL_INCLUDEDIR}>)
install(TARGETS morvelin EXPORT morvelin-targets
  LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR}
  INCLUDES DESTINATION ${CMAKE_INSTALL_INCLUDEDIR})
# Only the header of what the installed library provides: the five host
# functions. The C++ headers (converter, measurement file, utility, RINEX,
# quality report) describe static libraries built with the project and are
# not installed until a library that provides them is.
install(FILES ${CMAKE_CURRENT_SOURCE_DIR}/include/morvelin/morvelin.h DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/morvelin)

install(EXPORT morvelin-targets NAMESPACE morvelin:: DESTINATION ${MORVELIN_CMAKE_DIR})
file(WRITE ${CMAKE_CURRENT_BINARY_DIR}/packaging/morvelin-config.cmake
  "# morvelin: find_package(morvelin) gives the imported target morvelin::morvelin\n"
  "# (libmorvelin.so, the host interface, with include/morvelin on its include path).\n"
  "include(\"\${CMAKE_CURRENT_LIST_DIR}/morvelin-targets.cmake\")\n")
write_basic_package_version_file(${CMAKE_CURRENT_BINARY_DIR}/packaging/morvelin-config-version.cmake
  VERSION ${PROJECT_VERSION} COMPATIBILITY SameMajorVersion)
install(FILES ${CMAKE_CURRENT_BINARY_DIR}/packaging/morvelin-config.cmake
  ${CMAKE_CURRENT_BINARY_DIR}/packaging/morvelin-config-version.cmake DESTINATION ${MORVELIN_CMAKE_DIR})

# pkg-config: the prefix is found from the file's own place, so that the
# installed tree can be moved (and a staged package stays right).
file(RELATIVE_PATH MORVELIN_PC_TO_PREFIX /prefix/${CMAKE_INSTALL_LIBDIR}/pkgconfig /prefix)
configure_file(${CMAKE_CURRENT_SOURCE_DIR}/packaging/morvelin.pc.in
  ${CMAKE_CURRENT_BINARY_DIR}/packaging/morvelin.pc @ONLY)
install(FILES ${CMAKE_CURRENT_BINARY_DIR}/packaging/morvelin.pc DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig)

install(FILES ${CMAKE_CURRENT_SOURCE_DIR}/docs/morvelin.1 DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
install(FILES ${CMAKE_CURRENT_SOURCE_DIR}/packaging/morvelin.bash-completion
  DESTINATION ${CMAKE_INSTALL_DATADIR}/bash-completion/completions RENAME morvelin)
install(FILES ${CMAKE_CURRENT_SOURCE_DIR}/LICENSE ${CMAKE_CURRENT_SOURCE_DIR}/README.md
  DESTINATION ${CMAKE_INSTALL_DOCDIR})

# Debian package.
set(CPACK_PACKAGE_NAME morvelin)
set(CPACK_PACKAGE_VENDOR "The morvelin developers")
set(CPACK_PACKAGE_CONTACT "morvelin developers")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY
  "GPS raw data conversion library and command-line tool")
set(CPACK_PACKAGE_DESCRIPTION
  "morvelin converts a GPS receiver's raw data file (.dat) into the measurement (.gpb), ephemeris (.epp), station (.sta) and summary (.sum) files of a post-processing host. The package holds the morvelin command, the shared library libmorvelin with its C host interface and headers, a CMake package and a pkg-config file.")
set(CPACK_RESOURCE_FILE_LICENSE ${CMAKE_CURRENT_SOURCE_DIR}/LICENSE)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "morvelin developers")
set(CPACK_DEBIAN_PACKAGE_SECTION science)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS ON)
find_program(MORVELIN_DPKG_SHLIBDEPS dpkg-shlibdeps)
if(MORVELIN_DPKG_SHLIBDEPS)
  set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
else()
  set(CPACK_DEBIAN_PACKAGE_DEPENDS "libc6 (>= 2.34), libstdc++6 (>= 12), libgcc-s1")
endif()
set(CPACK_GENERATOR DEB)
include(CPack)

# The install test: the built tree installed into a scratch prefix and used
# from outside, plus the .deb (label "install"; run alone with ctest -L install).
if(MORVELIN_BUILD_TESTS AND CMAKE_HOST_UNIX)
  add_test(NAME install COMMAND ${CMAKE_CURRENT_SOURCE_DIR}/tests/install/run.sh
           ${CMAKE_CURRENT_SOURCE_DIR} ${CMAKE_CURRENT_BINARY_DIR})
  set_tests_properties(install PROPERTIES LABELS install TIMEOUT 300 RUN_SERIAL TRUE)
endif()
