# The exports: the grid's texts, the file name rule and the file write without widgets; the
# buttons' operations with the clipboard and the save dialog offscreen.
add_executable(test_export test_export.cpp)
target_link_libraries(test_export PRIVATE orvex_export GTest::gtest_main)
gtest_discover_tests(test_export DISCOVERY_MODE PRE_TEST)

add_executable(tst_gridexport tst_gridexport.cpp scriptedmessages.h)
target_link_libraries(tst_gridexport PRIVATE orvex_window Qt6::Test)
add_test(NAME tst_gridexport COMMAND tst_gridexport)
set_tests_properties(tst_gridexport PROPERTIES ENVIRONMENT "QT_QPA_PLATFORM=offscreen")
