# Built-in geoid grid: the table is generated from the public grid in ${RX_SHARED_DIR} at build
# time; neither the data nor the generated source is committed.
set(_geoid_bin ${RX_SHARED_DIR}/data/geoid/egm2008_05deg_hybrid_720x361_int16_cm.bin)
set(_geoid_gen ${CMAKE_SOURCE_DIR}/tools/gen/geoid.py)
set(_geoid_out ${CMAKE_BINARY_DIR}/generated/positioning/geoid_builtin_grid.cpp)
if(NOT EXISTS ${_geoid_bin})
  message(FATAL_ERROR "Built-in geoid grid: ${_geoid_bin} not found (set RX_SHARED_DIR)")
endif()
find_package(Python3 REQUIRED COMPONENTS Interpreter)
add_custom_command(
  OUTPUT ${_geoid_out}
  COMMAND ${Python3_EXECUTABLE} ${_geoid_gen} ${_geoid_bin} ${_geoid_out}
  DEPENDS ${_geoid_gen} ${_geoid_bin}
  COMMENT "Generating the built-in geoid grid"
  VERBATIM)
target_sources(rx_positioning PRIVATE ${_geoid_out})
