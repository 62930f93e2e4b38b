# The editor's own texts (no window) and the main window with its table dialog
# (real WebEngine views, one executable).
quillmark_add_test(editor_texts SOURCES ${CMAKE_CURRENT_LIST_DIR}/EditorTextTest.cpp LIBS editor_logic)

if(TARGET editor AND TARGET desktop_ui AND TARGET publish_ui)
  quillmark_add_gui_test(editor_main_window
    SOURCES ${CMAKE_CURRENT_LIST_DIR}/MainWindowTest.cpp ${CMAKE_CURRENT_LIST_DIR}/TableDialogTest.cpp
            ${CMAKE_CURRENT_LIST_DIR}/EditorCommandsTest.cpp
    LIBS editor desktop_ui publish_ui
    TIMEOUT 300)
  # The table dialog's form header comes from the editor library's build.
  set_source_files_properties(${CMAKE_CURRENT_LIST_DIR}/TableDialogTest.cpp PROPERTIES SKIP_AUTOUIC ON)
  target_include_directories(editor_main_window PRIVATE ${PROJECT_BINARY_DIR}/src/editor/editor_autogen/include)
endif()
# The design view checks spelling with the dictionaries converted beside the tests.
if(TARGET editor_main_window AND TARGET quillmark_dictionaries)
  add_dependencies(editor_main_window quillmark_dictionaries)
endif()
