add_executable(editor_coloring_bench ${CMAKE_CURRENT_LIST_DIR}/ColoringBench.cpp)
target_link_libraries(editor_coloring_bench PRIVATE editor_logic platform_widgets benchmark::benchmark)
# modMain is compiled in directly so the benchmark does not depend on the whole
# editor library.
target_sources(editor_coloring_bench PRIVATE ${PROJECT_SOURCE_DIR}/src/editor/modMain.cpp)
add_dependencies(bench editor_coloring_bench)
