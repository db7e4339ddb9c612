# The window: frame times of the main window while the agent has 60 transfers in flight.
if(TARGET orvalis_ui)
  orvalis_bench(bench_window SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/bench_window.cpp LIBS orvalis_ui)
endif()
