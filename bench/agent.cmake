orvalis_bench(bench_agent SOURCES ${CMAKE_CURRENT_LIST_DIR}/bench_agent.cpp LIBS orvalis_agent)
