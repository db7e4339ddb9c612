orvalis_bench(bench_lexicon SOURCES ${CMAKE_CURRENT_LIST_DIR}/bench_lexicon.cpp LIBS orvalis_text)
