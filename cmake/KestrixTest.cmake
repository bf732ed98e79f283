# kestrix_add_test(NAME name SOURCES ... LIBRARIES ... [ENV VAR=value ...])
# Builds one Qt Test executable and registers it with CTest; every test runs
# without a display.
function(kestrix_add_test)
  cmake_parse_arguments(T "" "NAME" "SOURCES;LIBRARIES;ENV" ${ARGN})
  add_executable(${T_NAME} ${T_SOURCES})
  target_link_libraries(${T_NAME} PRIVATE Qt6::Test ${T_LIBRARIES})
  target_include_directories(${T_NAME} PRIVATE ${PROJECT_SOURCE_DIR}/tests/support)
  target_compile_definitions(${T_NAME} PRIVATE KESTRIX_SOURCE_DIR="${PROJECT_SOURCE_DIR}")
  add_test(NAME ${T_NAME} COMMAND ${T_NAME})
  set_tests_properties(${T_NAME} PROPERTIES
    ENVIRONMENT "QT_QPA_PLATFORM=offscreen;${T_ENV}"
    TIMEOUT 300)
endfunction()
