# Installation into a temporary prefix; wizard_installed then runs against it.
add_test(NAME platform_install
         COMMAND ${CMAKE_COMMAND} -DBUILD_DIR=${PROJECT_BINARY_DIR} -DPREFIX=${PROJECT_BINARY_DIR}/test-install
                 -P ${CMAKE_CURRENT_SOURCE_DIR}/scripts/install_check.cmake)
set_tests_properties(platform_install PROPERTIES FIXTURES_SETUP installed_prefix TIMEOUT 120)
