# The presenter's single-instance rule (core/SingleInstance.h) and its desktop entry. Included
# from presenter/CMakeLists.txt.
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

# The desktop entry, installed where desktops look for it.
set(BEAMORA_PRESENTER_DATA_DIR ${BEAMORA_PRESENTER_DIR}/data)
install(FILES ${BEAMORA_PRESENTER_DATA_DIR}/beamora.desktop
    DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)

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

    # desktop-file-validate (Debian: desktop-file-utils) checks the desktop entry where it exists.
    find_program(BEAMORA_DESKTOP_FILE_VALIDATE desktop-file-validate)
    if(BEAMORA_DESKTOP_FILE_VALIDATE)
        add_test(NAME presenter_desktop_entry
            COMMAND ${BEAMORA_DESKTOP_FILE_VALIDATE} ${BEAMORA_PRESENTER_DATA_DIR}/beamora.desktop)
        set_tests_properties(presenter_desktop_entry PROPERTIES
            FAIL_REGULAR_EXPRESSION "error|warning")
    endif()
endif()
