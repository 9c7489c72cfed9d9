# Built-in ellipsoid and datum tables, generated from the public data at build time.
find_package(Python3 REQUIRED COMPONENTS Interpreter)
set(_rx_dtm_data ${RX_SHARED_DIR}/data/datums)
set(_rx_dtm_out ${CMAKE_BINARY_DIR}/generated/positioning/dtm_tables.cpp)
add_custom_command(
  OUTPUT ${_rx_dtm_out}
  COMMAND Python3::Interpreter ${CMAKE_SOURCE_DIR}/tools/gen/datums.py
          --data ${_rx_dtm_data} --out ${_rx_dtm_out}
  DEPENDS ${CMAKE_SOURCE_DIR}/tools/gen/datums.py
          ${_rx_dtm_data}/ellipsoids.csv ${_rx_dtm_data}/datums.csv
  COMMENT "Generating the datum tables"
  VERBATIM)
target_sources(rx_positioning PRIVATE ${_rx_dtm_out})
