find_package(benchmark REQUIRED)
# One program per file in bench/; each links the whole product below main. A benchmark includes
# the product's headers and the fixtures it shares with the tests (tools/fixtures), never a test's
# own header: it builds with the tests off (scripts/check-layers holds bench/ to that).
file(GLOB bsrcs CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/bench/*.cpp)
foreach(src IN LISTS bsrcs)
  get_filename_component(n ${src} NAME_WE)
  add_executable(bench_${n} ${src})
  target_link_libraries(bench_${n} PRIVATE rx_main_init benchmark::benchmark benchmark::benchmark_main)
  target_compile_options(bench_${n} PRIVATE ${RX_TEST_WARNINGS})
  target_include_directories(bench_${n} PRIVATE ${CMAKE_SOURCE_DIR}/tools)
  target_compile_definitions(bench_${n} PRIVATE RX_SHARED_DIR="${RX_SHARED_DIR}")
endforeach()
# Benchmarks that time rtklib beside our code on the same inputs link it by name.
find_library(RX_RTKLIB RTKLib REQUIRED)
foreach(b IN ITEMS troposphere ionosphere)
  if(TARGET bench_${b})
    target_link_libraries(bench_${b} PRIVATE ${RX_RTKLIB} m)
  endif()
endforeach()
# The geodesy benchmark times GeographicLib's UTM/UPS beside ours.
find_library(RX_GEOGRAPHICLIB GeographicLib REQUIRED)
if(TARGET bench_geodesy)
  target_link_libraries(bench_geodesy PRIVATE ${RX_GEOGRAPHICLIB})
endif()
