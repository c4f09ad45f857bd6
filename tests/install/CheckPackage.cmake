# Builds the Debian package in BUILD_DIR with cpack, unpacks it into WORK_DIR with dpkg-deb -x and
# checks what an installation gets: the files, the control fields and maintainer scripts, and a
# program that runs from the unpacked tree with its own libraries and data (a configuration database
# created from the packaged schema).
# Usage: cmake -DBUILD_DIR=... -DWORK_DIR=... [-DEMULATOR=...] -P CheckPackage.cmake
function(run_step what)
  execute_process(COMMAND ${ARGN} RESULT_VARIABLE result OUTPUT_VARIABLE out ERROR_VARIABLE err)
  if(NOT result EQUAL 0)
    message(FATAL_ERROR "${what} failed (${result}):\n${out}\n${err}")
  endif()
  set(step_output "${out}" PARENT_SCOPE)
endfunction()

function(expect_match what text regex)
  if(NOT text MATCHES "${regex}")
    message(FATAL_ERROR "${what}: no match for '${regex}' in:\n${text}")
  endif()
endfunction()

file(REMOVE_RECURSE ${WORK_DIR})
run_step("cpack" ${CMAKE_CPACK_COMMAND} -G DEB -B ${WORK_DIR}/package --config ${BUILD_DIR}/CPackConfig.cmake)
file(GLOB packages ${WORK_DIR}/package/orvik-gateway_*.deb)
list(LENGTH packages count)
if(NOT count EQUAL 1)
  message(FATAL_ERROR "expected one package, found: ${packages}")
endif()

run_step("dpkg-deb -I" dpkg-deb -I ${packages})
expect_match("control" "${step_output}" "Package: orvik-gateway")
expect_match("control" "${step_output}" "Depends: [^\n]*adduser[^\n]*libpocofoundation80")
foreach(script postinst prerm postrm triggers)
  expect_match("control" "${step_output}" " ${script}")
endforeach()
run_step("dpkg-deb -e" dpkg-deb -e ${packages} ${WORK_DIR}/control)
file(READ ${WORK_DIR}/control/postinst postinst)
expect_match("postinst" "${postinst}" "adduser --system[^\n]* orvik")
expect_match("postinst" "${postinst}" "/var/lib/orvik/config.db")

set(root ${WORK_DIR}/root)
run_step("dpkg-deb -x" dpkg-deb -x ${packages} ${root})
foreach(file usr/bin/orvik-gateway usr/lib/libOrvik_ZARoveDore.so.0 usr/lib/libOrvik_Utility.so.0
             usr/share/orvik-gateway/db/schema.sql usr/share/orvik-gateway/db/demo.sql
             usr/share/orvik-gateway/sites/demo.json usr/share/orvik-gateway/sites/local-device.json
             usr/share/orvik-gateway/scripts/general/orvik_get_ip.sh
             usr/share/doc/orvik-gateway/copyright usr/lib/systemd/system/orvik-gateway.service)
  if(NOT EXISTS ${root}/${file})
    message(FATAL_ERROR "the package lacks ${file}")
  endif()
endforeach()
file(GLOB headers ${root}/usr/include/*)
if(headers)
  message(FATAL_ERROR "development files in the runtime package: ${headers}")
endif()
file(READ ${root}/usr/lib/systemd/system/orvik-gateway.service unit)
expect_match("unit" "${unit}" "ExecStart=/usr/bin/orvik-gateway ")
expect_match("unit" "${unit}" "Type=notify")
expect_match("unit" "${unit}" "User=orvik")

run_step("unpacked program" ${EMULATOR} ${root}/usr/bin/orvik-gateway config --database=${WORK_DIR}/config.db apps)
expect_match("config apps" "${step_output}" "AppTrendLogPusher \\(vendor 64701, app 500\\)")
expect_match("config apps" "${step_output}" "ftp-server +text")
message(STATUS "package ${packages} unpacks and runs")
