# Network layer: fetches from a local nginx through activate_request, beside curl.
if(TARGET orvalis_net)
  orvalis_bench(bench_net
    SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/bench_net.cpp ${ORVALIS_SOURCE_DIR}/tests/net/test_servers.cpp
    LIBS orvalis_net)
  target_include_directories(bench_net PRIVATE ${ORVALIS_SOURCE_DIR}/tests/net)
endif()
