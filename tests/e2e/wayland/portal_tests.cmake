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
set_tests_properties(e2e.wayland_portal_sway PROPERTIES RESOURCE_LOCK wayland_portal_screenshot)

# The program's picks through the portal in the sway session
# (portal_pick.sh): the real portal's screenshot, its colour picker, and
# the stand-in portal for a refusal and a slow picture. ENVIRONMENT is the
# session's (session.sh); the properties follow. The wlroots backend
# writes every screenshot to one file of the machine's: the runs of the
# real portal take turns.
function(portal_pick_test way environment)
  add_test(NAME e2e.wayland_pick_${way}
           COMMAND ${CMAKE_CURRENT_SOURCE_DIR}/wayland/portal_pick.sh $<TARGET_FILE:tinctora> ${way}
                   $<TARGET_FILE:e2e_portal_stand_in>)
  set_tests_properties(e2e.wayland_pick_${way} PROPERTIES SKIP_RETURN_CODE 77 TIMEOUT 400 LABELS e2e
                       ENVIRONMENT "TINCTORA_E2E_ARTIFACTS=${e2e_artifacts}/wayland_pick_${way};${environment}" ${ARGN})
endfunction()
# Two outputs at scale 2: one picture of the whole desktop, twice the
# layout's size, cut for each output.
portal_pick_test(portal "WL_OUTPUTS=2;WL_SCALE=2" RESOURCE_LOCK wayland_portal_screenshot)
portal_pick_test(pickcolor "" RESOURCE_LOCK wayland_portal_screenshot)
portal_pick_test(stand_in "")
