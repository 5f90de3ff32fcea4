# The seam's contract on the Win32 backend, run under Wine (or on Windows)
# with real windows: tools/test-windows-core gives the tests a virtual X
# server. Beside it, what only Windows has: the native messages and styles,
# and the program's own window at the system's scale.
#
# The tests show windows at the same place and read the screen back, so no
# two of them share a screen at once (RESOURCE_LOCK).
tinctora_contract_suite(win32 harness_win32.cpp tinctora_win32)
gtest_discover_tests(contract_win32 TEST_PREFIX win32. DISCOVERY_TIMEOUT ${TINCTORA_DISCOVERY_TIMEOUT}
                     PROPERTIES RESOURCE_LOCK win32-screen-0)

add_executable(win32_native_tests win32_native_test.cpp)
target_link_libraries(win32_native_tests PRIVATE tinctora_win32 tinctora_app GTest::gtest_main)
gtest_discover_tests(win32_native_tests TEST_PREFIX win32. DISCOVERY_TIMEOUT ${TINCTORA_DISCOVERY_TIMEOUT}
                     PROPERTIES RESOURCE_LOCK win32-screen-0)

# Both again with the display at 150 %, under Wine: in a second prefix beside
# the first, whose system DPI (LogPixels) is 144; tools/test-windows-core
# makes it. Wine reads the DPI as each program starts, for the whole prefix,
# so the two scales cannot share one. The programs are linked again from the
# same objects, each with the emulator of its prefix. Their windows go to
# the X server's second screen (DISPLAY :N.1; the script's virtual X server
# has two), where the other prefix's windows never cover them, one test at
# a time.
if(CMAKE_CROSSCOMPILING_EMULATOR AND TINCTORA_WINEPREFIX)
  set(TINCTORA_WINEPREFIX_150 "${TINCTORA_WINEPREFIX}-150")
  string(REPLACE "WINEPREFIX=${TINCTORA_WINEPREFIX}" "WINEPREFIX=${TINCTORA_WINEPREFIX_150}" emulator_150
                 "${CMAKE_CROSSCOMPILING_EMULATOR}")
  foreach(program contract_win32 win32_native_tests)
    add_executable(${program}_150 $<TARGET_OBJECTS:${program}>)
    target_link_libraries(${program}_150 PRIVATE $<TARGET_PROPERTY:${program},LINK_LIBRARIES>)
    set_target_properties(${program}_150 PROPERTIES CROSSCOMPILING_EMULATOR "${emulator_150}")
    gtest_discover_tests(${program}_150 TEST_PREFIX win32-150. DISCOVERY_TIMEOUT ${TINCTORA_DISCOVERY_TIMEOUT}
                         PROPERTIES ENVIRONMENT TINCTORA_TEST_SCALE=150
                                    ENVIRONMENT_MODIFICATION DISPLAY=string_append:.1
                                    RESOURCE_LOCK win32-screen-1 LABELS scale150)
  endforeach()
endif()
