# Danish national-grid polynomial sets and polygons, generated from the public tables at build time.
find_package(Python3 REQUIRED COMPONENTS Interpreter)
set(_rx_dk_data ${RX_SHARED_DIR}/data/dkgrid)
set(_rx_dk_out ${CMAKE_BINARY_DIR}/generated/positioning/dk_grid_tables.cpp)
set(_rx_dk_csv "")
foreach(t IN ITEMS C_jtt C_ttj C_stt C_tts C_btt C_ttb C_utt_l C_ttu_l C_utt_b C_ttu_b
                   P_s34j P_tcj P_s34s P_tcs P_s45b P_tcbo P_tcla)
  list(APPEND _rx_dk_csv ${_rx_dk_data}/${t}.csv)
endforeach()
add_custom_command(
  OUTPUT ${_rx_dk_out}
  COMMAND Python3::Interpreter ${CMAKE_SOURCE_DIR}/tools/gen/dkgrid.py
          --data ${_rx_dk_data} --out ${_rx_dk_out}
  DEPENDS ${CMAKE_SOURCE_DIR}/tools/gen/dkgrid.py ${_rx_dk_csv}
  COMMENT "Generating the national-grid tables"
  VERBATIM)
target_sources(rx_positioning PRIVATE ${_rx_dk_out})
