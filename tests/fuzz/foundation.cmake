orvalis_fuzz(fuzz_url SOURCES ${CMAKE_CURRENT_LIST_DIR}/fuzz_url.cpp LIBS orvalis_foundation)
