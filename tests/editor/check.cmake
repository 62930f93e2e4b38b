# The page check in the editor: the text positions (no window) and the findings panel.
quillmark_add_test(editor_text_position SOURCES ${CMAKE_CURRENT_LIST_DIR}/TextPositionTest.cpp LIBS editor_logic)
if(TARGET editor AND TARGET desktop_ui AND TARGET publish_ui)
  quillmark_add_gui_test(editor_check_panel SOURCES ${CMAKE_CURRENT_LIST_DIR}/CheckPanelTest.cpp
                         LIBS editor desktop_ui publish_ui TIMEOUT 120)
endif()
