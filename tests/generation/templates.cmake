# The templates and the sample product that ship with the program, generated together.
quillmark_add_test(generation_shipped_templates SOURCES ShippedTemplatesTest.cpp LIBS generation store)
