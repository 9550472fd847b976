# zlib writes the generated web-graph file.
find_package(ZLIB REQUIRED)
target_link_libraries(${BENCH_TARGET} PRIVATE nimbrel_probes ZLIB::ZLIB)
