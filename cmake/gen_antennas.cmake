# Built-in antenna database, generated from the public antenna tables at build time; neither the
# data nor the generated source is committed.
find_package(Python3 REQUIRED COMPONENTS Interpreter)
set(_rx_ant_data ${RX_SHARED_DIR}/data/antennas)
set(_rx_ant_out ${CMAKE_BINARY_DIR}/generated/positioning/antdb_table.cpp)
foreach(_f IN ITEMS antenna_offsets_merged.csv cmr_antenna_numbers.csv)
  if(NOT EXISTS ${_rx_ant_data}/${_f})
    message(FATAL_ERROR "Antenna database: ${_rx_ant_data}/${_f} not found (set RX_SHARED_DIR)")
  endif()
endforeach()
add_custom_command(
  OUTPUT ${_rx_ant_out}
  COMMAND Python3::Interpreter ${CMAKE_SOURCE_DIR}/tools/gen/antennas.py
          --data ${_rx_ant_data} --out ${_rx_ant_out}
  DEPENDS ${CMAKE_SOURCE_DIR}/tools/gen/antennas.py
          ${_rx_ant_data}/antenna_offsets_merged.csv ${_rx_ant_data}/cmr_antenna_numbers.csv
  COMMENT "Generating the antenna database"
  VERBATIM)
target_sources(rx_positioning PRIVATE ${_rx_ant_out})
