# Fuzz targets of what network peers send: HTTP requests to the capture listener, FTP reply
# lines, gopher menus.
orvalis_fuzz(fuzz_http_request SOURCES ${CMAKE_CURRENT_LIST_DIR}/fuzz_http_request.cpp LIBS orvalis_net)
orvalis_fuzz(fuzz_ftp_reply SOURCES ${CMAKE_CURRENT_LIST_DIR}/fuzz_ftp_reply.cpp LIBS orvalis_net)
orvalis_fuzz(fuzz_gopher_menu SOURCES ${CMAKE_CURRENT_LIST_DIR}/fuzz_gopher_menu.cpp LIBS orvalis_net)
