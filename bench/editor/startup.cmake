# Start-up time to the visible main window (not a Google Benchmark: it measures a
# whole process). Run it with: cmake --build <build> --target bench_startup_time
if(TARGET quillmark)
  add_custom_target(bench_startup_time
    COMMAND ${CMAKE_CURRENT_LIST_DIR}/startup_time.sh $<TARGET_FILE:quillmark> 5
    DEPENDS quillmark
    USES_TERMINAL
    COMMENT "Start-up time of quillmark with the update server unreachable")
endif()
