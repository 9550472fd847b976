# inih is the reference parser the results file's load is measured against; only this benchmark
# links it.
find_package(PkgConfig REQUIRED)
pkg_check_modules(INIH REQUIRED IMPORTED_TARGET inih)
target_link_libraries(${BENCH_TARGET} PRIVATE nimbrel_results PkgConfig::INIH)
