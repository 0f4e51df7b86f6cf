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

# The desktop entry and the icon theme's sizes, installed where desktops look for them. The PNGs
# are committed; data/make_icon.py remakes them.
set(BEAMORA_PRESENTER_DATA_DIR ${BEAMORA_PRESENTER_DIR}/data)
install(FILES ${BEAMORA_PRESENTER_DATA_DIR}/beamora.desktop
    DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(DIRECTORY ${BEAMORA_PRESENTER_DATA_DIR}/icons/hicolor
    DESTINATION ${CMAKE_INSTALL_DATADIR}/icons)

# The window icon the program loads from its data directory: build/share/beamora at build time,
# share/beamora once installed. The 256 px size, which Qt scales down for each use.
set(BEAMORA_WINDOW_ICON ${BEAMORA_PRESENTER_DATA_DIR}/icons/hicolor/256x256/apps/beamora.png)
add_custom_command(OUTPUT ${BEAMORA_DATA_OUTPUT_DIR}/beamora.png
    COMMAND ${CMAKE_COMMAND} -E copy_if_different ${BEAMORA_WINDOW_ICON}
            ${BEAMORA_DATA_OUTPUT_DIR}/beamora.png
    DEPENDS ${BEAMORA_WINDOW_ICON}
    VERBATIM)
add_custom_target(presenter_icon_data ALL DEPENDS ${BEAMORA_DATA_OUTPUT_DIR}/beamora.png)
install(FILES ${BEAMORA_WINDOW_ICON} DESTINATION ${BEAMORA_DATA_INSTALL_DIR})

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
