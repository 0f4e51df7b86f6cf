# drvsetup.exe under Wine (Debian's wine and wine64, headless): every case of wine-tests.sh is one
# test. The cases share one Wine prefix in this build tree, made by the first case (about 12 s)
# and reset to its first registry by each case, so they run one at a time (RESOURCE_LOCK).
add_library(scripted_newdev SHARED tests/windows/ScriptedNewdev.cpp)
set_target_properties(scripted_newdev PROPERTIES
    OUTPUT_NAME newdev
    PREFIX ""
    RUNTIME_OUTPUT_DIRECTORY ${CMAKE_CURRENT_BINARY_DIR}/scripted-newdev)

foreach(case install refusals rollback reboot)
    add_test(NAME drvsetup_wine_${case}
             COMMAND sh ${CMAKE_CURRENT_SOURCE_DIR}/tests/wine-tests.sh ${case}
                     $<TARGET_FILE:drvsetup> $<TARGET_FILE:scripted_newdev>
                     ${CMAKE_CURRENT_BINARY_DIR}/wine)
    set_tests_properties(drvsetup_wine_${case} PROPERTIES RESOURCE_LOCK drvsetup_wine_prefix
                         TIMEOUT 120)
endforeach()
