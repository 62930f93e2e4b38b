# Start-up time to the visible main window (not a Google Benchmark: it measures a
# whole process). Run it with: cmake --build <build> --target bench_startup_time
if(TARGET quillmark)
  add_custom_target(bench_startup_time
    COMMAND ${CMAKE_CURRENT_LIST_DIR}/startup_time.sh $<TARGET_FILE:quillmark> 5
    DEPENDS quillmark
    USES_TERMINAL
    COMMENT "Start-up time of quillmark with the update server unreachable")
endif()

# Start-up and memory beside a minimal Qt WebEngine program, in one run:
#   cmake --build <build> --target bench_startup_memory
add_executable(minimal_webengine ${CMAKE_CURRENT_LIST_DIR}/minimal_webengine.cpp)
target_link_libraries(minimal_webengine PRIVATE Qt6::WebEngineWidgets)
if(TARGET quillmark)
  add_custom_target(bench_startup_memory
    COMMAND ${CMAKE_CURRENT_LIST_DIR}/startup_memory.sh $<TARGET_FILE_DIR:quillmark> 5
    DEPENDS quillmark minimal_webengine
    USES_TERMINAL
    COMMENT "Start-up and memory of quillmark beside a minimal Qt WebEngine program")
endif()
