# axe-core is fetched by scripts/setup-deps.sh (same version there) into .cache/.
set(QUILLMARK_AXE_VERSION 4.10.2)
quillmark_add_gui_test(generation_templates_accessibility
  SOURCES TemplateAccessibilityTest.cpp SampleProducts.cpp
  LIBS generation store Qt6::WebEngineWidgets TIMEOUT 600)
target_compile_definitions(generation_templates_accessibility PRIVATE
  QUILLMARK_AXE_JS="${PROJECT_SOURCE_DIR}/.cache/axe-core/${QUILLMARK_AXE_VERSION}/axe.min.js")
