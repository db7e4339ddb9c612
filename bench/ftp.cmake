# FTP throughput against a local pyftpdlib server, beside curl fetching the same files.
orvalis_bench(bench_ftp SOURCES ${CMAKE_CURRENT_LIST_DIR}/bench_ftp.cpp LIBS orvalis_net)
