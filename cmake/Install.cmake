# Installation: the shared library, the public header, the quillon tool, a pkg-config file and a
# CMake package; CPack turns the same rules into the Debian packages libquilloncrypto0,
# libquilloncrypto-dev and quillon.
include(GNUInstallDirs)
include(CMakePackageConfigHelpers)

install(TARGETS quilloncrypto EXPORT QuillonCryptoTargets
  LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT runtime NAMELINK_COMPONENT development)
install(FILES ${CMAKE_SOURCE_DIR}/include/quilloncrypto.h
  DESTINATION ${CMAKE_INSTALL_INCLUDEDIR} COMPONENT development)
if(TARGET quillon)
  install(TARGETS quillon RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT tool)
endif()

set(QUILLON_CMAKE_DIR ${CMAKE_INSTALL_LIBDIR}/cmake/QuillonCrypto)
install(EXPORT QuillonCryptoTargets NAMESPACE QuillonCrypto::
  DESTINATION ${QUILLON_CMAKE_DIR} COMPONENT development)
configure_package_config_file(${CMAKE_SOURCE_DIR}/cmake/QuillonCryptoConfig.cmake.in
  ${CMAKE_BINARY_DIR}/QuillonCryptoConfig.cmake INSTALL_DESTINATION ${QUILLON_CMAKE_DIR})
# 0.x releases promise nothing across minor versions.
write_basic_package_version_file(${CMAKE_BINARY_DIR}/QuillonCryptoConfigVersion.cmake
  COMPATIBILITY SameMinorVersion)
install(FILES ${CMAKE_BINARY_DIR}/QuillonCryptoConfig.cmake ${CMAKE_BINARY_DIR}/QuillonCryptoConfigVersion.cmake
  DESTINATION ${QUILLON_CMAKE_DIR} COMPONENT development)

configure_file(${CMAKE_SOURCE_DIR}/cmake/quilloncrypto.pc.in ${CMAKE_BINARY_DIR}/quilloncrypto.pc @ONLY)
install(FILES ${CMAKE_BINARY_DIR}/quilloncrypto.pc
  DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig COMPONENT development)

# ---- Debian packages (cpack -G DEB) ----
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME quilloncrypto)
set(CPACK_PACKAGE_VENDOR "QuillonCrypto")
set(CPACK_PACKAGE_CONTACT "QuillonCrypto maintainers <maintainers@quilloncrypto.invalid>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Cryptography for the Korean public-key infrastructure")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_COMPONENTS_ALL runtime development tool)
set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION libs)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_RUNTIME_PACKAGE_NAME libquilloncrypto0)
set(CPACK_DEBIAN_RUNTIME_PACKAGE_SECTION libs)
# A shlibs file lets packages built against the library depend on it; CPack's own postinst and
# postrm run ldconfig.
set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS ON)
set(CPACK_COMPONENT_RUNTIME_DESCRIPTION "QuillonCrypto shared library")
set(CPACK_DEBIAN_DEVELOPMENT_PACKAGE_NAME libquilloncrypto-dev)
set(CPACK_DEBIAN_DEVELOPMENT_PACKAGE_SECTION libdevel)
set(CPACK_DEBIAN_DEVELOPMENT_PACKAGE_DEPENDS "libquilloncrypto0 (= ${PROJECT_VERSION})")
set(CPACK_COMPONENT_DEVELOPMENT_DESCRIPTION "QuillonCrypto header, pkg-config file and CMake package")
set(CPACK_DEBIAN_TOOL_PACKAGE_NAME quillon)
set(CPACK_DEBIAN_TOOL_PACKAGE_SECTION utils)
set(CPACK_COMPONENT_TOOL_DESCRIPTION "quillon: the QuillonCrypto command-line tool")
include(CPack)
