# Organizing by content and compaction figures.
orvalis_bench(bench_maintenance SOURCES ${CMAKE_CURRENT_LIST_DIR}/bench_maintenance.cpp LIBS orvalis_agent)
