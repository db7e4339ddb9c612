# What keeping page copies costs: zstd beside zlib on real pages, and the copy added to
# summarizing one page.
if(TARGET orvalis_database AND TARGET orvalis_text)
  find_package(ZLIB REQUIRED)
  find_path(ZSTD_BENCH_INCLUDE_DIR zstd.h REQUIRED)
  find_library(ZSTD_BENCH_LIBRARY zstd REQUIRED)
  orvalis_bench(bench_copies SOURCES ${CMAKE_CURRENT_LIST_DIR}/bench_copies.cpp
                LIBS orvalis_database orvalis_text ZLIB::ZLIB ${ZSTD_BENCH_LIBRARY})
  target_include_directories(bench_copies PRIVATE ${ZSTD_BENCH_INCLUDE_DIR})
endif()
