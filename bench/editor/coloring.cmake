# modMain is compiled in directly so the benchmark does not depend on the whole
# editor library.
quillmark_add_bench(editor_coloring_bench WIDGETS
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/ColoringBench.cpp ${PROJECT_SOURCE_DIR}/src/editor/modMain.cpp
  LIBS editor_logic platform_widgets)
