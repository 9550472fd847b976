target_link_libraries(${BENCH_TARGET} PRIVATE nimbrel_rankindex)
