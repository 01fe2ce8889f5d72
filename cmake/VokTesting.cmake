# vok_add_gtest(NAME SOURCES ... LIBS ... [LABELS ...] [TIMEOUT s] [SIMULATOR] [TLS_SIMULATOR])
# Builds one GoogleTest program. On Linux each test case is its own ctest test; under Wine a
# process start costs about a second, so there a whole program is one ctest test.
if(NOT VOK_BUILD_TESTS OR VOK_BUILD_FUZZ)
  function(vok_add_gtest)
  endfunction()
  return()
endif()

enable_testing()

if(WIN32)
  # Debian ships GoogleTest as sources; the Windows builds compile them with the cross compiler.
  set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
  set(gtest_force_shared_crt ON CACHE BOOL "" FORCE)
  set(gtest_disable_pthreads OFF CACHE BOOL "" FORCE)
  add_subdirectory(/usr/src/googletest ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)
  set(VOK_GTEST_LIBS GTest::gtest GTest::gtest_main GTest::gmock)
  if(NOT TARGET GTest::gtest)
    set(VOK_GTEST_LIBS gtest gtest_main gmock)
  endif()
  set(VOK_WINEPREFIX ${CMAKE_BINARY_DIR}/wineprefix)
  set(VOK_RUN_WINE_TESTS ON)
  if(CMAKE_SIZEOF_VOID_P EQUAL 4)
    # 32-bit Wine is not installed here: the win32 preset builds everything and runs nothing.
    set(VOK_RUN_WINE_TESTS OFF)
  endif()
  if(VOK_RUN_WINE_TESTS)
    add_test(NAME wine_prefix_start COMMAND ${CMAKE_SOURCE_DIR}/cmake/wine-prefix.sh start ${VOK_WINEPREFIX})
    set_tests_properties(wine_prefix_start PROPERTIES FIXTURES_SETUP wine LABELS wine)
    add_test(NAME wine_prefix_stop COMMAND ${CMAKE_SOURCE_DIR}/cmake/wine-prefix.sh stop ${VOK_WINEPREFIX})
    set_tests_properties(wine_prefix_stop PROPERTIES FIXTURES_CLEANUP wine LABELS wine)

    # Windows tests that talk to a quote server use the Linux simulator of the linux preset, started
    # once for the run; they read its endpoint from the file named by VOKQUOTE_SIM_ENDPOINT_FILE.
    set(VOK_SIMULATOR_PROGRAM ${CMAKE_SOURCE_DIR}/build/linux/tools/quoteserver/vokquote-server
      CACHE FILEPATH "The Linux quote server simulator that Windows tests connect to")
    set(VOK_SIMULATOR_DIR ${CMAKE_BINARY_DIR}/simulator)
    add_test(NAME simulator_start COMMAND ${CMAKE_SOURCE_DIR}/cmake/simulator.sh start
      ${VOK_SIMULATOR_DIR} ${VOK_SIMULATOR_PROGRAM})
    set_tests_properties(simulator_start PROPERTIES FIXTURES_SETUP simulator LABELS "wine;integration")
    add_test(NAME simulator_stop COMMAND ${CMAKE_SOURCE_DIR}/cmake/simulator.sh stop ${VOK_SIMULATOR_DIR})
    set_tests_properties(simulator_stop PROPERTIES FIXTURES_CLEANUP simulator LABELS "wine;integration")

    # A second simulator serving TLS with a certificate made for the run; its endpoint file (named
    # by VOKQUOTE_TLS_ENDPOINT_FILE) adds the CA file and the certificate's fingerprint.
    set(VOK_TEST_CERTIFICATES_PROGRAM
      ${CMAKE_SOURCE_DIR}/build/linux/tools/quoteserver/vokquote-test-certificates
      CACHE FILEPATH "The Linux program that makes the TLS simulator's throwaway certificates")
    set(VOK_TLS_SIMULATOR_DIR ${CMAKE_BINARY_DIR}/tls-simulator)
    add_test(NAME tls_simulator_start COMMAND ${CMAKE_SOURCE_DIR}/cmake/simulator.sh start
      ${VOK_TLS_SIMULATOR_DIR} ${VOK_SIMULATOR_PROGRAM} ${VOK_TEST_CERTIFICATES_PROGRAM})
    set_tests_properties(tls_simulator_start PROPERTIES FIXTURES_SETUP tls_simulator LABELS "wine;integration")
    add_test(NAME tls_simulator_stop COMMAND ${CMAKE_SOURCE_DIR}/cmake/simulator.sh stop ${VOK_TLS_SIMULATOR_DIR})
    set_tests_properties(tls_simulator_stop PROPERTIES FIXTURES_CLEANUP tls_simulator LABELS "wine;integration")
  endif()
else()
  find_package(GTest REQUIRED)
  include(GoogleTest)
  set(VOK_GTEST_LIBS GTest::gtest GTest::gtest_main GTest::gmock)
endif()

function(vok_add_gtest name)
  # SIMULATOR, TLS_SIMULATOR: under Wine the program needs the Linux quote server simulator, plain
  # or serving TLS (see above); on Linux tests start the simulator in-process instead.
  cmake_parse_arguments(T "SIMULATOR;TLS_SIMULATOR" "TIMEOUT" "SOURCES;LIBS;LABELS" ${ARGN})
  if(NOT T_LABELS)
    set(T_LABELS unit)
  endif()
  if(NOT T_TIMEOUT)
    set(T_TIMEOUT 300)
  endif()
  add_executable(${name} ${T_SOURCES})
  target_link_libraries(${name} PRIVATE ${T_LIBS} ${VOK_GTEST_LIBS})
  if(WIN32)
    if(VOK_RUN_WINE_TESTS)
      add_test(NAME ${name} COMMAND ${name})
      set(fixtures wine)
      set(environment "WINEPREFIX=${VOK_WINEPREFIX};WINEDEBUG=-all")
      # Wine maps the Linux file system to drive Z:.
      if(T_SIMULATOR)
        list(APPEND fixtures simulator)
        list(APPEND environment "VOKQUOTE_SIM_ENDPOINT_FILE=Z:${VOK_SIMULATOR_DIR}/simulator.endpoint")
      endif()
      if(T_TLS_SIMULATOR)
        list(APPEND fixtures tls_simulator)
        list(APPEND environment "VOKQUOTE_TLS_ENDPOINT_FILE=Z:${VOK_TLS_SIMULATOR_DIR}/simulator.endpoint")
      endif()
      set_tests_properties(${name} PROPERTIES FIXTURES_REQUIRED "${fixtures}" LABELS "wine;${T_LABELS}"
        TIMEOUT ${T_TIMEOUT} ENVIRONMENT "${environment}")
    endif()
  else()
    gtest_discover_tests(${name} DISCOVERY_MODE PRE_TEST
      PROPERTIES LABELS "${T_LABELS}" TIMEOUT ${T_TIMEOUT})
  endif()
endfunction()
