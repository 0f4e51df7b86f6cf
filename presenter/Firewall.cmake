# The presenter's firewall step (core/Firewall.h): at start-up, lets the receivers' UDP beacons
# through the firewall. Included from presenter/CMakeLists.txt; uses BEAMORA_TESTS from the top
# level. BEAMORA_FIREWALL_BACKEND holds the backend chosen: "none" (no firewall service).
set(BEAMORA_PRESENTER_DIR ${CMAKE_CURRENT_LIST_DIR})
find_package(Qt6 REQUIRED COMPONENTS Core)

add_library(presenter_firewall STATIC ${BEAMORA_PRESENTER_DIR}/core/Firewall.cpp)
target_include_directories(presenter_firewall PUBLIC ${PROJECT_SOURCE_DIR})
target_link_libraries(presenter_firewall PUBLIC platform Qt6::Core)
set(BEAMORA_FIREWALL_BACKEND none)
target_sources(presenter_firewall PRIVATE ${BEAMORA_PRESENTER_DIR}/core/FirewallNone.cpp)
message(STATUS "Presenter firewall backend: ${BEAMORA_FIREWALL_BACKEND}")

if(BEAMORA_TESTS)
    # The step against a scripted backend, and the chosen backend on this machine.
    add_executable(presenter_firewall_tests ${BEAMORA_PRESENTER_DIR}/tests/FirewallTest.cpp
        ${BEAMORA_PRESENTER_DIR}/tests/FirewallNoneTest.cpp)
    target_link_libraries(presenter_firewall_tests PRIVATE presenter_firewall GTest::gtest)
    gtest_discover_tests(presenter_firewall_tests DISCOVERY_TIMEOUT 30 PROPERTIES TIMEOUT 60)
endif()
