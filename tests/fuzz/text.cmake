# Fuzz targets of the HTML scanner, tags and entity decoding.
orvalis_fuzz(fuzz_html_scanner SOURCES ${CMAKE_CURRENT_LIST_DIR}/fuzz_html_scanner.cpp LIBS orvalis_text)
target_compile_definitions(fuzz_html_scanner PRIVATE ORVALIS_FUZZ_DATA_DIR="${ORVALIS_DATA_DIR}")
orvalis_fuzz(fuzz_html_tag SOURCES ${CMAKE_CURRENT_LIST_DIR}/fuzz_html_tag.cpp LIBS orvalis_text)
orvalis_fuzz(fuzz_entities SOURCES ${CMAKE_CURRENT_LIST_DIR}/fuzz_entities.cpp LIBS orvalis_foundation)
