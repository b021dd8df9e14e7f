# Score tape figures for a melody of 1,000,000 notes: a full draw into an offscreen buffer
# (needs an X display; make bench runs it under Xvfb), reading an 8 MB file, one insertion
# with its undo snapshot, one undo, the memory that 100 edits add to the undo history, and the
# undo history over 1,000 mixed edits: bytes held, CPU time per edit kind, per undo and redo.
if(TARGET scoretape)
    add_executable(bench_scoretape ${CMAKE_CURRENT_LIST_DIR}/bench_scoretape.cpp)
    target_link_libraries(bench_scoretape PRIVATE scoretape)
    tw_warnings(bench_scoretape)
endif()
