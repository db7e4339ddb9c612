# A topic's feed read as a schedule reads it, from a local nginx: answered 304, or whole.
if(TARGET orvalis_agent)
  orvalis_bench(bench_feeds SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/bench_feeds.cpp
                LIBS orvalis_agent orvalis_test_support)
endif()
