# The window's start-up figure; built only where the window is.
if(TARGET orvalis_ui)
  orvalis_bench(bench_window SOURCES ${CMAKE_CURRENT_LIST_DIR}/bench_window.cpp LIBS orvalis_ui)
endif()
