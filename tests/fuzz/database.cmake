orvalis_fuzz(fuzz_profile_file SOURCES ${CMAKE_CURRENT_LIST_DIR}/fuzz_profile_file.cpp LIBS orvalis_database)
