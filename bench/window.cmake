# The window's figures, built only where the window is: start-up over 10,000 topics, and the
# frame times of the main window while the agent has 60 transfers in flight.
if(TARGET orvalis_ui)
  orvalis_bench(bench_window SOURCES ${CMAKE_CURRENT_LIST_DIR}/bench_window.cpp LIBS orvalis_ui)
  orvalis_bench(bench_window_transfers SOURCES ${CMAKE_CURRENT_LIST_DIR}/bench_window_transfers.cpp
                LIBS orvalis_ui)
endif()
