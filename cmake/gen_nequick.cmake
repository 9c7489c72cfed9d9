# NeQuick G tables (CCIR maps, MODIP grid), generated from the public data in ${RX_SHARED_DIR};
# neither the data nor the generated source is committed.
find_package(Python3 REQUIRED COMPONENTS Interpreter)
set(_neq_dir ${RX_SHARED_DIR}/data/nequick)
set(_neq_gen ${CMAKE_SOURCE_DIR}/tools/gen/nequick.py)
set(_neq_out ${CMAKE_BINARY_DIR}/generated/positioning/nequick_tables.cpp)
foreach(f nequick_ccir.bin nequick_modip.bin)
  if(NOT EXISTS ${_neq_dir}/${f})
    message(FATAL_ERROR "NeQuick tables: ${_neq_dir}/${f} not found (set RX_SHARED_DIR)")
  endif()
endforeach()
add_custom_command(
  OUTPUT ${_neq_out}
  COMMAND Python3::Interpreter ${_neq_gen} ${_neq_dir}/nequick_ccir.bin ${_neq_dir}/nequick_modip.bin ${_neq_out}
  DEPENDS ${_neq_gen} ${_neq_dir}/nequick_ccir.bin ${_neq_dir}/nequick_modip.bin
  COMMENT "Generating the NeQuick tables"
  VERBATIM)
target_sources(rx_positioning PRIVATE ${_neq_out})
