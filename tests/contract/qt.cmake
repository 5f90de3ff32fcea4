# The Qt backend against the seam's contract, on a virtual X server of its
# own (Xvfb, with openbox when installed); skipped without Xvfb.
find_package(Qt6 REQUIRED COMPONENTS Test)
tinctora_contract_suite(qt harness_qt.cpp tinctora_qt Qt6::Test)
add_test(NAME qt.contract COMMAND ${CMAKE_CURRENT_SOURCE_DIR}/on_x.sh $<TARGET_FILE:contract_qt>)
set_tests_properties(qt.contract PROPERTIES SKIP_RETURN_CODE 77 TIMEOUT 300)
