orvalis_bench(bench_exchange SOURCES ${CMAKE_CURRENT_LIST_DIR}/bench_exchange.cpp LIBS orvalis_exchange)
