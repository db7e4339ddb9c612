find_package(ZLIB REQUIRED)
orvalis_bench(bench_page_search SOURCES ${CMAKE_CURRENT_LIST_DIR}/bench_page_search.cpp
  LIBS orvalis_database orvalis_demo_web ZLIB::ZLIB)
