orvalis_fuzz(fuzz_lexicon SOURCES ${CMAKE_CURRENT_LIST_DIR}/fuzz_lexicon.cpp LIBS orvalis_text)
