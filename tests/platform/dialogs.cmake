quillmark_add_test(platform_dialogs SOURCES DialogsTest.cpp LIBS platform)
