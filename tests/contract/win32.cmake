# The seam's contract on the Win32 backend, run under Wine (or on Windows)
# with real windows: tools/test-windows-core gives the tests a virtual X
# server. Beside it, what only Windows has: the native messages and styles.
tinctora_contract_suite(win32 harness_win32.cpp tinctora_win32)
gtest_discover_tests(contract_win32 TEST_PREFIX win32. DISCOVERY_TIMEOUT ${TINCTORA_DISCOVERY_TIMEOUT})

add_executable(win32_native_tests win32_native_test.cpp)
target_link_libraries(win32_native_tests PRIVATE tinctora_win32 GTest::gtest_main)
gtest_discover_tests(win32_native_tests TEST_PREFIX win32. DISCOVERY_TIMEOUT ${TINCTORA_DISCOVERY_TIMEOUT})
