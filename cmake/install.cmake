# Installation and packaging of the Linux build: the command-line host, the
# shared libraries with their headers, a CMake package (find_package(morvelin)
# gives morvelin::morvelin and morvelin::cxx) and pkg-config files, the
# Python module, the man page, bash completion and the licence. `cpack -G DEB` packs the same into a .deb.
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

# The library hosts load and the C++ library, both versioned, with the
# headers as their interface: morvelin.h for the first, every header of
# include/morvelin for the second.
set_target_properties(morvelin PROPERTIES VERSION ${PROJECT_VERSION} SOVERSION ${PROJECT_VERSION_MAJOR})
target_include_directories(morvelin INTERFACE $<INSTALL_INTERFACE:${CMAKE_INSTALL_INCLUDEDIR}>)
target_include_directories(morvelin_cxx INTERFACE $<INSTALL_INTERFACE:${CMAKE_INSTALL_INCLUDEDIR}>)
target_compile_features(morvelin_cxx INTERFACE cxx_std_20)
install(TARGETS morvelin morvelin_cxx EXPORT morvelin-targets
  LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR}
  INCLUDES DESTINATION ${CMAKE_INSTALL_INCLUDEDIR})
install(DIRECTORY ${CMAKE_CURRENT_SOURCE_DIR}/include/morvelin DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}
  FILES_MATCHING PATTERN "*.h")

install(EXPORT morvelin-targets NAMESPACE morvelin:: DESTINATION ${MORVELIN_CMAKE_DIR})
file(WRITE ${CMAKE_CURRENT_BINARY_DIR}/packaging/morvelin-config.cmake
  "# morvelin: find_package(morvelin) gives the imported targets morvelin::morvelin\n"
  "# (libmorvelin.so, the host interface of morvelin/morvelin.h) and morvelin::cxx\n"
  "# (libmorvelin-cxx.so, the C++ interface of the other headers; C++20).\n"
  "include(\"\${CMAKE_CURRENT_LIST_DIR}/morvelin-targets.cmake\")\n")
write_basic_package_version_file(${CMAKE_CURRENT_BINARY_DIR}/packaging/morvelin-config-version.cmake
  VERSION ${PROJECT_VERSION} COMPATIBILITY SameMajorVersion)
install(FILES ${CMAKE_CURRENT_BINARY_DIR}/packaging/morvelin-config.cmake
  ${CMAKE_CURRENT_BINARY_DIR}/packaging/morvelin-config-version.cmake DESTINATION ${MORVELIN_CMAKE_DIR})

# pkg-config: the prefix is found from the file's own place, so that the
# installed tree can be moved (and a staged package stays right).
file(RELATIVE_PATH MORVELIN_PC_TO_PREFIX /prefix/${CMAKE_INSTALL_LIBDIR}/pkgconfig /prefix)
foreach(pc morvelin morvelin-cxx)
  configure_file(${CMAKE_CURRENT_SOURCE_DIR}/packaging/${pc}.pc.in ${CMAKE_CURRENT_BINARY_DIR}/packaging/${pc}.pc @ONLY)
  install(FILES ${CMAKE_CURRENT_BINARY_DIR}/packaging/${pc}.pc DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig)
endforeach()

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
  "morvelin converts a GPS receiver's raw data file (.dat) into the measurement (.gpb), ephemeris (.epp), station (.sta) and summary (.sum) files of a post-processing host. The package holds the morvelin command, the shared library libmorvelin with its C host interface, the C++ library libmorvelin-cxx (converter, sinks, measurement files, RINEX, quality report, utilities) with their headers, the Python module morvelin, a CMake package and pkg-config files.")
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
# The Python module is for Debian's interpreter, with numpy.
if(TARGET morvelin_python)
  set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "python3 (>= 3.11), python3 (<< 3.12), python3-numpy")
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
