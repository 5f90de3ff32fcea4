# The Qt backend against the seam's contract, on a virtual X server of its
# own (Xvfb, with openbox when installed); skipped without Xvfb. The
# harness moves the pointer through the XTest extension.
find_package(Qt6 REQUIRED COMPONENTS Test)
find_package(PkgConfig REQUIRED)
pkg_check_modules(TINCTORA_CONTRACT_XTEST REQUIRED IMPORTED_TARGET xcb-xtest)
tinctora_contract_suite(qt harness_qt.cpp tinctora_qt Qt6::Test PkgConfig::TINCTORA_CONTRACT_XTEST)
add_test(NAME qt.contract COMMAND ${CMAKE_CURRENT_SOURCE_DIR}/on_x.sh $<TARGET_FILE:contract_qt>)
set_tests_properties(qt.contract PROPERTIES SKIP_RETURN_CODE 77 TIMEOUT 300)
# The same suite with the windows shown at 150 % (Qt's scale factor).
add_test(NAME qt.contract150 COMMAND ${CMAKE_CURRENT_SOURCE_DIR}/on_x.sh $<TARGET_FILE:contract_qt>)
set_tests_properties(qt.contract150 PROPERTIES SKIP_RETURN_CODE 77 TIMEOUT 300 ENVIRONMENT TINCTORA_TEST_SCALE=150)
# The same suite as on a display without shared memory (a remote one): Qt's
# drawing goes through the socket, where a screen read that did not wait for
# it could overtake it.
add_test(NAME qt.contract_noshm COMMAND ${CMAKE_CURRENT_SOURCE_DIR}/on_x.sh $<TARGET_FILE:contract_qt>)
set_tests_properties(qt.contract_noshm PROPERTIES SKIP_RETURN_CODE 77 TIMEOUT 300 ENVIRONMENT QT_XCB_NO_MITSHM=1)
