# The real-engine road (real_engine_road.py): a second build tree configured against this tree's
# stand-in libraries as if they were the real engine's and plug-ins' import libraries, installed
# with `cmake --install`, and the installed kiosk run on the desk. Included from CMakeLists.txt.

set(road_work ${CMAKE_CURRENT_BINARY_DIR}/real-engine)
set(road_script ${CMAKE_CURRENT_SOURCE_DIR}/real_engine_road.py)
set(road_plugins "")
foreach(plugin IN LISTS ORVALEN_PLUGIN_NAMES)
  list(APPEND road_plugins --plugin $<TARGET_FILE:${plugin}>)
endforeach()

add_test(NAME real_engine.install
         COMMAND ${Python3_EXECUTABLE} ${road_script} install --work ${road_work}
                 --source ${PROJECT_SOURCE_DIR} --toolchain ${CMAKE_TOOLCHAIN_FILE}
                 --engine $<TARGET_LINKER_FILE:flutter_windows>
                 --engine-dll $<TARGET_FILE:flutter_windows> ${road_plugins}
                 --scenario ${PROJECT_SOURCE_DIR}/standin/scenarios/demo.scenario)
set_tests_properties(real_engine.install PROPERTIES LABELS e2e TIMEOUT 900
                     FIXTURES_SETUP real_engine_kiosk)

orvalen_add_desk_test(NAME real_engine.run LAYOUT three LABELS e2e TIMEOUT 200
  COMMAND ${Python3_EXECUTABLE} ${road_script} run --work ${road_work}
          --desk ${PROJECT_SOURCE_DIR}/scripts/desk --build ${CMAKE_BINARY_DIR})
set_tests_properties(real_engine.run PROPERTIES FIXTURES_REQUIRED real_engine_kiosk)
