# The presenter's single-instance rule (core/SingleInstance.h), its desktop entry and its icon.
# Included from presenter/CMakeLists.txt; uses BEAMORA_TESTS, BEAMORA_DATA_OUTPUT_DIR and
# BEAMORA_DATA_INSTALL_DIR from the top level.
set(BEAMORA_PRESENTER_DIR ${CMAKE_CURRENT_LIST_DIR})

# The lock and the start-up rule; the window search comes from the desktop backend, chosen here.
add_library(presenter_instance STATIC ${BEAMORA_PRESENTER_DIR}/core/SingleInstance.cpp)
target_include_directories(presenter_instance PUBLIC ${PROJECT_SOURCE_DIR})
target_link_libraries(presenter_instance PUBLIC platform)
pkg_check_modules(X11 IMPORTED_TARGET x11)
if(X11_FOUND)
    target_sources(presenter_instance PRIVATE
        ${BEAMORA_PRESENTER_DIR}/core/x11/SingleInstanceX11.cpp)
    target_link_libraries(presenter_instance PRIVATE PkgConfig::X11)
else()
    target_sources(presenter_instance PRIVATE ${BEAMORA_PRESENTER_DIR}/core/SingleInstanceNone.cpp)
endif()

if(BEAMORA_TESTS)
    add_executable(presenter_instance_tests ${BEAMORA_PRESENTER_DIR}/tests/InstanceLockTest.cpp)
    target_link_libraries(presenter_instance_tests PRIVATE presenter_instance GTest::gtest_main)
    if(X11_FOUND)
        # The window search on a private Xvfb that each test starts for itself.
        target_sources(presenter_instance_tests PRIVATE
            ${BEAMORA_PRESENTER_DIR}/tests/SingleInstanceX11Test.cpp)
        target_link_libraries(presenter_instance_tests PRIVATE platform_testing PkgConfig::X11)
    endif()
    gtest_discover_tests(presenter_instance_tests DISCOVERY_TIMEOUT 30 PROPERTIES TIMEOUT 60)
endif()
