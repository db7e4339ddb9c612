# https: fetches from a local nginx over TLS through activate_request, beside curl.
if(TARGET orvalis_net)
  orvalis_bench(bench_https
    SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/bench_https.cpp
            ${ORVALIS_SOURCE_DIR}/tests/net/tls_test_authority.cpp
    LIBS orvalis_net orvalis_test_support)
  target_include_directories(bench_https PRIVATE ${ORVALIS_SOURCE_DIR}/tests/net)
endif()
