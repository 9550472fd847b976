# libcurl is for this comparison only; nothing else links it.
find_package(CURL REQUIRED)
target_link_libraries(${BENCH_TARGET} PRIVATE nimbrel_net CURL::libcurl)
