find_package(GTest REQUIRED)
include(GoogleTest)

# With AddressSanitizer GCC 12 also warns -Wmaybe-uninitialized inside libstdc++'s std::function as
# std::regex builds its automaton (tests parse replies with regular expressions), and
# -Wstringop-overflow inside a vector's resize to its size less a few bytes, for the path where the
# size were smaller: off in the tests' code of those builds only.
if(CMAKE_CXX_COMPILER_ID STREQUAL "GNU" AND RX_SANITIZE)
  list(APPEND RX_TEST_WARNINGS -Wno-maybe-uninitialized -Wno-stringop-overflow)
endif()

# GoogleTest's and GoogleMock's headers, read once per test executable instead of once per source:
# a quarter of a test source's compile time. With clang only: with them, GCC 12's optimiser finds
# new false overflows inside libstdc++'s string copies of some tests (-Wstringop-overflow).
function(rx_test_pch target)
  if(CMAKE_CXX_COMPILER_ID MATCHES "Clang")
    target_precompile_headers(${target} PRIVATE <gtest/gtest.h> <gmock/gmock.h>)
  endif()
endfunction()

# One executable per layer; each test runs in its own process so static globals start fresh.
foreach(layer IN LISTS RX_LAYERS)
  set(dir ${layer})
  if(layer STREQUAL "main_init")
    set(dir main)
  endif()
  file(GLOB_RECURSE tsrcs CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/tests/unit/${dir}/*.cpp)
  if(tsrcs)
    add_executable(unit_${dir} ${tsrcs})
    target_link_libraries(unit_${dir} PRIVATE rx_${layer} GTest::gtest GTest::gmock GTest::gtest_main)
    target_compile_options(unit_${dir} PRIVATE ${RX_TEST_WARNINGS})
    rx_test_pch(unit_${dir})
    # tools/fixtures: the models and file readers the tests share with the benchmarks.
    target_include_directories(unit_${dir} PRIVATE ${CMAKE_SOURCE_DIR}/tests ${CMAKE_SOURCE_DIR}/tools)
    target_compile_definitions(unit_${dir} PRIVATE RX_SHARED_DIR="${RX_SHARED_DIR}")
    # A test passes on gtest's own verdict, not on the exit code alone: one that ends the
    # process early (the program's rxExit(0) inside it) never reaches the summary. No square
    # brackets in the patterns: the property list would not split around them.
    # The start-up's tests run the board simulator beside the program's own tasks and mostly
    # wait on its clock: label unit-sim (a unit label still) puts them in scripts/test's pass of
    # waiting tests.
    set(label unit)
    if(dir STREQUAL "main")
      set(label unit-sim)
    endif()
    gtest_discover_tests(unit_${dir} DISCOVERY_TIMEOUT 120 DISCOVERY_MODE PRE_TEST
                         PROPERTIES LABELS ${label} TIMEOUT 300
                                    PASS_REGULAR_EXPRESSION "(PASSED  |SKIPPED ). 1 test"
                                    FAIL_REGULAR_EXPRESSION "runtime error|ERROR: AddressSanitizer|ERROR: LeakSanitizer")
  endif()
endforeach()
# The start-up's integration tests run the board simulator beside the program's own tasks.
if(TARGET unit_main AND TARGET gnss_board_sim)
  target_compile_definitions(unit_main PRIVATE RX_TOOLS_DIR="${CMAKE_BINARY_DIR}/tools")
  add_dependencies(unit_main gnss_board_sim)
endif()

# Debian's rtklib as an independent oracle of a layer's unit tests. No header ships: a test
# declares the prototypes it calls and defines the callbacks the library needs (showmsg, settime,
# settspan).
find_library(RX_RTKLIB RTKLib REQUIRED)
function(rx_test_oracle_rtklib layer)
  if(TARGET unit_${layer})
    target_link_libraries(unit_${layer} PRIVATE ${RX_RTKLIB})
  endif()
endfunction()
rx_test_oracle_rtklib(positioning)

file(GLOB_RECURSE e2e_srcs CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/tests/e2e/*.cpp)
if(e2e_srcs)
  add_executable(e2e_tests ${e2e_srcs})
  target_link_libraries(e2e_tests PRIVATE GTest::gtest GTest::gmock GTest::gtest_main Threads::Threads)
  target_compile_options(e2e_tests PRIVATE ${RX_TEST_WARNINGS})
  rx_test_pch(e2e_tests)
  target_include_directories(e2e_tests PRIVATE ${CMAKE_SOURCE_DIR}/tests)
  target_compile_definitions(e2e_tests PRIVATE
      RX_SHARED_DIR="${RX_SHARED_DIR}"
      RXENGINE_PATH="$<TARGET_FILE:rxengine>"
      RX_TOOLS_DIR="${CMAKE_BINARY_DIR}/tools")
  add_dependencies(e2e_tests rxengine)
  gtest_discover_tests(e2e_tests DISCOVERY_TIMEOUT 120 DISCOVERY_MODE PRE_TEST
                       PROPERTIES LABELS e2e TIMEOUT 300)
endif()

# A short kill run: the real program and the board simulator, SIGKILL and SIGTERM at random
# instants of bursts of sets (scripts/kill-run runs the full count on demand).
find_package(Python3 COMPONENTS Interpreter)
if(Python3_Interpreter_FOUND)
  add_test(NAME KillRun.ShortRunKeepsEverySettingsPromise
           COMMAND ${Python3_EXECUTABLE} ${CMAKE_SOURCE_DIR}/scripts/kill-run --build ${CMAKE_BINARY_DIR}
                   --kills 40 --terms 10)
  set_tests_properties(KillRun.ShortRunKeepsEverySettingsPromise PROPERTIES LABELS e2e TIMEOUT 600
                       ENVIRONMENT "ASAN_OPTIONS=detect_leaks=0")
  # One port's replies with one port never read and one read slowly: a generous bound only
  # (scripts/reply-times measures the figures on demand).
  add_test(NAME ReplyTimes.APortNeverReadOrReadSlowlyHoldsUpNoOther
           COMMAND ${Python3_EXECUTABLE} ${CMAKE_SOURCE_DIR}/scripts/reply-times --build ${CMAKE_BINARY_DIR}
                   --commands 30 --check-ms 1000)
  set_tests_properties(ReplyTimes.APortNeverReadOrReadSlowlyHoldsUpNoOther PROPERTIES LABELS e2e TIMEOUT 300
                       ENVIRONMENT "ASAN_OPTIONS=detect_leaks=0")
endif()

# The per-epoch chain seen from its test: the calls the chain makes into other objects go through
# wrappers of the test executable (tests/unit/gnss_link/chain_calls.cpp) that note each call and
# pass it on; the program's code holds nothing for it.
if(TARGET unit_gnss_link)
  foreach(sym IN ITEMS _Z9omPreparel _Z8omOutputl _Z14diffInitCodingv _Z14baseMakeCodingv
                       _ZN10RCV_OUTPUT13computeParamsEv _Z12alanVariancev)
    target_link_options(unit_gnss_link PRIVATE "LINKER:--wrap=${sym}")
  endforeach()
endif()
# What the navigation decoders hand to the store's CNAV correction and time-offset entries, which
# keep none of it: noted by wrappers of the test executable (tests/unit/navigation_data/cnav_calls.cpp).
if(TARGET unit_navigation_data)
  foreach(sym IN ITEMS _ZN22SatelliteDataProcessor20update_GpsCnavDCDataE8SvIdTypeRKN7NavData17GpsCnavDCDataTypeE
                       _ZN22SatelliteDataProcessor27update_GpsCnavSysOffsetDataEiRKN7NavData24GpsCnavSysOffsetDataTypeE)
    target_link_options(unit_navigation_data PRIVATE "LINKER:--wrap=${sym}")
  endforeach()
endif()
# The time scales' extrapolation against a clock its test sets (tests/unit/positioning/fake_clock.cpp),
# and the geoid file read in pieces (short_reads.cpp).
if(TARGET unit_positioning)
  target_link_options(unit_positioning PRIVATE "LINKER:--wrap=_Z11rtosTimeGetR7SysTime" "LINKER:--wrap=read")
endif()
