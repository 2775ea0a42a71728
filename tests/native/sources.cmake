# The tests of the platform-free core: built natively under the sanitizers
# (tests/native) and for Windows, run under Wine (tests/core); the checker's
# reading of signatures (tools/check/signature.cpp) with them.
set(PLAIN_TEST_SOURCES
  ${CMAKE_CURRENT_LIST_DIR}/test_paths.cpp
  ${CMAKE_CURRENT_LIST_DIR}/test_plan.cpp
  ${CMAKE_CURRENT_LIST_DIR}/test_screen.cpp
  ${CMAKE_CURRENT_LIST_DIR}/test_command_line.cpp
  ${CMAKE_CURRENT_LIST_DIR}/test_staging_plain.cpp
  ${CMAKE_CURRENT_LIST_DIR}/test_settings_plain.cpp
  ${CMAKE_CURRENT_LIST_DIR}/test_signature.cpp)
