# The exports: the grid's texts, the file name rule and the file write without widgets; the
# buttons' operations with the clipboard and the save dialog offscreen.
add_executable(test_export test_export.cpp)
target_link_libraries(test_export PRIVATE orvex_export GTest::gtest_main)
gtest_discover_tests(test_export DISCOVERY_MODE PRE_TEST)
