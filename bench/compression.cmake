# Compressed fetches from a local nginx (gzip on) of real documentation pages, and the
# conversion of pages in other encodings to UTF-8 beside the HTML scanner's own speed.
if(TARGET orvalis_net AND TARGET orvalis_text)
  orvalis_bench(bench_compression SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/bench_compression.cpp
                LIBS orvalis_net orvalis_text orvalis_test_support)
endif()
