# The presenter's firewall step (core/Firewall.h): at start-up, lets the receivers' UDP beacons
# through firewalld when it runs. Included from presenter/CMakeLists.txt; uses BEAMORA_TESTS from
# the top level. BEAMORA_FIREWALLD (ON) asks for the firewalld backend, which needs Qt6DBus
# (Debian: qt6-base-dev); BEAMORA_FIREWALL_BACKEND then holds the backend chosen: "firewalld", or
# "none" when the option is off or Qt6DBus is missing.
set(BEAMORA_PRESENTER_DIR ${CMAKE_CURRENT_LIST_DIR})
option(BEAMORA_FIREWALLD "Presenter: open the beacon port through firewalld (needs Qt6DBus)" ON)
find_package(Qt6 REQUIRED COMPONENTS Core)
if(BEAMORA_FIREWALLD)
    find_package(Qt6 QUIET COMPONENTS DBus)
endif()

add_library(presenter_firewall STATIC ${BEAMORA_PRESENTER_DIR}/core/Firewall.cpp)
target_include_directories(presenter_firewall PUBLIC ${PROJECT_SOURCE_DIR})
target_link_libraries(presenter_firewall PUBLIC platform Qt6::Core)
if(BEAMORA_FIREWALLD AND Qt6DBus_FOUND)
    set(BEAMORA_FIREWALL_BACKEND firewalld)
    target_sources(presenter_firewall PRIVATE
        ${BEAMORA_PRESENTER_DIR}/core/linux/FirewallFirewalld.cpp)
    target_link_libraries(presenter_firewall PUBLIC Qt6::DBus)
else()
    set(BEAMORA_FIREWALL_BACKEND none)
    target_sources(presenter_firewall PRIVATE ${BEAMORA_PRESENTER_DIR}/core/FirewallNone.cpp)
endif()
message(STATUS "Presenter firewall backend: ${BEAMORA_FIREWALL_BACKEND}")

if(BEAMORA_TESTS)
    # The step against a scripted backend, and the chosen backend on this machine; with firewalld,
    # also its calls against a fake firewalld on a private bus each test starts (dbus-daemon).
    add_executable(presenter_firewall_tests ${BEAMORA_PRESENTER_DIR}/tests/FirewallTest.cpp)
    if(BEAMORA_FIREWALL_BACKEND STREQUAL "firewalld")
        target_sources(presenter_firewall_tests PRIVATE
            ${BEAMORA_PRESENTER_DIR}/tests/FirewallFirewalldTest.cpp)
    else()
        target_sources(presenter_firewall_tests PRIVATE
            ${BEAMORA_PRESENTER_DIR}/tests/FirewallNoneTest.cpp)
    endif()
    target_link_libraries(presenter_firewall_tests PRIVATE presenter_firewall GTest::gtest)
    # Each case ends within a second; a bus call that lost its 500 ms bound would hold the
    # unanswered-query case for libdbus's default 25 s, past this timeout.
    gtest_discover_tests(presenter_firewall_tests DISCOVERY_TIMEOUT 30 PROPERTIES TIMEOUT 20)
endif()
