# Export figures: CPU time and peak memory of PNG, SVG, PDF and the cut files at 100,000 and
# 1,000,000 notes.
if(TARGET render)
    add_executable(bench_export ${CMAKE_CURRENT_LIST_DIR}/bench_export.cpp)
    target_link_libraries(bench_export PRIVATE render)
    tw_warnings(bench_export)
endif()
