# Export figures: CPU time and peak memory of PNG, SVG and PDF at 100,000 and 1,000,000 notes.
if(TARGET render AND TARGET commandline)
    add_executable(bench_export ${CMAKE_CURRENT_LIST_DIR}/bench_export.cpp)
    target_link_libraries(bench_export PRIVATE render commandline)
    tw_warnings(bench_export)
endif()
