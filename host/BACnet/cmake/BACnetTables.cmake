# Turns the standard's enumeration tables (data/bacnet/*.csv) into C++ at configure time, with CMake
# alone:
#   - <bin>/generated/include/Orvik_BACnet/BACnetEnums.h: one unscoped enum per enumeration, constants
#     named <PREFIX><NAME> with the CSV name upper-cased and '-' replaced by '_' (analog-input -> OBJECT_ANALOG_INPUT);
#   - <bin>/generated/src/BACnetTablesText.inc: the CSV texts as string literals, parsed by ProtocolText and
#     PropertyDatatypeTable on first use (names and the property datatype table).
# Editing a CSV re-runs the configure step (CMAKE_CONFIGURE_DEPENDS); unchanged output is not rewritten, so
# nothing recompiles needlessly.

# _orvik_constant_name(<out> <prefix> <csv-name>)
function(_orvik_constant_name out prefix name)
  string(TOUPPER "${name}" upper)
  string(REPLACE "-" "_" upper "${upper}")
  set(${out} "${prefix}${upper}" PARENT_SCOPE)
endfunction()

# _orvik_enum_from_rows(<out-text> <type> <prefix> <rows> <extras>)
# rows: list of "number,name"; extras: list of "NAME=value" appended verbatim (aliases, sentinels).
function(_orvik_enum_from_rows out type prefix rows extras)
  set(text "enum ${type} : std::uint32_t\n{\n")
  foreach(row IN LISTS rows)
    string(REPLACE "," ";" fields "${row}")
    list(GET fields 0 number)
    list(GET fields 1 name)
    _orvik_constant_name(constant "${prefix}" "${name}")
    string(APPEND text "    ${constant} = ${number},\n")
  endforeach()
  foreach(extra IN LISTS extras)
    string(REPLACE "=" " = " extra "${extra}")
    string(APPEND text "    ${extra},\n")
  endforeach()
  string(APPEND text "};\n\n")
  set(${out} "${text}" PARENT_SCOPE)
endfunction()

# _orvik_csv_rows(<out> <file>): data lines of a CSV file without its header line.
function(_orvik_csv_rows out file)
  file(STRINGS "${file}" lines)
  list(REMOVE_AT lines 0)
  set(${out} "${lines}" PARENT_SCOPE)
endfunction()

function(_orvik_write_if_changed file content)
  file(WRITE "${file}.tmp" "${content}")
  configure_file("${file}.tmp" "${file}" COPYONLY)
  file(REMOVE "${file}.tmp")
endfunction()

# orvik_bacnet_generate_tables(<target> <csv-dir>)
function(orvik_bacnet_generate_tables target csv_dir)
  set(gen "${CMAKE_CURRENT_BINARY_DIR}/generated")
  set(csv_files object-types property-ids engineering-units error-classes error-codes enums-misc
                property-datatypes)
  foreach(name IN LISTS csv_files)
    set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS "${csv_dir}/${name}.csv")
  endforeach()

  # Single-enumeration files: <file>|<type>|<prefix>|<extras separated by ':'>
  set(simple
    "object-types|BACNET_OBJECT_TYPE|OBJECT_|OBJECT_TRENDLOG=OBJECT_TREND_LOG:OBJECT_PROPRIETARY_MIN=128:MAX_BACNET_OBJECT_TYPE=1023"
    "property-ids|BACNET_PROPERTY_ID|PROP_|PROP_PROPRIETARY_RESET_ADJUST_VALUE=512:MAX_BACNET_PROPERTY_ID=4194303"
    "engineering-units|BACNET_ENGINEERING_UNITS|UNITS_|MAX_UNITS=65535"
    "error-classes|BACNET_ERROR_CLASS|ERROR_CLASS_|ERROR_CLASS_ABORT=65533:ERROR_CLASS_REJECT=65534:MAX_BACNET_ERROR_CLASS=65535"
    "error-codes|BACNET_ERROR_CODE|ERROR_CODE_|MAX_BACNET_ERROR_CODE=65535")
  # enums-misc.csv: <enumeration>|<type>|<prefix>|<extras>
  set(misc
    "BACnetApplicationTag|BACNET_APPLICATION_TAG|BACNET_APPLICATION_TAG_|MAX_BACNET_APPLICATION_TAG=16"
    "BACnetDeviceStatus|BACNET_DEVICE_STATUS|STATUS_|MAX_DEVICE_STATUS=6"
    "BACnetReliability|BACNET_RELIABILITY|RELIABILITY_|MAX_RELIABILITY=65535"
    "BACnetEventState|BACNET_EVENT_STATE|EVENT_STATE_|"
    "BACnetEventType|BACNET_EVENT_TYPE|EVENT_TYPE_|"
    "BACnetNotifyType|BACNET_NOTIFY_TYPE|NOTIFY_|"
    "BACnetBinaryPV|BACNET_BINARY_PV|BINARY_|"
    "BACnetPolarity|BACNET_POLARITY|POLARITY_|"
    "BACnetSegmentation|BACNET_SEGMENTATION|SEGMENTATION_|"
    "BACnetLoggingType|BACNET_LOGGING_TYPE|LOGGING_TYPE_|"
    "BACnetFileAccessMethod|BACNET_FILE_ACCESS_METHOD|FILE_ACCESS_|"
    "BACnetProgramState|BACNET_PROGRAM_STATE|PROGRAM_STATE_|"
    "BACnetRestartReason|BACNET_RESTART_REASON|RESTART_REASON_|"
    "BACnetAbortReason|BACNET_ABORT_REASON|ABORT_REASON_|"
    "BACnetRejectReason|BACNET_REJECT_REASON|REJECT_REASON_|"
    "BACnetConfirmedServiceChoice|BACNET_CONFIRMED_SERVICE|SERVICE_CONFIRMED_|"
    "BACnetUnconfirmedServiceChoice|BACNET_UNCONFIRMED_SERVICE|SERVICE_UNCONFIRMED_|"
    "BACnetStatusFlags|BACNET_STATUS_FLAGS|STATUS_FLAG_|"
    "BACnetLogStatus|BACNET_LOG_STATUS|LOG_STATUS_|"
    "BACnetResultFlags|BACNET_RESULT_FLAGS|RESULT_FLAG_|"
    "BACnetEventTransitionBits|BACNET_EVENT_TRANSITION_BITS|TRANSITION_|"
    "BACnetLimitEnable|BACNET_LIMIT_ENABLE|LIMIT_ENABLE_|"
    "BACnetDaysOfWeek|BACNET_DAYS_OF_WEEK|DAYS_OF_WEEK_|"
    "BACnetServicesSupported|BACNET_SERVICES_SUPPORTED|SERVICE_SUPPORTED_|"
    "BACnetTimeStamp.choice|BACNET_TIMESTAMP_CHOICE|TIME_STAMP_|"
    "BACnetLogRecord.log-datum.choice|BACNET_LOG_DATUM_CHOICE|LOG_DATUM_|"
    "BACnetLogData.choice|BACNET_LOG_DATA_CHOICE|LOG_DATA_|"
    "BACnetLogData.log-data.choice|BACNET_LOG_DATA_DATUM_CHOICE|LOG_DATA_DATUM_|"
    "ReadRange-Request.range.choice|BACNET_READ_RANGE_CHOICE|RANGE_|")

  set(header "// Generated by host/BACnet/cmake/BACnetTables.cmake from data/bacnet/*.csv. Do not edit.\n")
  string(APPEND header "//\n// The standard's enumerations (ASHRAE 135) with the numbers of the CSV tables. Each enum has\n")
  string(APPEND header "// std::uint32_t as its underlying type, so any received number (proprietary values included)\n")
  string(APPEND header "// can be held with static_cast.\n\n#pragma once\n\n#include <cstdint>\n\n")
  string(APPEND header "namespace Orvik\n{\nnamespace BACnet\n{\n\n")

  foreach(entry IN LISTS simple)
    string(REPLACE "|" ";" parts "${entry}")
    list(GET parts 0 file)
    list(GET parts 1 type)
    list(GET parts 2 prefix)
    list(GET parts 3 extras)
    string(REPLACE ":" ";" extras "${extras}")
    _orvik_csv_rows(rows "${csv_dir}/${file}.csv")
    _orvik_enum_from_rows(text "${type}" "${prefix}" "${rows}" "${extras}")
    string(APPEND header "// ${file}.csv\n${text}")
  endforeach()

  _orvik_csv_rows(misc_rows "${csv_dir}/enums-misc.csv")
  foreach(entry IN LISTS misc)
    string(REPLACE "|" ";" parts "${entry}")
    list(GET parts 0 enumeration)
    list(GET parts 1 type)
    list(GET parts 2 prefix)
    list(GET parts 3 extras)
    string(REPLACE ":" ";" extras "${extras}")
    set(rows "")
    foreach(row IN LISTS misc_rows)
      string(FIND "${row}" "${enumeration}," position)
      if(position EQUAL 0)
        string(LENGTH "${enumeration}," skip)
        string(SUBSTRING "${row}" ${skip} -1 rest)
        list(APPEND rows "${rest}")
      endif()
    endforeach()
    if(NOT rows)
      message(FATAL_ERROR "enums-misc.csv holds no rows of ${enumeration}")
    endif()
    _orvik_enum_from_rows(text "${type}" "${prefix}" "${rows}" "${extras}")
    string(APPEND header "// enums-misc.csv: ${enumeration}\n${text}")
  endforeach()
  string(APPEND header "} // namespace BACnet\n} // namespace Orvik\n")
  _orvik_write_if_changed("${gen}/include/Orvik_BACnet/BACnetEnums.h" "${header}")

  # The CSV texts, for the name tables and the property datatype table.
  set(inc "// Generated by host/BACnet/cmake/BACnetTables.cmake from data/bacnet/*.csv. Do not edit.\n")
  foreach(name IN LISTS csv_files)
    file(READ "${csv_dir}/${name}.csv" content)
    string(FIND "${content}" ")csv\"" clash)
    if(NOT clash EQUAL -1)
      message(FATAL_ERROR "${name}.csv contains the raw string delimiter )csv\"")
    endif()
    string(MAKE_C_IDENTIFIER "${name}" identifier)
    string(APPEND inc "static const char* const _CSV_${identifier} = R\"csv(${content})csv\";\n")
  endforeach()
  _orvik_write_if_changed("${gen}/src/BACnetTablesText.inc" "${inc}")

  target_include_directories(${target}
    PUBLIC $<BUILD_INTERFACE:${gen}/include>
    PRIVATE ${gen}/src)
endfunction()
