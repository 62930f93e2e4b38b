quillmark_add_test(platform_ini SOURCES IniFileTest.cpp LIBS platform)
