# Network layer: the HTTP response parser.
if(TARGET orvalis_net)
  orvalis_fuzz(fuzz_http_response
    SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/fuzz_http_response.cpp
    LIBS orvalis_net)
endif()
