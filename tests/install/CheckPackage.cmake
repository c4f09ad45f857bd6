# Builds the Debian package in BUILD_DIR with cpack, unpacks it into WORK_DIR with dpkg-deb -x and
# checks what an installation gets: the files, the control fields and maintainer scripts, the unit's
# sandbox (systemd-analyze security, offline) and a program that runs from the unpacked tree with its
# own libraries and data (a configuration database created from the packaged schema, mode 0600). The
# modes of /var/lib/orvik itself need the maintainer scripts and systemd, which an unpacked tree does
# not run: the test checks that they set them.
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
expect_match("control" "${step_output}" "Depends: [^\n]*libssh-4")
foreach(script postinst prerm postrm triggers)
  expect_match("control" "${step_output}" " ${script}")
endforeach()
run_step("dpkg-deb -e" dpkg-deb -e ${packages} ${WORK_DIR}/control)
file(READ ${WORK_DIR}/control/postinst postinst)
expect_match("postinst" "${postinst}" "adduser --system[^\n]* orvik")
expect_match("postinst" "${postinst}" "/var/lib/orvik/config.db")
expect_match("postinst" "${postinst}" "install -d -o orvik -g orvik -m 0750 /var/lib/orvik\n")
expect_match("postinst" "${postinst}" "chown -h orvik:orvik [^\n]*\n[^\n]*chmod 0600")

set(root ${WORK_DIR}/root)
run_step("dpkg-deb -x" dpkg-deb -x ${packages} ${root})
foreach(file usr/bin/orvik-gateway usr/lib/libOrvik_ZARoveDore.so.0 usr/lib/libOrvik_Utility.so.0
             usr/share/orvik-gateway/db/schema.sql usr/share/orvik-gateway/db/apps.sql
             usr/share/orvik-gateway/db/demo.sql
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
expect_match("unit" "${unit}" "\nStateDirectoryMode=0750\n")
expect_match("unit" "${unit}" "\nUMask=0077\n")
# Exposure 4.0 ("OK") at most; the tool counts in tenths.
find_program(SYSTEMD_ANALYZE systemd-analyze)
if(NOT SYSTEMD_ANALYZE)
  message(FATAL_ERROR "systemd-analyze is missing (Debian package systemd; scripts/setup installs it)")
endif()
run_step("the unit's exposure at most 4.0" ${SYSTEMD_ANALYZE} security --offline=yes --threshold=40
         ${root}/usr/lib/systemd/system/orvik-gateway.service)

run_step("unpacked program" ${EMULATOR} ${root}/usr/bin/orvik-gateway config --database=${WORK_DIR}/config.db apps)
expect_match("config apps" "${step_output}" "AppTrendLogPusher \\(vendor 64701, app 500\\)")
expect_match("config apps" "${step_output}" "ftp-server +text")
expect_match("config apps" "${step_output}" "ftp-password +text[^\n]*\\(secret\\)")
run_step("database mode" stat -c %a ${WORK_DIR}/config.db)
expect_match("database mode" "${step_output}" "^600\n$")
message(STATUS "package ${packages} unpacks and runs")
