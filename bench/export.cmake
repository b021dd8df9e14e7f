# Export figures: CPU time and peak memory of PNG, SVG, PDF and the cut files at 100,000 and
# 1,000,000 notes, and the memory of reading a file as the command line and the editor do.
if(TARGET render AND TARGET commandline)
    add_executable(bench_export ${CMAKE_CURRENT_LIST_DIR}/bench_export.cpp)
    target_link_libraries(bench_export PRIVATE render commandline)
    tw_warnings(bench_export)
endif()
