# Reading and writing speed of the MIDI file library, and peak memory of reading.
if(TARGET midifile)
    add_executable(bench_midifile ${CMAKE_CURRENT_LIST_DIR}/bench_midifile.cpp)
    target_link_libraries(bench_midifile PRIVATE midifile)
    tw_warnings(bench_midifile)
endif()
