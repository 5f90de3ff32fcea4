# The desktop portal's Screenshot and PickColor as the Qt backend asks for
# them, each run on a private session bus (portal_check.sh): against a
# stand-in portal anywhere, and against the portal in a sway session where
# the machine can run one.
find_package(Qt6 REQUIRED COMPONENTS DBus Gui)
add_executable(e2e_portal_probe wayland/portal_probe.cpp)
target_link_libraries(e2e_portal_probe PRIVATE tinctora_qt)
add_executable(e2e_portal_stand_in wayland/portal_stand_in.cpp)
target_link_libraries(e2e_portal_stand_in PRIVATE Qt6::DBus Qt6::Gui)
set_target_properties(e2e_portal_stand_in PROPERTIES AUTOMOC ON)

function(portal_test where timeout)
  add_test(NAME e2e.wayland_portal_${where}
           COMMAND ${CMAKE_CURRENT_SOURCE_DIR}/wayland/portal_check.sh ${where}
                   $<TARGET_FILE:e2e_portal_probe> $<TARGET_FILE:e2e_portal_stand_in>)
  set_tests_properties(e2e.wayland_portal_${where} PROPERTIES SKIP_RETURN_CODE 77 TIMEOUT ${timeout} LABELS e2e)
endfunction()
portal_test(stand_in 60)
# The sway run may first install the session's and the portal's packages.
portal_test(sway 400)
