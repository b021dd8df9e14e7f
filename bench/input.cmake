# MIDI input timing: a sender plays notes at known times into the input port on a private JACK
# server (period 64 frames); recorded start times against the sent ones, thru delivery time.
# Optional argument: the number of notes (default 400).
if(TARGET scoremodel AND TARGET mididevice_testsupport)
    add_executable(bench_input ${CMAKE_CURRENT_LIST_DIR}/bench_input.cpp)
    target_link_libraries(bench_input PRIVATE scoremodel mididevice_testsupport)
    tw_warnings(bench_input)
endif()
