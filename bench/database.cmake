orvalis_bench(bench_database SOURCES ${CMAKE_CURRENT_LIST_DIR}/bench_database.cpp LIBS orvalis_database)
