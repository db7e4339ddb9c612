# https: the client's TLS handshake against arbitrary server bytes.
if(TARGET orvalis_net)
  orvalis_fuzz(fuzz_tls_handshake
    SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/fuzz_tls_handshake.cpp
    LIBS orvalis_net)
endif()
