# Copy-then-paste time of 100 KB of notes between two processes through the X clipboard.
# Needs an X display (make bench runs it under Xvfb) and the clipboard's peer program.
if(TARGET clipboard AND TARGET clipboard_peer)
    add_executable(bench_clipboard ${CMAKE_CURRENT_LIST_DIR}/bench_clipboard.cpp)
    target_link_libraries(bench_clipboard PRIVATE clipboard clipboard_testsupport)
    add_dependencies(bench_clipboard clipboard_peer)
    tw_warnings(bench_clipboard)
endif()
