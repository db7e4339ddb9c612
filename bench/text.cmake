# HTML scanning and summarizing figures. The comparison with libgumbo is built only when
# pkg-config finds gumbo; nothing else links it.
orvalis_bench(bench_text SOURCES ${CMAKE_CURRENT_LIST_DIR}/bench_text.cpp LIBS orvalis_text)
find_package(PkgConfig QUIET)
if(PKG_CONFIG_FOUND)
  pkg_check_modules(GUMBO QUIET IMPORTED_TARGET gumbo)
endif()
if(GUMBO_FOUND)
  target_link_libraries(bench_text PRIVATE PkgConfig::GUMBO)
  target_compile_definitions(bench_text PRIVATE ORVALIS_HAVE_GUMBO=1)
else()
  message(STATUS "bench_text: gumbo not found, the parser comparison is left out")
endif()
