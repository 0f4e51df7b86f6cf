# The libraries the Windows build needs that mingw-w64 does not ship, built here with the cross
# compiler from the sources Debian itself ships, so that no other project's sources are committed:
#  - liblzo2 from Debian's source package "lzo2" (fetched once with `apt-get source`, which needs
#    the deb-src entry scripts/setup adds; Debian's patches applied by dpkg-source), as the static
#    target lzo2;
#  - GoogleTest from /usr/src/googletest (Debian's googletest package), as GTest::gtest and
#    GTest::gtest_main.

set(BEAMORA_DEBIAN_SOURCES ${CMAKE_BINARY_DIR}/debian-sources)

# Unpacks Debian's source package `package` into ${BEAMORA_DEBIAN_SOURCES}/<package> (once) and
# sets <out_var> to that directory.
function(beamora_debian_source package out_var)
    set(dir ${BEAMORA_DEBIAN_SOURCES}/${package})
    if(NOT EXISTS ${dir}/.unpacked)
        set(download ${BEAMORA_DEBIAN_SOURCES}/download-${package})
        file(REMOVE_RECURSE ${download} ${dir})
        file(MAKE_DIRECTORY ${download})
        execute_process(COMMAND apt-get source --download-only ${package}
                        WORKING_DIRECTORY ${download} RESULT_VARIABLE rc OUTPUT_QUIET
                        ERROR_VARIABLE err)
        file(GLOB dsc ${download}/*.dsc)
        if(NOT rc EQUAL 0 OR NOT dsc)
            message(FATAL_ERROR "Could not fetch Debian's source package ${package} (scripts/setup "
                                "adds the deb-src entry apt-get source needs): ${err}")
        endif()
        execute_process(COMMAND dpkg-source --no-check -x ${dsc} ${dir}
                        WORKING_DIRECTORY ${download} RESULT_VARIABLE rc OUTPUT_QUIET
                        ERROR_VARIABLE err)
        if(NOT rc EQUAL 0)
            message(FATAL_ERROR "Could not unpack ${dsc}: ${err}")
        endif()
        file(TOUCH ${dir}/.unpacked)
    endif()
    set(${out_var} ${dir} PARENT_SCOPE)
endfunction()

beamora_debian_source(lzo2 lzo_dir)
file(GLOB lzo_sources ${lzo_dir}/src/*.c)
add_library(lzo2 STATIC ${lzo_sources})
target_include_directories(lzo2 SYSTEM PUBLIC ${lzo_dir}/include
                           PRIVATE ${lzo_dir} ${lzo_dir}/src)
target_compile_definitions(lzo2 PRIVATE LZO_LIBC_ISOC90=1)
target_compile_options(lzo2 PRIVATE -w)
set_target_properties(lzo2 PROPERTIES POSITION_INDEPENDENT_CODE ON)

if(BEAMORA_TESTS)
    set(gtest_disable_pthreads ON CACHE BOOL "" FORCE)
    set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
    set(BUILD_GMOCK OFF CACHE BOOL "" FORCE)
    add_subdirectory(/usr/src/googletest ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)
endif()
