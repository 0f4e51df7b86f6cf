# The presenter's single-instance rule (core/SingleInstance.h). Included from
# presenter/CMakeLists.txt.
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
