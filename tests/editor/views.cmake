# modMain is compiled in so the test does not wait for the whole editor library.
quillmark_add_gui_test(editor_views
  SOURCES ViewsTest.cpp ${PROJECT_SOURCE_DIR}/src/editor/modMain.cpp
  LIBS platform_widgets editor_logic)
