# Playback timing: a 60-second melody to a JACK receiver on a private JACK server with a period
# of 64 frames (the program starts and stops it): note-on error against the ideal times, drift
# of the last note, stop latency. Optional argument: the number of notes (default 600).
if(TARGET scoretape AND TARGET mididevice_testsupport)
    add_executable(bench_playback ${CMAKE_CURRENT_LIST_DIR}/bench_playback.cpp)
    target_link_libraries(bench_playback PRIVATE scoretape mididevice_testsupport)
    tw_warnings(bench_playback)
endif()
