# The source view's text store, colour spans and the HTML text encoder (no widget).
quillmark_add_test(platform_source_text SOURCES ${CMAKE_CURRENT_LIST_DIR}/SourceTextTest.cpp LIBS platform)
