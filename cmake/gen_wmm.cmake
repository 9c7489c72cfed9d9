# World Magnetic Model coefficients (WMM2020 and WMM2025), generated from the public coefficient
# files in ${RX_SHARED_DIR}; neither the data nor the generated source is committed.
find_package(Python3 REQUIRED COMPONENTS Interpreter)
set(_wmm_dir ${RX_SHARED_DIR}/data/wmm)
set(_wmm_gen ${CMAKE_SOURCE_DIR}/tools/gen/wmm.py)
set(_wmm_out ${CMAKE_BINARY_DIR}/generated/positioning/wmm_tables.cpp)
set(_wmm_cof ${_wmm_dir}/WMM2020.COF ${_wmm_dir}/WMM2025.COF)
foreach(f IN LISTS _wmm_cof)
  if(NOT EXISTS ${f})
    message(FATAL_ERROR "Magnetic model: ${f} not found (set RX_SHARED_DIR)")
  endif()
endforeach()
add_custom_command(
  OUTPUT ${_wmm_out}
  COMMAND Python3::Interpreter ${_wmm_gen} --out ${_wmm_out} ${_wmm_cof}
  DEPENDS ${_wmm_gen} ${_wmm_cof}
  COMMENT "Generating the magnetic model tables"
  VERBATIM)
target_sources(rx_positioning PRIVATE ${_wmm_out})
