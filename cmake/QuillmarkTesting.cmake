include(GoogleTest)

# The test executables that never start WebEngine: what the sanitizer build builds.
add_custom_target(tests_without_webengine)

# Environment every test runs with: no display, WebEngine usable as root and without a GPU.
set(QUILLMARK_TEST_ENV
  QT_QPA_PLATFORM=offscreen
  QTWEBENGINE_DISABLE_SANDBOX=1
  "QTWEBENGINE_CHROMIUM_FLAGS=--disable-gpu --no-sandbox"
  QT_LOGGING_RULES=qt.webenginecontext.debug=false
  QUILLMARK_SOURCE_DIR=${PROJECT_SOURCE_DIR}
  QUILLMARK_BINARY_DIR=${PROJECT_BINARY_DIR}
  # What a test does not place itself lands in the build tree, never in the real home.
  QUILLMARK_DATA=${PROJECT_BINARY_DIR}/test-home/data
  XDG_CACHE_HOME=${PROJECT_BINARY_DIR}/test-home/cache
  XDG_CONFIG_HOME=${PROJECT_BINARY_DIR}/test-home/config
  # Nor the user's session bus and keyring: no keyring at all, unless a test starts its own.
  DBUS_SESSION_BUS_ADDRESS=unix:path=${PROJECT_BINARY_DIR}/test-home/no-session-bus)
# The logic tests set it themselves (core_test_main.cpp) from this header: a list
# does not survive gtest_discover_tests' PROPERTIES, where only its first entry arrives.
set(entries "")
foreach(entry IN LISTS QUILLMARK_TEST_ENV)
  string(APPEND entries "    R\"env(${entry})env\",\n")
endforeach()
file(CONFIGURE OUTPUT ${PROJECT_BINARY_DIR}/tests/TestEnvironment.h
     CONTENT "// Generated: the environment every test runs with.\nstatic const char *const kTestEnvironment[] = {\n${entries}};\n"
     @ONLY)

# quillmark_add_test(<name> SOURCES ... [LIBS ...])
#   Logic tests without a window: each test case becomes its own CTest test,
#   named <name>.<Suite>.<Case>; <name> begins with the subsystem folder.
function(quillmark_add_test name)
  cmake_parse_arguments(ARG "" "" "SOURCES;LIBS" ${ARGN})
  add_executable(${name} ${ARG_SOURCES})
  target_link_libraries(${name} PRIVATE ${ARG_LIBS} quillmark_test_support GTest::gtest GTest::gmock)
  target_sources(${name} PRIVATE ${PROJECT_SOURCE_DIR}/tests/common/core_test_main.cpp)
  target_include_directories(${name} PRIVATE ${PROJECT_BINARY_DIR}/tests)
  gtest_discover_tests(${name} TEST_PREFIX "${name}." DISCOVERY_MODE PRE_TEST PROPERTIES TIMEOUT 120)
  add_dependencies(tests_without_webengine ${name})
endfunction()

# quillmark_add_gui_test(<name> SOURCES ... [LIBS ...] [TIMEOUT s] [NO_WEBENGINE])
#   Tests with real widgets and WebEngine: one QApplication per executable, so the
#   whole executable is one CTest test (starting WebEngine once per case is too slow).
#   Tests that start WebEngine carry the label "webengine" (the sanitizer run leaves
#   them out); NO_WEBENGINE marks a widget test that never starts it.
function(quillmark_add_gui_test name)
  cmake_parse_arguments(ARG "NO_WEBENGINE" "TIMEOUT" "SOURCES;LIBS" ${ARGN})
  if(NOT ARG_TIMEOUT)
    set(ARG_TIMEOUT 300)
  endif()
  add_executable(${name} ${ARG_SOURCES})
  target_link_libraries(${name} PRIVATE ${ARG_LIBS} quillmark_test_support quillmark_gui_test_support
                        GTest::gtest GTest::gmock Qt6::Test)
  target_sources(${name} PRIVATE ${PROJECT_SOURCE_DIR}/tests/common/gui_test_main.cpp)
  add_test(NAME ${name} COMMAND ${name} --gtest_brief=1)
  set_tests_properties(${name} PROPERTIES ENVIRONMENT "${QUILLMARK_TEST_ENV}" TIMEOUT ${ARG_TIMEOUT})
  if(ARG_NO_WEBENGINE)
    add_dependencies(tests_without_webengine ${name})
  else()
    set_tests_properties(${name} PROPERTIES LABELS webengine)
  endif()
endfunction()
