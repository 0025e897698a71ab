# norvane-query: the reader library, the program, and their tests, benchmark and fuzz target.
# Included by CMakeLists.txt after the converter's targets (norvane_core provides MD5).
set(query_dir ${CMAKE_CURRENT_LIST_DIR})

# Opening, validating and looking up a converted database.
add_library(norvane_reader STATIC
  ${query_dir}/src/db_reader.cpp
  ${query_dir}/src/file_image.cpp
  ${query_dir}/src/ipv4_text.cpp
  ${query_dir}/src/db_stats.cpp)
target_include_directories(norvane_reader PUBLIC ${query_dir}/src)
target_link_libraries(norvane_reader PUBLIC norvane_core)
target_compile_options(norvane_reader PRIVATE ${norvane_warnings})

# The program's command line, commands and text conversion.
add_library(norvane_query_cli STATIC
  ${query_dir}/src/text_codec.cpp
  ${query_dir}/src/text_printer.cpp
  ${query_dir}/src/query_options.cpp
  ${query_dir}/src/query_commands.cpp
  ${query_dir}/src/query_driver.cpp)
target_link_libraries(norvane_query_cli PUBLIC norvane_reader)
target_compile_options(norvane_query_cli PRIVATE ${norvane_warnings})

add_executable(norvane-query ${query_dir}/src/query_main.cpp)
target_link_libraries(norvane-query PRIVATE norvane_query_cli)
target_compile_options(norvane-query PRIVATE ${norvane_warnings})

if(NORVANE_TESTS OR NORVANE_BENCH OR NORVANE_FUZZ)
  # Writes databases straight from ranges and texts: test inputs, benchmark data, fuzz seeds.
  add_library(norvane_db_builder STATIC ${query_dir}/tests/db_builder.cpp)
  target_link_libraries(norvane_db_builder PUBLIC norvane_core)
  target_include_directories(norvane_db_builder PUBLIC ${query_dir}/tests)
  target_compile_options(norvane_db_builder PRIVATE ${norvane_warnings})
endif()

if(NORVANE_TESTS)

  add_executable(norvane_query_tests
    ${query_dir}/tests/db_reader_test.cpp
    ${query_dir}/tests/damaged_db_test.cpp
    ${query_dir}/tests/query_parts_test.cpp
    ${query_dir}/tests/round_trip_test.cpp)
  target_link_libraries(norvane_query_tests
    PRIVATE norvane_query_cli norvane_db_builder norvane_testsupport gtest_main)
  target_compile_options(norvane_query_tests PRIVATE ${norvane_warnings})
  gtest_discover_tests(norvane_query_tests DISCOVERY_MODE PRE_TEST)
endif()

if(NORVANE_TESTS)
  # The program run on databases written byte by byte, and on what norvane converts.
  find_package(Python3 COMPONENTS Interpreter REQUIRED)
  set(query_cli_env QUERY_EXE=$<TARGET_FILE:norvane-query>)
  if(TARGET norvane)
    list(APPEND query_cli_env NORVANE_EXE=$<TARGET_FILE:norvane>)
  endif()
  if(CMAKE_CROSSCOMPILING_EMULATOR)
    list(JOIN CMAKE_CROSSCOMPILING_EMULATOR " " query_emulator)
    list(APPEND query_cli_env "QUERY_WRAPPER=${query_emulator}")
  endif()
  add_test(NAME norvane_query_cli
    COMMAND ${Python3_EXECUTABLE} ${query_dir}/tests/query_cli_test.py)
  set_tests_properties(norvane_query_cli PROPERTIES ENVIRONMENT "${query_cli_env}")
endif()

if(NORVANE_BENCH AND NOT CMAKE_CROSSCOMPILING AND NOT WIN32)
  # Lookups per second on a converted 550,000-range database, beside a plain binary search.
  find_package(benchmark REQUIRED)
  add_executable(lookup_bench ${query_dir}/bench/lookup_bench.cpp)
  target_link_libraries(lookup_bench
    PRIVATE norvane_reader norvane_db_builder norvane_testsupport benchmark::benchmark)
  target_compile_options(lookup_bench PRIVATE ${norvane_warnings})
endif()

if(NORVANE_FUZZ)
  # Open-and-validate under the sanitizers; seeds in fuzz/db_seeds.
  add_executable(db_reader_fuzz ${query_dir}/fuzz/db_reader_fuzz.cpp)
  target_link_libraries(db_reader_fuzz PRIVATE norvane_reader)
  target_compile_options(db_reader_fuzz PRIVATE ${norvane_warnings} -fsanitize=fuzzer,address,undefined)
  target_link_options(db_reader_fuzz PRIVATE -fsanitize=fuzzer,address,undefined)
endif()
