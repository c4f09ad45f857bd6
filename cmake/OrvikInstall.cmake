# Install rules: the layer libraries with their public headers, a CMake package configuration
# (find_package(Orvik_ZARoveDore) gives the imported targets Orvik::<layer>), the data the
# gateway program needs at run time (db/, the demo site) and the gateway's systemd unit.
# Included by the top CMakeLists.txt after every layer has been added.
include(CMakePackageConfigHelpers)

set(ORVIK_INSTALL_CMAKEDIR ${CMAKE_INSTALL_LIBDIR}/cmake/Orvik_ZARoveDore)
set(ORVIK_INSTALL_DATADIR ${CMAKE_INSTALL_DATADIR}/orvik-gateway)

# Layer target -> folder that holds its public headers (the folder's content is installed).
set(orvik_layer_headers
  Orvik_Utility host/Utility/include
  Orvik_BACnet host/BACnet/include
  Orvik_BACnetDevice host/BACnetDevice/include
  Orvik_BACnetClient host/BACnetClient/include
  Orvik_Watson host/Watson/include
  Orvik_ZARoveDore include)

set(orvik_installed_layers)
while(orvik_layer_headers)
  list(POP_FRONT orvik_layer_headers layer headers)
  list(APPEND orvik_installed_layers ${layer})
  install(DIRECTORY ${PROJECT_SOURCE_DIR}/${headers}/ DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}
          COMPONENT development FILES_MATCHING PATTERN "*.h")
  # Headers generated at configure time (the BACnet layer's enumerations) go beside them.
  get_target_property(layer_binary_dir ${layer} BINARY_DIR)
  if(EXISTS ${layer_binary_dir}/generated/include)
    install(DIRECTORY ${layer_binary_dir}/generated/include/ DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}
            COMPONENT development FILES_MATCHING PATTERN "*.h")
  endif()
endwhile()

# Installed libraries find each other in their own folder.
set_target_properties(${orvik_installed_layers} PROPERTIES INSTALL_RPATH "$ORIGIN")
install(TARGETS ${orvik_installed_layers} EXPORT OrvikTargets
  LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT runtime NAMELINK_COMPONENT development
  ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT development
  RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT runtime)
install(EXPORT OrvikTargets NAMESPACE Orvik:: DESTINATION ${ORVIK_INSTALL_CMAKEDIR}
        COMPONENT development)

# The package configuration finds the same dependencies the layers were built with.
configure_package_config_file(${PROJECT_SOURCE_DIR}/cmake/Orvik_ZARoveDoreConfig.cmake.in
  ${PROJECT_BINARY_DIR}/Orvik_ZARoveDoreConfig.cmake INSTALL_DESTINATION ${ORVIK_INSTALL_CMAKEDIR})
write_basic_package_version_file(${PROJECT_BINARY_DIR}/Orvik_ZARoveDoreConfigVersion.cmake
  COMPATIBILITY SameMinorVersion)
install(FILES ${PROJECT_BINARY_DIR}/Orvik_ZARoveDoreConfig.cmake
              ${PROJECT_BINARY_DIR}/Orvik_ZARoveDoreConfigVersion.cmake
        DESTINATION ${ORVIK_INSTALL_CMAKEDIR} COMPONENT development)

# Run-time data of the gateway program: the schema and app catalogue it creates new databases from, the demo
# configuration, the simulated demo site, the gateway's own device on BACnet/IP and the host scripts
# the apps run.
install(DIRECTORY ${PROJECT_SOURCE_DIR}/db/ DESTINATION ${ORVIK_INSTALL_DATADIR}/db
        COMPONENT runtime FILES_MATCHING PATTERN "*.sql")
install(DIRECTORY ${PROJECT_SOURCE_DIR}/sites/ DESTINATION ${ORVIK_INSTALL_DATADIR}/sites
        COMPONENT runtime FILES_MATCHING PATTERN "demo.json" PATTERN "local-device.json")
install(DIRECTORY ${PROJECT_SOURCE_DIR}/scripts/general/ DESTINATION ${ORVIK_INSTALL_DATADIR}/scripts/general
        COMPONENT runtime USE_SOURCE_PERMISSIONS)

# The unit names the program where this installation puts it: the prefix is known only when the rules
# run (cmake --install --prefix, or /usr for the Debian package).
install(CODE "
  set(CMAKE_INSTALL_FULL_BINDIR \"\${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_BINDIR}\")
  configure_file(${PROJECT_SOURCE_DIR}/packaging/orvik-gateway.service.in
                 ${PROJECT_BINARY_DIR}/orvik-gateway.service @ONLY)" COMPONENT runtime)
install(FILES ${PROJECT_BINARY_DIR}/orvik-gateway.service DESTINATION lib/systemd/system COMPONENT runtime)

# A host project builds against the installed tree: install into the build folder, then
# configure, build and run a tiny consumer with find_package(Orvik_ZARoveDore).
if(ORVIK_BUILD_TESTS)
  add_test(NAME install.ConsumerBuildsAgainstInstalledTree
    COMMAND ${CMAKE_COMMAND}
      -DBUILD_DIR=${PROJECT_BINARY_DIR}
      -DSOURCE_DIR=${PROJECT_SOURCE_DIR}/tests/install/consumer
      -DWORK_DIR=${PROJECT_BINARY_DIR}/install-check
      -DLIBDIR=${CMAKE_INSTALL_LIBDIR}
      -DTOOLCHAIN=${CMAKE_TOOLCHAIN_FILE}
      -DSYSROOT=${ORVIK_ARMHF_SYSROOT}
      "-DEMULATOR=${CMAKE_CROSSCOMPILING_EMULATOR}"
      -P ${PROJECT_SOURCE_DIR}/tests/install/CheckConsumer.cmake)
  # COST: the long tests start first, so that the short ones fill the other core around them.
  set_tests_properties(install.ConsumerBuildsAgainstInstalledTree PROPERTIES TIMEOUT 600 COST 1000)
endif()

# The gateway suite and the end-to-end suite run the gateway program: build it first and tell the suites
# how to start it (through the emulator in a cross build); the gateway suite's supervision test uses the
# program's parts in-process.
if(ORVIK_BUILD_TESTS)
  target_link_libraries(test_gateway PRIVATE orvik_gateway_parts)
  set(gateway_command ${CMAKE_CROSSCOMPILING_EMULATOR} $<TARGET_FILE:orvik-gateway>)
  list(JOIN gateway_command "|" gateway_command)
  foreach(suite test_gateway test_integration)
    add_dependencies(${suite} orvik-gateway)
    target_compile_definitions(${suite} PRIVATE "ORVIK_GATEWAY_COMMAND=\"${gateway_command}\"")
  endforeach()
endif()
