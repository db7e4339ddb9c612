# Network layer: fetches from a local nginx through activate_request, beside curl.
if(TARGET orvalis_net)
  orvalis_bench(bench_net SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/bench_net.cpp
                LIBS orvalis_net orvalis_test_support)
endif()
