# The Debian package of the gateway, built with `cpack -G DEB` in a build folder: the runtime
# component of the install rules (the libraries, the program, db/, the demo site, the gateway's own
# device description sites/local-device.json, the host scripts, the systemd unit) under /usr, the maintainer scripts of packaging/debian (the orvik system user and
# the configuration database under /var/lib/orvik) and the dependencies dpkg-shlibdeps finds on the
# Debian runtime packages. In a cross build the architecture is the target's (armhf for 32-bit ARM).
set(CPACK_PACKAGE_NAME orvik-gateway)
set(CPACK_PACKAGE_VENDOR "Orvik")
set(CPACK_PACKAGE_CONTACT "Orvik gateway maintainers <gateway@orvik.invalid>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "BACnet gateway apps: trend log upload and cloud bridge")
set(CPACK_PACKAGE_DESCRIPTION
    "The gateway host process with its library of apps. The trend log pusher\n"
    "uploads the records of the site's BACnet trend logs to an FTP server. The\n"
    "cloud bridge publishes BACnet values to an IoT platform over MQTT and\n"
    "carries out its write commands. Diagnostic apps print what they read.\n"
    "Configured with orvik-gateway config, run by systemd.")
string(CONCAT CPACK_PACKAGE_DESCRIPTION ${CPACK_PACKAGE_DESCRIPTION})
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_COMPONENTS_ALL runtime)
set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_COMPONENTS_GROUPING ALL_COMPONENTS_IN_ONE)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_RELEASE 1)
set(CPACK_DEBIAN_PACKAGE_SECTION net)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
# adduser for the system user; the libraries' own dependencies come from dpkg-shlibdeps.
set(CPACK_DEBIAN_PACKAGE_DEPENDS "adduser")
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# The libraries' shlibs file (the ldconfig trigger is packaging/debian/triggers); the binaries go in
# stripped.
set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS ON)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA
    ${PROJECT_SOURCE_DIR}/packaging/debian/postinst
    ${PROJECT_SOURCE_DIR}/packaging/debian/prerm
    ${PROJECT_SOURCE_DIR}/packaging/debian/postrm
    ${PROJECT_SOURCE_DIR}/packaging/debian/triggers)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
if(CMAKE_CROSSCOMPILING AND CMAKE_SYSTEM_PROCESSOR MATCHES "^arm")
  # dpkg-shlibdeps cannot read the target's libraries off the build machine: the dependencies are
  # named here (the packages dpkg-shlibdeps finds in a native build).
  set(CPACK_DEBIAN_PACKAGE_ARCHITECTURE armhf)
  set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS OFF)
  string(APPEND CPACK_DEBIAN_PACKAGE_DEPENDS ", libc6, libgcc-s1, libstdc++6, libpaho-mqtt1.3, "
         "libpaho-mqttpp3-1, libpocodata80, libpocodatasqlite80, libpocofoundation80, libpocojson80, "
         "libpoconet80, libpoconetssl80, libpococrypto80, libpocoutil80, libssh-4")
endif()

# Debian's copyright file and changelog (compressed, without time stamp, as policy asks).
set(orvik_doc_dir ${CMAKE_INSTALL_DATADIR}/doc/orvik-gateway)
execute_process(COMMAND gzip -n -9 -c ${PROJECT_SOURCE_DIR}/packaging/debian/changelog
                OUTPUT_FILE ${PROJECT_BINARY_DIR}/changelog.Debian.gz COMMAND_ERROR_IS_FATAL ANY)
install(FILES ${PROJECT_SOURCE_DIR}/packaging/debian/copyright ${PROJECT_BINARY_DIR}/changelog.Debian.gz
        DESTINATION ${orvik_doc_dir} COMPONENT runtime)

include(CPack)

# The package unpacks, holds what an installation needs and its program runs from there.
if(ORVIK_BUILD_TESTS AND TARGET orvik-gateway)
  add_test(NAME install.DebianPackageUnpacksAndRuns
    COMMAND ${CMAKE_COMMAND} -DBUILD_DIR=${PROJECT_BINARY_DIR} -DWORK_DIR=${PROJECT_BINARY_DIR}/package-check
      "-DEMULATOR=${CMAKE_CROSSCOMPILING_EMULATOR}" -P ${PROJECT_SOURCE_DIR}/tests/install/CheckPackage.cmake)
  set_tests_properties(install.DebianPackageUnpacksAndRuns PROPERTIES TIMEOUT 600 COST 1000)
endif()
